// The PQ signal of a luminance: the inverse of the EOTF that HDR10 video is
// coded with, in double precision. A display engineer reads luminance steps
// in its 10-bit code values, since PQ spaces its codes by the eye's
// threshold of contrast: one code is about equally visible at 0.1 cd/m² and
// at 1000 cd/m², where a step in cd/m² or a ratio would not be.
//
//   Y = L / 10000,  E = ((c1 + c2 Y^m1) / (1 + c3 Y^m1))^m2
//
// with m1 = 2610/16384, m2 = 2523/4096 * 128, c1 = 3424/4096,
// c2 = 2413/4096 * 32, c3 = 2392/4096 * 32. Codes are full range: code
// 1023 stands for E = 1 (10000 cd/m²), as in the library's PQ table.
#pragma once

namespace kestrel::tool {

constexpr double kPqPeakNits = 10000.0;
constexpr double kPqMaxCode10 = 1023.0;

// E in [0, 1] for a luminance in cd/m²; below 0 gives 0, above the peak 1.
double pqSignal(double nits);

// The signal on the 10-bit scale, unrounded (code 153.4 lies between codes
// 153 and 154), so that a difference of two is a distance in codes.
double pqCode10(double nits);

}  // namespace kestrel::tool
