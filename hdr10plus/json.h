// SPDX-License-Identifier: Apache-2.0
// HDR10+ metadata in the JSON layout that extraction tools commonly write: a
// top-level "SceneInfo" array with one object per frame, holding the raw
// values of processing window 0 in the payload's own units:
//
//   "TargetedSystemDisplayMaximumLuminance"  whole cd/m²
//   "NumberOfWindows"                        1 to 3 (read: ignored)
//   "SceneId", "SceneFrameIndex",
//   "SequenceFrameIndex"                     optional, whole numbers
//   "LuminanceParameters": {
//       "MaxScl": [r, g, b]                  0.1 cd/m²
//       "AverageRGB"                         0.1 cd/m², optional (absent: 0)
//       "LuminanceDistributions": {          optional (absent: no entries)
//           "DistributionIndex": [...]       percent, 0 to 100, never falling
//           "DistributionValues": [...] } }  0.1 cd/m²
//   "BezierCurveData": {                     absent: no tone curve
//       "KneePointX", "KneePointY"           over 4095
//       "Anchors": [...] }                   over 1023
//
// The layout has room for window 0 only, and none for the geometry, the
// fraction of bright pixels, the actual-peak matrices or the saturation
// weight: a frame read from it has one window and none of those, and a frame
// written to it loses them. Other keys ("JSONInfo", "SceneInfoSummary",
// "ToolInfo" and any unknown one) are accepted and ignored.
//
// Luminances are accepted up to 2^32 - 1, as stored files have always been;
// checkFrame (and so writePayload) holds them to the payload's bits.
//
// The interface is text in, text out: no type of the JSON library reaches a
// caller. The same readers and writers on parsed values are internal
// (hdr10plus/internal/json_value.h).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "hdr10plus/export.h"
#include "hdr10plus/frame.h"

namespace kestrel::hdr10plus {

// What is wrong in a document: in which frame (its position in "SceneInfo";
// empty when the document as a whole is wrong), under which key (the full
// path, "LuminanceParameters.MaxScl[1]"; empty when the entry itself is not
// an object), and what ("is negative (-6589)").
struct JsonError {
    std::optional<unsigned> frame;
    std::string key;
    std::string what;

    // "frame 7: BezierCurveData.KneePointX is 4096, above the largest allowed
    // value 4095"; for the whole document, `what` alone.
    KESTREL_HDR10PLUS_EXPORT std::string message() const;
    // The same with the frame called `frameName` ("layers[0].metadata.inline").
    KESTREL_HDR10PLUS_EXPORT std::string message(const std::string& frameName) const;
};

struct JsonFrameResult {
    Frame frame;                     // meaningful when ok()
    std::optional<JsonError> error;  // error->frame is empty
    bool ok() const { return !error; }
};

struct JsonFrame {
    unsigned index;  // position in "SceneInfo"
    Frame frame;
};

struct JsonDocument {
    unsigned frameCount = 0;        // entries of "SceneInfo", accepted or not
    std::vector<JsonFrame> frames;  // the accepted ones, in file order
    std::vector<JsonError> errors;  // one per rejected entry, in file order

    // The error that rejected entry `index`, or null.
    KESTREL_HDR10PLUS_EXPORT const JsonError* errorOf(unsigned index) const;
};

struct JsonDocumentResult {
    JsonDocument document;           // meaningful when ok()
    std::optional<JsonError> error;  // the document has no "SceneInfo" array
    bool ok() const { return !error; }
};

// Every entry of a document given as JSON text; a bad entry is rejected
// alone (the first bad value of an entry rejects it). Text that is not JSON
// is a document error whose `what` starts "not valid JSON: ".
KESTREL_HDR10PLUS_EXPORT JsonDocumentResult readJsonDocument(const char* text, size_t size);

// Who wrote a document, for its "ToolInfo".
struct JsonToolInfo {
    std::string tool;
    std::string version;
};

// A whole document as JSON text, indented by two spaces: "JSONInfo"
// (profile "B" when any frame carries a tone curve, else "A"; version
// "1.0"), "SceneInfo" with one entry per frame (the keys above, the scene
// positions only when the frame has them; a frame without windows gives an
// entry without "LuminanceParameters", which the reader refuses), and
// "SceneInfoSummary" (first frame and length of each run of equal SceneId)
// when every frame has a SceneId, and "ToolInfo".
KESTREL_HDR10PLUS_EXPORT std::string writeJsonDocumentText(const std::vector<Frame>& frames,
                                                           const JsonToolInfo& tool);

}  // namespace kestrel::hdr10plus
