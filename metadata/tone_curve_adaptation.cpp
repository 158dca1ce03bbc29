#include "metadata/tone_curve_adaptation.h"
// placeholder until the adaptation lands
void meta2meta(unsigned, unsigned, _VelmorHdrDynamicInfo&) {}
void fillLuminanceParameters(const _VelmorHdrDynamicInfo&, LuminanceParameters& lp) { lp = {}; }
float getSourceMaxLuminance(LuminanceParameters&) { return 0; }
