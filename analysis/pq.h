// SPDX-License-Identifier: Apache-2.0
// The PQ curve (SMPTE ST 2084) in double precision, for axes in 10-bit code
// values as colourists read them: code = 1023 * E', where
//
//   Y  = luminance / 10000 cd/m²
//   E' = ((c1 + c2 Y^m1) / (1 + c3 Y^m1))^m2
#pragma once

namespace kestrel::analysis {

constexpr double kPqMaxNits = 10000;
constexpr double kPqMaxCode = 1023;

// Continuous 10-bit code of a luminance (clamped to 0..10000 cd/m²).
double pqCodeOfNits(double nits);

// Luminance of a (continuous) 10-bit code, clamped to 0..1023.
double nitsOfPqCode(double code);

}  // namespace kestrel::analysis
