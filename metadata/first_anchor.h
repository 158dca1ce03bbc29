// SPDX-License-Identifier: Apache-2.0
// Internal: the first Bezier anchor with the tuning that both OOTFs use.
#pragma once

// calcP1 for the curve with knee (kneeX, kneeY) on a display of targetPeak
// for a scene of sourcePeak, with the ceiling, weight and reduction ramps
// that the Basis and Guided OOTFs share. weightOut may be null.
float firstAnchor(float kneeX, float kneeY, float targetPeak, float sourcePeak, float* weightOut);
