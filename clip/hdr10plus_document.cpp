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

bool parseHdr10PlusDocument(const Json::Value& root, Hdr10PlusDocument& document,
                            std::string& error) {
    const std::string path = document.path;
    document = Hdr10PlusDocument();
    document.path = path;
    hdr10plus::JsonDocumentResult read = hdr10plus::readJsonDocument(root);
    if (!read.ok()) {
        error = read.error->message();
        return false;
    }
    document.frameCount = read.document.frameCount;
    for (const hdr10plus::JsonFrame& f : read.document.frames) {
        document.frames.push_back(toolFrame(f.index, f.frame));
    }
    document.errors = std::move(read.document.errors);
    return true;
}

bool loadHdr10PlusFile(const std::string& path, Hdr10PlusDocument& document, std::string& error) {
    Json::Value root;
    if (!readJsonFile(path, root, error)) return false;
    document.path = path;
    if (!parseHdr10PlusDocument(root, document, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

}  // namespace kestrel::tool
