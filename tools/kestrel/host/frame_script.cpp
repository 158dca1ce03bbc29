// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/host/frame_script.h"

#include <fstream>
#include <iterator>
#include <map>

#include "clip/clip_reader.h"
#include "clip/json_file.h"
#include "hdr10plus/internal/json_value.h"
#include "hdr10plus/record.h"
#include "tools/kestrel/host/dataspace_names.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

namespace {

constexpr int kLayers = 16;

class ScriptReader {
public:
    ScriptReader(const std::string& baseDir, FrameScript& script, const OpenOptions& open)
        : mBaseDir(baseDir), mScript(script), mOpen(open) {}

    // Why read() returned false.
    const Status& status() const { return mStatus; }

    bool read(const Json::Value& root) {
        if (!root.isObject()) return fail("", "a frame script is a JSON object");
        // "about": a note for people (what to run it with), as in preset files.
        if (!onlyKeys(root, "", {"about", "target", "frames"})) return false;
        if (root.isMember("about") && !root["about"].isString())
            return fail("about", "must be a string (a note for people)");
        if (root.isMember("target")) {
            mScript.setsTarget = true;
            if (!target(root["target"], "target", mScript.target)) return false;
        }
        if (!root.isMember("frames")) return fail("frames", "is missing");
        const Json::Value& frames = root["frames"];
        if (!frames.isArray() || frames.empty()) {
            return fail("frames", "must be an array of one or more frames");
        }
        for (Json::ArrayIndex f = 0; f < frames.size(); f++) {
            ScriptFrame frame;
            if (!this->frame(frames[f], "frames[" + std::to_string(f) + "]", frame)) return false;
            mScript.frames.push_back(std::move(frame));
        }
        return true;
    }

private:
    // The script's own mistakes are Invalid; a file it names that cannot be
    // read keeps the kind its reader gave.
    bool fail(const std::string& key, const std::string& what,
              ErrorKind kind = ErrorKind::Invalid) {
        Location where;
        where.key = key;
        mStatus = Status::failure(kind, key.empty() ? what : key + ": " + what, std::move(where));
        return false;
    }

    bool onlyKeys(const Json::Value& object, const std::string& where,
                  std::initializer_list<const char*> allowed) {
        for (const std::string& name : object.getMemberNames()) {
            bool known = false;
            for (const char* a : allowed) known = known || name == a;
            if (!known) {
                std::string list;
                for (const char* a : allowed)
                    list += (list.empty() ? "\"" : ", \"") + std::string(a) + "\"";
                return fail(where.empty() ? name : where + "." + name,
                            "unknown key (expected " + list + ")");
            }
        }
        return true;
    }

    bool object(const Json::Value& value, const std::string& key) {
        return value.isObject() || fail(key, "must be an object, not " + compactJson(value));
    }

    bool number(const Json::Value& value, const std::string& key, uint64_t max, uint64_t& out) {
        if (!value.isIntegral() || value.asDouble() < 0 ||
            value.asDouble() > static_cast<double>(max)) {
            return fail(key, compactJson(value) + " is not a whole number from 0 to " +
                                 std::to_string(max));
        }
        out = value.asLargestUInt();
        return true;
    }

    bool luminance(const Json::Value& parent, const char* member, const std::string& where,
                   bool required, uint32_t& out) {
        std::string key = where + "." + member;
        if (!parent.isMember(member)) return !required || fail(key, "is missing");
        uint64_t v = 0;
        if (!number(parent[member], key, UINT32_MAX, v)) return false;
        out = static_cast<uint32_t>(v);
        return true;
    }

    bool dataspace(const Json::Value& parent, const std::string& where, uint32_t& out) {
        std::string key = where + ".dataspace";
        if (!parent.isMember("dataspace")) return fail(key, "is missing");
        const Result<uint32_t> read = parseDataspace(parent["dataspace"]);
        if (!read) return fail(key, read.status().message(), read.status().kind());
        out = *read;
        return true;
    }

    bool target(const Json::Value& value, const std::string& key, TargetSettings& t) {
        return object(value, key) &&
               onlyKeys(value, key, {"dataspace", "min_luminance", "max_luminance"}) &&
               dataspace(value, key, t.dataspace) &&
               luminance(value, "min_luminance", key, false, t.minLuminance) &&
               luminance(value, "max_luminance", key, true, t.maxLuminance);
    }

    bool frame(const Json::Value& value, const std::string& key, ScriptFrame& frame) {
        if (!object(value, key) || !onlyKeys(value, key, {"target", "layers"})) return false;
        if (value.isMember("target")) {
            frame.setsTarget = true;
            if (!target(value["target"], key + ".target", frame.target)) return false;
        }
        const Json::Value& layers = value["layers"];
        if (!layers.isArray()) return fail(key + ".layers", "must be an array of layers");
        for (Json::ArrayIndex i = 0; i < layers.size(); i++) {
            ScriptLayer layer;
            if (!this->layer(layers[i], key + ".layers[" + std::to_string(i) + "]", layer)) {
                return false;
            }
            frame.layers.push_back(std::move(layer));
        }
        return true;
    }

    bool layer(const Json::Value& value, const std::string& key, ScriptLayer& layer) {
        if (!object(value, key) || !onlyKeys(value, key,
                                             {"index", "dataspace", "min_luminance",
                                              "max_luminance", "alpha_premult", "hdr10plus"})) {
            return false;
        }
        if (!value.isMember("index")) return fail(key + ".index", "is missing");
        uint64_t index = 0;
        if (!value["index"].isIntegral() || value["index"].asDouble() < 0 ||
            value["index"].asDouble() >= kLayers) {
            return fail(key + ".index",
                        compactJson(value["index"]) + " is not a layer index (0 to 15)");
        }
        index = value["index"].asUInt();
        layer.index = static_cast<int>(index);
        if (!dataspace(value, key, layer.dataspace) ||
            !luminance(value, "min_luminance", key, false, layer.minLuminance) ||
            !luminance(value, "max_luminance", key, true, layer.maxLuminance)) {
            return false;
        }
        if (value.isMember("alpha_premult")) {
            if (!value["alpha_premult"].isBool()) {
                return fail(key + ".alpha_premult", "must be true or false");
            }
            layer.hasAlpha = true;
            layer.alphaPremult = value["alpha_premult"].asBool();
        }
        if (value.isMember("hdr10plus")) {
            return metadata(value["hdr10plus"], key + ".hdr10plus", layer.metadata);
        }
        return true;
    }

    bool metadata(const Json::Value& value, const std::string& key, LayerMetadata& meta) {
        if (value.isNull()) {
            meta.kind = LayerMetadata::Kind::Clear;
            meta.size = 0;
            meta.source = "none (cleared)";
            return true;
        }
        if (!object(value, key) ||
            !onlyKeys(value, key, {"file", "frame", "raw", "inline", "size"})) {
            return false;
        }
        int forms = value.isMember("file") + value.isMember("raw") + value.isMember("inline");
        if (forms != 1) return fail(key, "needs exactly one of \"file\", \"raw\" and \"inline\"");
        if (value.isMember("frame") && !value.isMember("file")) {
            return fail(key + ".frame", "only goes with \"file\"");
        }
        if (value.isMember("size") &&
            !number(value["size"], key + ".size", UINT64_MAX, meta.size)) {
            return false;
        }

        auto record = std::make_unique<_VelmorHdrDynamicInfo>();
        if (value.isMember("file")) {
            if (!fileFrame(value, key, *record, meta.source)) return false;
        } else if (value.isMember("raw")) {
            if (!rawRecord(value["raw"], key + ".raw", *record, meta.source)) return false;
        } else {
            Result<hdr10plus::Frame> entry = hdr10plus::readJsonFrame(value["inline"]);
            if (!entry.ok()) {
                mStatus = Status::failure(entry.status().kind(),
                                          hdr10plus::entryMessage(entry.status(), key + ".inline"),
                                          Location{{}, {}, {}, key + ".inline"});
                return false;
            }
            *record = hdr10plus::toRecord(*entry);
            meta.source = "inline fields";
        }
        meta.kind = LayerMetadata::Kind::Record;
        meta.record = record.get();
        mScript.records.push_back(std::move(record));
        return true;
    }

    std::string resolve(const std::string& path) const {
        if (path.empty() || path[0] == '/' || mBaseDir.empty()) return path;
        return mBaseDir + "/" + path;
    }

    bool fileFrame(const Json::Value& value, const std::string& key, _VelmorHdrDynamicInfo& record,
                   std::string& source) {
        if (!value["file"].isString()) return fail(key + ".file", "must be a path");
        uint64_t frame = 0;
        if (value.isMember("frame") && !number(value["frame"], key + ".frame", UINT32_MAX, frame)) {
            return false;
        }
        const std::string path = resolve(value["file"].asString());
        auto cached = mClips.find(path);
        if (cached == mClips.end()) {
            Result<Clip> opened = openClip(path, mOpen);
            const Status whole = opened ? opened->whole() : opened.status();
            if (!whole) return fail(key + ".file", whole.message(), whole.kind());
            cached = mClips.emplace(path, std::move(opened).value()).first;
        }
        const Clip& clip = cached->second;
        if (frame >= clip.frameCount()) {
            return fail(key + ".frame", std::to_string(frame) + " is beyond the " +
                                            std::to_string(clip.frameCount()) +
                                            (clip.frameCount() == 1 ? " frame of " : " frames of ") +
                                            path);
        }
        const ClipFrame& f = clip.frames[frame];
        // The frame exists but has no metadata: its problem says why.
        if (!f.metadata) {
            return fail(key + ".frame",
                        clip.name + ": " + clip.problemMessage(static_cast<unsigned>(frame)));
        }
        // The plug-in is called with this record.
        record = hdr10plus::toRecord(*f.metadata);
        source = "frame " + std::to_string(frame) + " of " + value["file"].asString();
        return true;
    }

    bool rawRecord(const Json::Value& value, const std::string& key, _VelmorHdrDynamicInfo& record,
                   std::string& source) {
        if (!value.isString()) return fail(key, "must be a path");
        const std::string path = resolve(value.asString());
        std::ifstream in(path, std::ios::binary);
        if (!in) return fail(key, "cannot open " + path);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.size() != sizeof record) {
            return fail(key, path + " holds " + std::to_string(bytes.size()) +
                                 " bytes; a record is " + std::to_string(sizeof record));
        }
        std::copy(bytes.begin(), bytes.end(), reinterpret_cast<char*>(&record));
        source = "raw record " + value.asString();
        return true;
    }

    const std::string& mBaseDir;
    FrameScript& mScript;
    Status mStatus;
    const OpenOptions& mOpen;
    std::map<std::string, Clip> mClips;
};

}  // namespace

Status parseFrameScript(const Json::Value& root, const std::string& baseDir, FrameScript& script,
                        const OpenOptions& open) {
    script = FrameScript();
    ScriptReader reader(baseDir, script, open);
    return reader.read(root) ? Status() : reader.status();
}

Status loadFrameScript(const std::string& path, FrameScript& script, const OpenOptions& open) {
    Result<Json::Value> read = readJsonFile(path, /*strict=*/true);
    if (!read) return read.status();
    const Json::Value& root = *read;
    size_t slash = path.rfind('/');
    std::string baseDir = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    return parseFrameScript(root, baseDir, script, open).prefixed(path + ": ");
}

}  // namespace kestrel::tool
