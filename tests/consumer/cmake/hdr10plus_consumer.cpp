// SPDX-License-Identifier: Apache-2.0
// A host that uses only the installed HDR10+ metadata library through
// kestrel::hdr10plus: the JSON text of one frame becomes a T.35 payload,
// the payload is read back, and the frame becomes the plug-in's record.
// It finds no jsoncpp of its own; the library's headers must not need it.
// Exit status 0 when every step gives what the input says.
#include <cstdio>
#include <string>

#include <kestrel/hdr10plus/json.h>
#include <kestrel/hdr10plus/payload.h>
#include <kestrel/hdr10plus/record.h>

using namespace kestrel::hdr10plus;

int main() {
    const std::string text = R"({"SceneInfo": [{
        "TargetedSystemDisplayMaximumLuminance": 400, "NumberOfWindows": 1,
        "LuminanceParameters": {"MaxScl": [7768, 6589, 6912], "AverageRGB": 263},
        "BezierCurveData": {"KneePointX": 164, "KneePointY": 240, "Anchors": [143, 298, 447]}}]})";
    const kestrel::Result<JsonDocument> document = readJsonDocument(text.data(), text.size());
    if (!document.ok() || document->frames.size() != 1) {
        std::fprintf(stderr, "hdr10plus_consumer: the document was not read: %s\n",
                     document.ok() ? "no frame" : document.status().message().c_str());
        return 1;
    }
    const Frame& frame = document->frames[0].frame;
    const kestrel::Result<std::vector<uint8_t>> payload = writePayload(frame);
    if (!payload.ok()) {
        std::fprintf(stderr, "hdr10plus_consumer: no payload for the frame\n");
        return 1;
    }
    const kestrel::Result<Frame> parsed = parsePayload(payload->data(), payload->size());
    if (!parsed.ok() || !(*parsed == frame)) {
        std::fprintf(stderr, "hdr10plus_consumer: the payload does not read back as the frame\n");
        return 1;
    }
    const _VelmorHdrDynamicInfo record = toRecord(*parsed);
    if (record.knee_point_x != 164 || record.num_bezier_curve_anchors != 3 ||
        record.bezier_curve_anchors[2] != 447) {
        std::fprintf(stderr, "hdr10plus_consumer: the record lost the curve\n");
        return 1;
    }
    std::printf("hdr10plus_consumer: %zu payload bytes, read back equal, curve in the record\n",
                payload->size());
    return 0;
}
