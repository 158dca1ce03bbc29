#include "clip/hdr10plus_document.h"

#include "clip/json_file.h"
#include "hdr10plus/record.h"

namespace kestrel::tool {

Hdr10PlusFrame toolFrame(unsigned index, const hdr10plus::Frame& source) {
    Hdr10PlusFrame frame{index, hdr10plus::toRecord(source)};
    // What the source says about the frame beside the record.
    if (!source.windows.empty()) frame.averageMaxRgbNits = source.windows[0].average_maxrgb / 10.0;
    if (source.scene_id && *source.scene_id <= 0x7fffffffu)
        frame.sceneId = static_cast<int>(*source.scene_id);
    return frame;
}

Result<Hdr10PlusDocument> parseHdr10PlusDocument(const Json::Value& root) {
    Hdr10PlusDocument document;
    hdr10plus::JsonDocumentResult read = hdr10plus::readJsonDocument(root);
    if (!read.ok()) {
        Location where;
        where.key = read.error->key;
        return Status::failure(ErrorKind::Format, read.error->message(), where);
    }
    document.frameCount = read.document.frameCount;
    for (const hdr10plus::JsonFrame& f : read.document.frames) {
        document.frames.push_back(toolFrame(f.index, f.frame));
    }
    document.errors = std::move(read.document.errors);
    return document;
}

Result<Hdr10PlusDocument> loadHdr10PlusFile(const std::string& path) {
    Result<Json::Value> root = readJsonFile(path);
    if (!root) return root.status();
    Result<Hdr10PlusDocument> document = parseHdr10PlusDocument(*root);
    if (!document) return document.status().prefixed(path + ": ");
    document->path = path;
    return document;
}

}  // namespace kestrel::tool
