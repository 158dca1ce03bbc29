// SPDX-License-Identifier: Apache-2.0
// `kestrel preview`: a decoded frame (or a PQ still) through the tone stage
// at each target, beside the exact curve, as one SDR image; with --hdr also
// 16-bit PQ BT.2020 PNGs for HDR monitors.
#pragma once

#include <string>
#include <vector>

#include "tools/kestrel/preview/picture_ops.h"

namespace kestrel::tool {

struct PreviewOptions {
    std::string input;     // a video file or a 16-bit PQ PNG
    std::string output;    // the SDR preview (.png)
    std::string metadata;  // HDR10+ metadata (any input `lut` reads); stills need it
    unsigned frame = 0;
    std::vector<unsigned> targets{1000};
    unsigned layerNits = 1000;
    double sourcePeak = 0;  // cd/m²; 0: from the metadata
    bool cropGiven = false;
    Crop crop;
    double scale = 0;  // 0: panels at most kDefaultPanelWidth wide
    bool hdr = false;
};

// Without --scale a picture wider than this is shrunk to it.
constexpr unsigned kDefaultPanelWidth = 640;

int runPreview(const PreviewOptions& options);

// "preview.png" -> "preview-600-table.png"
std::string hdrFileName(const std::string& output, unsigned target, const char* path);

}  // namespace kestrel::tool
