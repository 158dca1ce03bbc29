// SPDX-License-Identifier: Apache-2.0
// The preview image: a header, then a row per target with the picture as a
// display without tone mapping shows it, through the table, through the
// exact curve, and a heat map of |table - curve| in 10-bit PQ codes.
//
// It is an SDR image for ordinary screens. Each panel's light is divided by
// its target's peak (the target peak becomes SDR white), converted from
// BT.2020 to BT.709 primaries (linear matrix of BT.2087), clipped to 0..1
// and sRGB-encoded. The header says so on the image.
#pragma once

#include <string>
#include <vector>

#include "common/status.h"
#include "picture/image.h"

namespace kestrel::tool {

struct PreviewRow {
    unsigned targetNits = 0;
    picture::RgbImage source, table, curve;  // panel light, cd/m²
};

struct PreviewPage {
    std::vector<std::string> header;  // lines above the panels
    std::vector<PreviewRow> rows;
};

// |PQ code of the table path's maxRGB - that of the curve path| per pixel,
// on the 10-bit scale (0..1023), in double.
std::vector<double> pathDifferenceCodes(const picture::RgbImage& table,
                                        const picture::RgbImage& curve);

// The scale the heat maps share: the largest difference rounded up to a
// whole code, at least 1.
double heatScale(const std::vector<PreviewRow>& rows, std::vector<double>* largest = nullptr);

// The SDR mapping of one pixel's light for a panel of `peakNits`, as 8-bit
// sRGB (see above).
void sdrPixel(float r, float g, float b, double peakNits, uint8_t out[3]);

// Draws the page and writes it as an 8-bit PNG (through a temporary file).
Status writePreviewPng(const std::string& path, const PreviewPage& page);

}  // namespace kestrel::tool
