#include "preset/Hdr10Lut.h"
// placeholder until the store lands
Hdr10Lut::Hdr10Lut() {}
Hdr10Lut::Hdr10Lut(const char*) {}
Hdr10Lut::~Hdr10Lut() {}
Hdr10Lut::EotfPosition Hdr10Lut::getEotf(unsigned int, unsigned int) { return eotfNoMatch(); }
Hdr10Lut::OetfRootPosition Hdr10Lut::getOetfRoot(unsigned int, unsigned int) { return oetfNoMatch(); }
Hdr10Lut::EotfPosition Hdr10Lut::getOetf(OetfRootPosition root, unsigned int) { return root->entries.begin(); }
Hdr10Lut::GamutPosition Hdr10Lut::getGamutMapping(unsigned int, unsigned int) { return gamutNoMatch(); }
void Hdr10Lut::showEotf() {}
void Hdr10Lut::showOetf() {}
void Hdr10Lut::showGM() {}
bool Hdr10Lut::load(const char*) { return false; }
