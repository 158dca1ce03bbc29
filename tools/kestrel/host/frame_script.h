// SPDX-License-Identifier: Apache-2.0
// Frame scripts: what a host tells the plug-in, frame by frame, written as
// JSON. The format:
//
//   {
//     "target": {"dataspace": "bt709 srgb", "min_luminance": 0, "max_luminance": 500},
//     "frames": [
//       {"layers": [
//          {"index": 0, "dataspace": "bt2020 st2084-pq", "min_luminance": 0,
//           "max_luminance": 1000, "alpha_premult": false,
//           "hdr10plus": {"file": "clip.json", "frame": 0}},
//          {"index": 1, "dataspace": 163971072, "max_luminance": 1000}]},
//       {"target": {...}, "layers": [...]}
//     ]
//   }
//
// "target" (top level: before the first frame; in a frame: before that
// frame's layers) calls setTargetInfo and setTargetDisplayLuminance; left
// out, the writer keeps what it had. Each layer calls setLayerStaticMetadata,
// then setLayerOpaqueData when "hdr10plus" is given, then setLayerImageInfo
// when "alpha_premult" is given. "min_luminance" defaults to 0. Dataspaces
// are numbers or names (see dataspace_names.h).
//
// "hdr10plus" is one of
//   {"file": PATH, "frame": N}   frame N (default 0) of an HDR10+ JSON file
//   {"raw": PATH}                a file holding the 312-byte record itself
//   {"inline": {...}}            one frame in the HDR10+ JSON layout
// with an optional "size" (default 312) passed to setLayerOpaqueData, or
// null to clear the layer's metadata (size 0). Without "hdr10plus" the
// layer keeps whatever metadata an earlier frame registered, as the writer
// does. Relative paths are taken from the script's directory. Unknown keys
// are errors, since in a script they are typing mistakes.
#pragma once

#include <json/value.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "clip/clip_reader.h"
#include "common/status.h"
#include "metadata/VelmorHdrDynamicInfo.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

struct TargetSettings {
    uint32_t dataspace = 0;
    uint32_t minLuminance = 0;
    uint32_t maxLuminance = 0;
};

struct LayerMetadata {
    enum class Kind { Keep, Clear, Record };
    Kind kind = Kind::Keep;
    _VelmorHdrDynamicInfo* record = nullptr;  // owned by the FrameScript
    uint64_t size = sizeof(_VelmorHdrDynamicInfo);
    std::string source;  // where it came from, for the report
};

struct ScriptLayer {
    int index = 0;
    uint32_t dataspace = 0;
    uint32_t minLuminance = 0;
    uint32_t maxLuminance = 0;
    bool hasAlpha = false;
    bool alphaPremult = false;
    LayerMetadata metadata;
};

struct ScriptFrame {
    bool setsTarget = false;
    TargetSettings target;
    std::vector<ScriptLayer> layers;
};

struct FrameScript {
    bool setsTarget = false;
    TargetSettings target;
    std::vector<ScriptFrame> frames;
    // The records the layers point to. The writer keeps the pointers across
    // frames, so they live as long as the script.
    std::vector<std::unique_ptr<_VelmorHdrDynamicInfo>> records;
};

// `baseDir` resolves relative paths. Messages name the key, e.g.
// "frames[0].layers[1].index: 16 is not a layer index (0 to 15)", the key
// also as the location's key. A mistake in the script is ErrorKind::Invalid;
// an HDR10+ file or inline entry it names that cannot be read keeps its
// reader's kind. `open` is passed on to the reader of those files.
Status parseFrameScript(const Json::Value& root, const std::string& baseDir, FrameScript& script,
                        const OpenOptions& open = {});

// The file's failures as its JSON reader gives them (Io, Format); the
// script's, as above, after the path.
Status loadFrameScript(const std::string& path, FrameScript& script, const OpenOptions& open = {});

}  // namespace kestrel::tool
