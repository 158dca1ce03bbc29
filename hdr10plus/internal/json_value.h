// SPDX-License-Identifier: Apache-2.0
// The JSON layout's readers and writers on jsoncpp values, for the library
// itself, the tool and the tests, which hold parsed documents already. Not
// installed and not exported from the shared library: hosts use the text
// interface of hdr10plus/json.h, which describes the layout.
#pragma once

#include <json/value.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hdr10plus/frame.h"
#include "hdr10plus/json.h"

namespace kestrel::hdr10plus {

// jsoncpp's parse messages on one line: each error's "* Line 3, Column 5"
// and its indented reason below ("  Syntax error: ...") as "Line 3, Column 5:
// Syntax error: ...", several errors joined by "; ", trailing newlines gone.
std::string oneLineParseMessages(const std::string& messages);

// One "SceneInfo" entry. The first bad value rejects it (the failure's
// location has no frame: the caller knows which entry it gave).
Result<Frame> readJsonFrame(const Json::Value& entry);

// Every entry of a parsed document; a bad entry is rejected alone.
Result<JsonDocument> readJsonDocument(const Json::Value& root);

// readJsonDocument(text, size) with the entries read on up to `threads`
// threads (0 or 1: on the caller's alone), for a host-side reader of films
// that owns its process's cores; the document is the same for any count.
// The public reader stays on the caller's thread.
Result<JsonDocument> readJsonDocument(const char* text, size_t size, unsigned threads);

// One "SceneInfo" entry, as writeJsonDocumentText writes each.
Json::Value writeJsonFrame(const Frame& frame);

// The parts of that document, for a writer that gives its entries one at a
// time instead of holding them all (the tool's `metadata` on a film):
// whether a frame carries a tone curve (any one makes the document profile
// "B"); the "JSONInfo" member; the "SceneInfoSummary" member, gathered frame
// by frame and written when every frame has a SceneId; the "ToolInfo"
// member.
bool carriesCurve(const Frame& frame);
Json::Value writeJsonInfo(bool curves);
class SceneSummary {
public:
    void add(const Frame& frame);
    bool complete() const { return mComplete; }  // every frame so far has a SceneId
    Json::Value value() const;

private:
    bool mComplete = true;
    uint32_t mCount = 0;
    std::optional<uint32_t> mLastId;
    std::vector<uint32_t> mFirstFrames;  // one per run of equal SceneId
    std::vector<uint32_t> mLengths;
};
Json::Value writeJsonToolInfo(const JsonToolInfo& tool);

// The whole document writeJsonDocumentText writes, as a value.
Json::Value writeJsonDocument(const std::vector<Frame>& frames, const JsonToolInfo& tool);

}  // namespace kestrel::hdr10plus
