// SPDX-License-Identifier: Apache-2.0
#include "hdr10plus/internal/json_entries.h"

#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <cstring>

namespace kestrel::hdr10plus {

namespace {

// Below the whole-document reader's own limit of 1000, which it enforces by
// failing the document: anything near it is left to that reader.
constexpr unsigned kMaxDepth = 900;

constexpr char kSceneInfo[] = "SceneInfo";

// Follows the SAX events of the text with the offset of each: the entries
// are the values at depth 2 under the root's "SceneInfo" key.
class EntryFinder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, EntryFinder> {
public:
    explicit EntryFinder(const rapidjson::MemoryStream& in) : mIn(in) {}

    bool Default() { return value(); }
    bool String(const char*, rapidjson::SizeType, bool) { return value(); }
    bool Key(const char* name, rapidjson::SizeType length, bool) {
        if (mDepth == 1) {
            mInSceneInfo = length == sizeof kSceneInfo - 1 &&
                           std::memcmp(name, kSceneInfo, length) == 0;
            if (mInSceneInfo && ++mSceneInfos > 1) return false;  // left to the whole reader
        }
        return true;
    }
    bool StartObject() { return open(true); }
    bool EndObject(rapidjson::SizeType) { return close(); }
    bool StartArray() { return open(false); }
    bool EndArray(rapidjson::SizeType) { return close(); }

    bool found() const { return mSceneInfos == 1 && mArray && mRootObject; }
    std::vector<std::pair<size_t, size_t>> entries;

private:
    // The offset of the event's token: the iterative parser tells the
    // handler of a brace before it takes the brace.
    size_t here() const { return mIn.Tell(); }

    bool value() {
        if (mDepth == 0) return false;  // a root that is not an object
        return !inEntries();            // an entry that is no object: left to the whole reader
    }
    bool open(bool object) {
        if (mDepth == 0) {
            if (!object) return false;
            mRootObject = true;
        }
        if (mDepth == 1 && mInSceneInfo) {
            if (object) return false;  // "SceneInfo" is not an array
            mArray = true;
        }
        if (inEntries()) mEntryStart = here();
        if (++mDepth > kMaxDepth) return false;
        return true;
    }
    bool close() {
        --mDepth;
        if (inEntries()) entries.push_back({mEntryStart, here() + 1});
        return true;
    }
    bool inEntries() const { return mDepth == 2 && mInSceneInfo; }

private:
    const rapidjson::MemoryStream& mIn;
    unsigned mDepth = 0;
    unsigned mSceneInfos = 0;
    bool mInSceneInfo = false;
    bool mArray = false;
    bool mRootObject = false;
    size_t mEntryStart = 0;
};

}  // namespace

std::optional<std::vector<std::pair<size_t, size_t>>> sceneInfoEntries(const char* text,
                                                                      size_t size) {
    if (text == nullptr) return std::nullopt;
    rapidjson::MemoryStream in(text, size);
    EntryFinder finder(in);
    rapidjson::Reader reader;
    // As lenient as the whole-document reader: comments and trailing commas
    // pass, and whatever follows the root value is not read.
    constexpr unsigned kFlags = rapidjson::kParseIterativeFlag | rapidjson::kParseCommentsFlag |
                                rapidjson::kParseTrailingCommasFlag |
                                rapidjson::kParseStopWhenDoneFlag;
    if (reader.Parse<kFlags>(in, finder).IsError()) return std::nullopt;
    if (!finder.found()) return std::nullopt;
    // Each range is one object's text, braces included.
    for (const auto& [first, end] : finder.entries) {
        if (end <= first || end > size || text[first] != '{' || text[end - 1] != '}')
            return std::nullopt;
    }
    return std::move(finder.entries);
}

}  // namespace kestrel::hdr10plus
