// HDR10+ metadata files for the tool's commands: the library's JSON reader
// (hdr10plus/json.h, where the layout is described) with every accepted
// frame projected onto the 312-byte record the plug-in takes.
#pragma once

#include <string>
#include <vector>

#include "common/status.h"
#include "hdr10plus/internal/json_value.h"
#include "metadata/VelmorHdrDynamicInfo.h"

namespace kestrel::tool {

struct Hdr10PlusFrame {
    unsigned index;  // position in "SceneInfo"
    _VelmorHdrDynamicInfo record;
    double averageMaxRgbNits = 0;  // "AverageRGB" in cd/m² (0 when absent); not in the record
    int sceneId = -1;              // "SceneId"; -1: absent
};

struct Hdr10PlusDocument {
    std::string path;                          // as given to loadHdr10PlusFile
    unsigned frameCount = 0;                   // entries of "SceneInfo", accepted or not
    std::vector<Hdr10PlusFrame> frames;        // the accepted ones, in file order
    std::vector<hdr10plus::JsonError> errors;  // one per rejected frame, in file order

    // "<path>: frame 3: BezierCurveData.KneePointX is 9999, ..." (no path
    // for a document that was not read from a file)
    std::string message(const hdr10plus::JsonError& error) const {
        return path.empty() ? error.message() : path + ": " + error.message();
    }
    // The error that rejected frame `index`, or null.
    const hdr10plus::JsonError* errorOf(unsigned index) const {
        for (const hdr10plus::JsonError& e : errors) {
            if (e.frame == index) return &e;
        }
        return nullptr;
    }
};

// A frame as the commands use it: the record, and what the source says of it
// beside the record.
Hdr10PlusFrame toolFrame(unsigned index, const hdr10plus::Frame& frame);

// Reads every frame of a document. Fails (ErrorKind::Format) only when the
// document has no "SceneInfo" array at all; the document has no path.
Result<Hdr10PlusDocument> parseHdr10PlusDocument(const Json::Value& root);

// readJsonFile + parseHdr10PlusDocument; a failure's message starts with
// the path.
Result<Hdr10PlusDocument> loadHdr10PlusFile(const std::string& path);

}  // namespace kestrel::tool
