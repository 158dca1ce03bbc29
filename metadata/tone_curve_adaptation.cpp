#include "metadata/tone_curve_adaptation.h"
// placeholder until the adaptation lands
void meta2meta(unsigned, unsigned, _VelmorHdrDynamicInfo&) {}
