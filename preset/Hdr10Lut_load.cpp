#include "preset/Hdr10Lut.h"

// Filled in by the loader.
bool Hdr10Lut::load(const char*) { return false; }
