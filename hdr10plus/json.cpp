// SPDX-License-Identifier: Apache-2.0
#include "hdr10plus/json.h"

#include <json/reader.h>
#include <json/writer.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "hdr10plus/internal/json_entries.h"
#include "hdr10plus/internal/json_layout.h"
#include "hdr10plus/internal/json_plain_entry.h"
#include "hdr10plus/internal/json_value.h"
#include "hdr10plus/internal/rules.h"

namespace kestrel::hdr10plus {

std::string entryMessage(const Status& error, const std::string& frameName) {
    return error.where().key.empty() ? frameName + " " + error.message()
                                     : frameName + ": " + error.message();
}

std::string entryMessage(const Status& error) {
    if (!error.where().frame) return error.message();
    return entryMessage(error, "frame " + std::to_string(*error.where().frame));
}

const Status* JsonDocument::errorOf(unsigned index) const {
    for (const Status& e : errors) {
        if (e.where().frame == index) return &e;
    }
    return nullptr;
}

namespace {

namespace k = json_keys;

// Luminances only have to fit the record's 32-bit words.
constexpr uint32_t kMaxWord = UINT32_MAX;

// Numbers as a parser reads them back (signed), so that a written entry
// compares equal to the same entry read from a file.
Json::Value number(uint32_t value) { return Json::Value(static_cast<Json::Int64>(value)); }

// A value on one line, for messages ("5000", "\"abc\"", "[1,2]").
std::string compact(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value);
}

// A bad value of an entry: the sentence names the key, the location holds it
// (the frame is the document's to add).
Status entryFailure(ErrorKind kind, const std::string& key, const std::string& what) {
    Location where;
    where.key = key;
    return Status::failure(kind, key.empty() ? what : key + " " + what, std::move(where));
}

// Reads the values of one entry, stopping at the first bad one with the full
// key of the value. Types are checked before any conversion, since jsoncpp
// throws on a conversion it cannot make.
class EntryReader {
public:
    const Status& error() const { return mError; }

    // "LuminanceParameters.MaxScl[1] is negative (-6589)": the key and what
    // is wrong with its value. A value of the wrong type or shape is Invalid;
    // one of the right type beyond a limit is OutOfRange.
    bool fail(const std::string& key, const std::string& what,
              ErrorKind kind = ErrorKind::Invalid) {
        mError = entryFailure(kind, key, what);
        return false;
    }
    bool apply(const std::string& key, const std::optional<std::string>& what) {
        return !what || fail(key, *what, ErrorKind::OutOfRange);
    }

    bool object(const Json::Value& parent, const char* member, const std::string& key,
                const Json::Value*& out) {
        if (!parent.isMember(member)) return fail(key, "is missing");
        out = &parent[member];
        if (!out->isObject()) return fail(key, "is not an object (" + compact(*out) + ")");
        return true;
    }

    bool number(const Json::Value& value, const std::string& key, uint32_t max, uint32_t& out) {
        if (!value.isNumeric()) return fail(key, "is not a number (" + compact(value) + ")");
        if (value.asDouble() < 0)
            return fail(key, "is negative (" + compact(value) + ")", ErrorKind::OutOfRange);
        if (value.asDouble() > max) {
            return fail(key,
                        "is " + compact(value) + ", above the largest allowed value " +
                            std::to_string(max),
                        ErrorKind::OutOfRange);
        }
        if (!value.isIntegral()) return fail(key, "is not a whole number (" + compact(value) + ")");
        out = value.asUInt();
        return true;
    }

    template <typename T>
    bool member(const Json::Value& parent, const char* member, const std::string& key, uint32_t max,
                T& out) {
        if (!parent.isMember(member)) return fail(key, "is missing");
        uint32_t value = 0;
        if (!number(parent[member], key, max, value)) return false;
        out = static_cast<T>(value);
        return true;
    }

    // A key the layout may leave out.
    bool optional(const Json::Value& parent, const char* member, std::optional<uint32_t>& out) {
        if (!parent.isMember(member)) return true;
        uint32_t value = 0;
        if (!number(parent[member], member, kMaxWord, value)) return false;
        out = value;
        return true;
    }

    bool array(const Json::Value& parent, const char* member, const std::string& key,
               unsigned maxCount, uint32_t maxValue, std::vector<uint32_t>& out) {
        if (!parent.isMember(member)) return fail(key, "is missing");
        const Json::Value& value = parent[member];
        if (!value.isArray()) return fail(key, "is not an array (" + compact(value) + ")");
        if (value.size() > maxCount) {
            return fail(key,
                        "has " + std::to_string(value.size()) + " entries, more than " +
                            std::to_string(maxCount),
                        ErrorKind::OutOfRange);
        }
        out.clear();
        for (Json::ArrayIndex i = 0; i < value.size(); i++) {
            uint32_t element = 0;
            if (!number(value[i], key + "[" + std::to_string(i) + "]", maxValue, element)) {
                return false;
            }
            out.push_back(element);
        }
        return true;
    }

    bool luminance(const Json::Value& entry, Window& window) {
        const Json::Value* luminance = nullptr;
        if (!object(entry, k::kLuminance, k::kLuminance, luminance)) return false;
        const std::string parameters = std::string(k::kLuminance) + ".";
        const std::string maxsclKey = parameters + k::kMaxScl;
        std::vector<uint32_t> maxscl;
        if (!array(*luminance, k::kMaxScl, maxsclKey, 3, kMaxWord, maxscl)) return false;
        if (maxscl.size() != 3) {
            return fail(maxsclKey, "has " + std::to_string(maxscl.size()) + " entries, expected 3");
        }
        for (size_t c = 0; c < 3; c++) window.maxscl[c] = maxscl[c];
        if (luminance->isMember(k::kAverageRgb) &&
            !number((*luminance)[k::kAverageRgb], parameters + k::kAverageRgb, kMaxWord,
                    window.average_maxrgb)) {
            return false;
        }
        // Without distribution entries the window has none.
        if (!luminance->isMember(k::kDistributions)) return true;
        const std::string key = parameters + k::kDistributions;
        const std::string indexKey = key + "." + k::kDistributionIndex;
        const Json::Value* distributions = nullptr;
        std::vector<uint32_t> percentages;
        std::vector<uint32_t> values;
        if (!object(*luminance, k::kDistributions, key, distributions) ||
            !array(*distributions, k::kDistributionIndex, indexKey, kMaxDistributionEntries,
                   kMaxPercentage, percentages) ||
            !array(*distributions, k::kDistributionValues, key + "." + k::kDistributionValues,
                   kMaxDistributionEntries, kMaxWord, values)) {
            return false;
        }
        if (percentages.size() != values.size()) {
            return fail(key, "has " + std::to_string(percentages.size()) + " " +
                                 k::kDistributionIndex + " entries but " +
                                 std::to_string(values.size()) + " " + k::kDistributionValues);
        }
        for (size_t i = 1; i < percentages.size(); i++) {
            if (!apply(indexKey + "[" + std::to_string(i) + "]",
                       rules::notBelowPrevious(percentages[i], percentages[i - 1]))) {
                return false;
            }
        }
        for (size_t i = 0; i < percentages.size(); i++) {
            window.distribution.push_back({static_cast<uint8_t>(percentages[i]), values[i]});
        }
        return true;
    }

    // A frame without "BezierCurveData" has no curve.
    bool curve(const Json::Value& entry, Window& window) {
        if (!entry.isMember(k::kCurve)) return true;
        const Json::Value* bezier = nullptr;
        if (!object(entry, k::kCurve, k::kCurve, bezier)) return false;
        const std::string key = std::string(k::kCurve) + ".";
        ToneCurve c;
        std::vector<uint32_t> anchors;
        if (!member(*bezier, k::kKneePointX, key + k::kKneePointX, kKneePointOne,
                    c.knee_point_x) ||
            !member(*bezier, k::kKneePointY, key + k::kKneePointY, kKneePointOne,
                    c.knee_point_y) ||
            !array(*bezier, k::kAnchors, key + k::kAnchors, kMaxBezierAnchors, kAnchorOne,
                   anchors)) {
            return false;
        }
        c.bezier_curve_anchors.assign(anchors.begin(), anchors.end());
        window.tone_curve = std::move(c);
        return true;
    }

private:
    Status mError;
};

}  // namespace

Result<Frame> readJsonFrame(const Json::Value& entry) {
    if (!entry.isObject())
        return entryFailure(ErrorKind::Invalid, "", "is not an object (" + compact(entry) + ")");
    EntryReader reader;
    Frame f;
    f.windows.resize(1);
    if (reader.member(entry, k::kTargeted, k::kTargeted, kMaxWord,
                      f.targeted_system_display_maximum_luminance) &&
        reader.luminance(entry, f.windows[0]) && reader.curve(entry, f.windows[0]) &&
        reader.optional(entry, k::kSceneId, f.scene_id) &&
        reader.optional(entry, k::kSceneFrameIndex, f.scene_frame_index) &&
        reader.optional(entry, k::kSequenceFrameIndex, f.sequence_frame_index)) {
        return f;
    }
    return reader.error();
}

namespace {

// Entry `index` of "SceneInfo" into the document: its frame, or its error.
void addEntry(JsonDocument& document, unsigned index, Result<Frame> entry) {
    if (entry.ok()) {
        document.frames.push_back({index, std::move(entry).value()});
    } else {
        Location where = entry.status().where();
        where.frame = index;
        document.errors.push_back(
            Status::failure(entry.status().kind(), entry.status().message(), std::move(where)));
    }
}

// What is wrong with the document as a whole.
Status documentFailure(const std::string& key, std::string what) {
    Location where;
    where.key = key;
    return Status::failure(ErrorKind::Format, std::move(what), std::move(where));
}

}  // namespace

Result<JsonDocument> readJsonDocument(const Json::Value& root) {
    if (!root.isObject() || !root.isMember("SceneInfo")) {
        return documentFailure(
            "SceneInfo", "no \"SceneInfo\" array: not HDR10+ metadata in the expected layout");
    }
    const Json::Value& scenes = root["SceneInfo"];
    if (!scenes.isArray()) {
        return documentFailure("SceneInfo", "\"SceneInfo\" is not an array (" +
                                                compact(scenes).substr(0, 40) + ")");
    }
    JsonDocument document;
    document.frameCount = scenes.size();
    for (Json::ArrayIndex i = 0; i < scenes.size(); i++) {
        addEntry(document, i, readJsonFrame(scenes[i]));
    }
    return document;
}

namespace {

// Fewer entries than this are not worth a thread of their own.
constexpr size_t kMinEntriesPerThread = 512;

// The document entry by entry, each parsed on its own, so that only one
// entry's tree per thread exists at a time; nothing when an entry does not
// parse alone. The entries are shared out in contiguous parts, one per
// thread, each read into its own list; the lists are joined in order, so the
// document does not depend on the number of threads.
std::optional<Result<JsonDocument>> readEntryByEntry(const char* text, size_t size,
                                                   unsigned threads) {
    std::optional<std::vector<std::pair<size_t, size_t>>> entries = sceneInfoEntries(text, size);
    if (!entries) return std::nullopt;
    const size_t count = entries->size();
    const size_t parts =
        std::max<size_t>(1, std::min<size_t>(threads, count / kMinEntriesPerThread));
    std::vector<std::vector<Result<Frame>>> results(parts);
    std::vector<char> unparsed(parts, 0);
    std::vector<std::exception_ptr> failures(parts);
    auto readPart = [&](size_t part) {
        try {
            PlainEntryReader plain;
            // The tree reader, for the entries that are not plain (rare):
            // made for the first of them.
            std::unique_ptr<Json::CharReader> reader;
            Json::Value value;
            const size_t first = count * part / parts, end = count * (part + 1) / parts;
            results[part].reserve(end - first);
            for (size_t i = first; i < end; i++) {
                const auto [from, to] = (*entries)[i];
                if (std::optional<Frame> frame = plain.read(text + from, to - from)) {
                    results[part].push_back(std::move(*frame));
                    continue;
                }
                if (!reader) reader.reset(Json::CharReaderBuilder().newCharReader());
                bool parsed = false;
                try {
                    parsed = reader->parse(text + from, text + to, &value, nullptr);
                } catch (const std::exception&) {
                    // Nesting deeper than the parser's limit.
                }
                if (!parsed) {
                    unparsed[part] = 1;
                    return;
                }
                results[part].push_back(readJsonFrame(value));
            }
        } catch (...) {
            failures[part] = std::current_exception();  // out of memory: the caller's
        }
    };
    std::vector<std::thread> pool;
    for (size_t part = 1; part < parts; part++) pool.emplace_back(readPart, part);
    readPart(0);
    for (std::thread& t : pool) t.join();
    for (const std::exception_ptr& failure : failures) {
        if (failure) std::rethrow_exception(failure);
    }
    for (char part : unparsed) {
        if (part) return std::nullopt;
    }
    JsonDocument document;
    document.frameCount = static_cast<unsigned>(count);
    document.frames.reserve(count);
    unsigned index = 0;
    for (std::vector<Result<Frame>>& part : results) {
        for (Result<Frame>& entry : part) addEntry(document, index++, std::move(entry));
        part = std::vector<Result<Frame>>();
    }
    return Result<JsonDocument>(std::move(document));
}

}  // namespace

Result<JsonDocument> readJsonDocument(const char* text, size_t size) {
    return readJsonDocument(text, size, 1);
}

Result<JsonDocument> readJsonDocument(const char* text, size_t size, unsigned threads) {
    if (std::optional<Result<JsonDocument>> read = readEntryByEntry(text, size, threads)) {
        return std::move(*read);
    }
    // Not a plain document: read whole, which says what is wrong in its words.
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string messages;
    const char* begin = text != nullptr ? text : "";
    bool parsed = false;
    try {
        parsed = reader->parse(begin, begin + (text != nullptr ? size : 0), &root, &messages);
    } catch (const std::exception& e) {
        // jsoncpp throws instead of failing when arrays or objects nest
        // deeper than its stack limit.
        messages = e.what();
    }
    if (!parsed) return documentFailure("", "not valid JSON: " + oneLineParseMessages(messages));
    return readJsonDocument(root);
}

namespace {

// Builds the tree of the values writeJsonEntry gives.
class TreeOut {
public:
    void beginObject() { open(Json::Value(Json::objectValue)); }
    void beginArray() { open(Json::Value(Json::arrayValue)); }
    void endObject() { mOpen.pop_back(); }
    void endArray() { mOpen.pop_back(); }
    void key(const char* name) { mKey = name; }
    void integer(uint32_t value) { place(number(value)); }
    Json::Value take() { return std::move(mRoot); }

private:
    Json::Value& place(Json::Value value) {
        if (mOpen.empty()) return mRoot = std::move(value);
        Json::Value& parent = *mOpen.back();
        return parent.isArray() ? parent.append(std::move(value))
                                : (parent[mKey] = std::move(value));
    }
    void open(Json::Value value) { mOpen.push_back(&place(std::move(value))); }

    Json::Value mRoot;
    std::vector<Json::Value*> mOpen;  // the containers being filled, outermost first
    const char* mKey = "";
};

}  // namespace

Json::Value writeJsonFrame(const Frame& frame) {
    TreeOut out;
    writeJsonEntry(frame, out);
    return out.take();
}

std::string oneLineParseMessages(const std::string& messages) {
    std::string line;
    size_t at = 0;
    while (at < messages.size()) {
        size_t end = messages.find('\n', at);
        if (end == std::string::npos) end = messages.size();
        std::string part = messages.substr(at, end - at);
        at = end + 1;
        if (part.empty()) continue;
        if (part.rfind("* ", 0) == 0) {  // a new error: its place
            if (!line.empty()) line += "; ";
            line += part.substr(2);
        } else {  // the reason, indented, or more about it
            const size_t text = part.find_first_not_of(' ');
            if (text == std::string::npos) continue;
            if (!line.empty()) line += text > 0 ? ": " : " ";
            line += part.substr(text);
        }
    }
    return line;
}

bool carriesCurve(const Frame& frame) {
    return !frame.windows.empty() && frame.windows[0].tone_curve.has_value();
}

Json::Value writeJsonInfo(bool curves) {
    Json::Value info(Json::objectValue);
    // Profile B carries tone curves, profile A statistics only.
    info["HDR10plusProfile"] = curves ? "B" : "A";
    info["Version"] = "1.0";
    return info;
}

void SceneSummary::add(const Frame& frame) {
    if (!frame.scene_id) mComplete = false;
    if (mCount == 0 || frame.scene_id != mLastId) {
        mFirstFrames.push_back(mCount);
        mLengths.push_back(0);
    }
    mLengths.back()++;
    mLastId = frame.scene_id;
    mCount++;
}

Json::Value SceneSummary::value() const {
    Json::Value summary(Json::objectValue);
    summary["SceneFirstFrameIndex"] = Json::Value(Json::arrayValue);
    summary["SceneFrameNumbers"] = Json::Value(Json::arrayValue);
    for (size_t i = 0; i < mFirstFrames.size(); i++) {
        summary["SceneFirstFrameIndex"].append(number(mFirstFrames[i]));
        summary["SceneFrameNumbers"].append(number(mLengths[i]));
    }
    return summary;
}

Json::Value writeJsonToolInfo(const JsonToolInfo& tool) {
    Json::Value info(Json::objectValue);
    info["Tool"] = tool.tool;
    info["Version"] = tool.version;
    return info;
}

Json::Value writeJsonDocument(const std::vector<Frame>& frames, const JsonToolInfo& tool) {
    Json::Value root(Json::objectValue);
    bool curve = false;
    SceneSummary summary;
    root["SceneInfo"] = Json::Value(Json::arrayValue);
    for (const Frame& f : frames) {
        root["SceneInfo"].append(writeJsonFrame(f));
        curve = curve || carriesCurve(f);
        summary.add(f);
    }
    root["JSONInfo"] = writeJsonInfo(curve);
    if (summary.complete()) root["SceneInfoSummary"] = summary.value();
    root["ToolInfo"] = writeJsonToolInfo(tool);
    return root;
}

std::string writeJsonDocumentText(const std::vector<Frame>& frames, const JsonToolInfo& tool) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "  ";
    return Json::writeString(builder, writeJsonDocument(frames, tool)) + "\n";
}

}  // namespace kestrel::hdr10plus
