// SPDX-License-Identifier: Apache-2.0
// Widths in bits of the elements of the HDR10+ T.35 payload, in the order in
// which they appear. The parser, the writer and checkFrame take every width
// from here. Internal to the library and its tests.
#pragma once

namespace kestrel::hdr10plus::bits {

constexpr unsigned kCountryCode = 8;
constexpr unsigned kTerminalProviderCode = 16;
constexpr unsigned kTerminalProviderOrientedCode = 16;
constexpr unsigned kApplicationIdentifier = 8;
constexpr unsigned kApplicationVersion = 8;
constexpr unsigned kNumWindows = 2;
// Geometry of windows 1 and 2.
constexpr unsigned kCorner = 16;  // each of the four corner coordinates
constexpr unsigned kCenterOfEllipse = 16;
constexpr unsigned kRotationAngle = 8;
constexpr unsigned kAxis = 16;  // each of the three ellipse axes
constexpr unsigned kOverlapProcessOption = 1;
constexpr unsigned kTargetedLuminance = 27;
constexpr unsigned kFlag = 1;
constexpr unsigned kPeakMatrixSide = 5;  // rows, cols
constexpr unsigned kPeakMatrixEntry = 4;
// Per window.
constexpr unsigned kMaxscl = 17;
constexpr unsigned kAverageMaxrgb = 17;
constexpr unsigned kNumDistribution = 4;
constexpr unsigned kPercentage = 7;
constexpr unsigned kPercentile = 17;
constexpr unsigned kFractionBrightPixels = 10;
constexpr unsigned kKneePoint = 12;
constexpr unsigned kNumAnchors = 4;
constexpr unsigned kAnchor = 10;
constexpr unsigned kColorSaturationWeight = 6;

}  // namespace kestrel::hdr10plus::bits
