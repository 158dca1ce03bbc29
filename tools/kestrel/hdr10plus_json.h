// HDR10+ dynamic metadata in the JSON layout that the widely used open-source
// extraction tool writes: a top-level "SceneInfo" array with one object per
// frame, each holding the raw fields of the metadata:
//
//   "TargetedSystemDisplayMaximumLuminance"  whole cd/m²
//   "LuminanceParameters": {
//       "MaxScl": [r, g, b]                  0.1 cd/m²
//       "AverageRGB"                         0.1 cd/m² (not part of the record)
//       "LuminanceDistributions": {
//           "DistributionIndex": [...]       percent, 0 to 100
//           "DistributionValues": [...] } }  0.1 cd/m²
//   "BezierCurveData": {                     absent: no tone curve
//       "KneePointX", "KneePointY"           over 4095
//       "Anchors": [...] }                   over 1023
//
// Other keys ("JSONInfo", "SceneInfoSummary", "SceneId", "NumberOfWindows"
// and any unknown one) are accepted and ignored. A value that the record
// cannot hold, or that the metadata forbids, rejects the frame with a message
// naming the frame and the key; the other frames are still read.
#pragma once

#include <json/value.h>

#include <string>
#include <vector>

#include "metadata/VelmorHdrDynamicInfo.h"

namespace kestrel::tool {

struct Hdr10PlusFrame {
    unsigned index;  // position in "SceneInfo"
    _VelmorHdrDynamicInfo record;
    double averageMaxRgbNits = -1;  // "AverageRGB" in cd/m², not part of the record; -1: absent
    int sceneId = -1;               // "SceneId"; -1: absent
};

struct Hdr10PlusDocument {
    unsigned frameCount = 0;             // entries of "SceneInfo", accepted or not
    std::vector<Hdr10PlusFrame> frames;  // the accepted ones, in file order
    std::vector<std::string> errors;     // one message per rejected frame
};

// Fills `record` (every byte, reserved ones zero) from one "SceneInfo" entry.
// On a bad value returns false and sets `error` to "<frameName>: <key> ...".
bool parseHdr10PlusFrame(const Json::Value& frame, const std::string& frameName,
                         _VelmorHdrDynamicInfo& record, std::string& error);

// Reads every frame of a document, naming them "frame 0", "frame 1", ...
// Returns false only when the document has no "SceneInfo" array at all.
bool parseHdr10PlusDocument(const Json::Value& root, Hdr10PlusDocument& document,
                            std::string& error);

// readJsonFile + parseHdr10PlusDocument; messages are prefixed with the path.
bool loadHdr10PlusFile(const std::string& path, Hdr10PlusDocument& document, std::string& error);

}  // namespace kestrel::tool
