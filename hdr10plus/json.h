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

#include "common/status.h"
#include "hdr10plus/export.h"
#include "hdr10plus/frame.h"

namespace kestrel::hdr10plus {

// What is wrong in a document is a failure whose location says in which
// frame (where().frame: its position in "SceneInfo"; empty when the document
// as a whole is wrong) and under which key (where().key: the full path,
// "LuminanceParameters.MaxScl[1]"; empty when the entry itself is not an
// object, or the text is not JSON). Its message() is the sentence about the
// entry: the key and what is wrong ("LuminanceParameters.MaxScl[1] is
// negative (-6589)", "is not an object (5)"), or for the whole document what
// is wrong with it. The kind: Format for the document (not JSON, no
// "SceneInfo" array), OutOfRange for a value beyond a limit (negative, too
// large, too many entries, a falling percentage), Invalid for a value of the
// wrong type or shape or a missing one.

// The failure of an entry with the frame named: "frame 7:
// BezierCurveData.KneePointX is 4096, above the largest allowed value 4095",
// "frame 2 is not an object (5)"; a document failure's message() alone.
KESTREL_HDR10PLUS_EXPORT std::string entryMessage(const Status& error);
// The same with the frame called `frameName` ("layers[0].metadata.inline").
KESTREL_HDR10PLUS_EXPORT std::string entryMessage(const Status& error,
                                                  const std::string& frameName);

struct JsonFrame {
    unsigned index;  // position in "SceneInfo"
    Frame frame;
};

struct JsonDocument {
    unsigned frameCount = 0;        // entries of "SceneInfo", accepted or not
    std::vector<JsonFrame> frames;  // the accepted ones, in file order
    std::vector<Status> errors;     // one per rejected entry, in file order

    // The failure that rejected entry `index`, or null.
    KESTREL_HDR10PLUS_EXPORT const Status* errorOf(unsigned index) const;
};

// Every entry of a document given as JSON text; a bad entry is rejected
// alone (the first bad value of an entry rejects it). The document fails as
// a whole when it has no "SceneInfo" array, or when the text is not JSON (a
// message that starts "not valid JSON: ").
KESTREL_HDR10PLUS_EXPORT Result<JsonDocument> readJsonDocument(const char* text, size_t size);

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
