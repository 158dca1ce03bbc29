// SPDX-License-Identifier: Apache-2.0
// The JSON layout's readers and writers on jsoncpp values, for the library
// itself, the tool and the tests, which hold parsed documents already. Not
// installed and not exported from the shared library: hosts use the text
// interface of hdr10plus/json.h, which describes the layout.
#pragma once

#include <json/value.h>

#include <vector>

#include "hdr10plus/frame.h"
#include "hdr10plus/json.h"

namespace kestrel::hdr10plus {

// One "SceneInfo" entry. The first bad value rejects it (the failure's
// location has no frame: the caller knows which entry it gave).
Result<Frame> readJsonFrame(const Json::Value& entry);

// Every entry of a parsed document; a bad entry is rejected alone.
Result<JsonDocument> readJsonDocument(const Json::Value& root);

// One "SceneInfo" entry, as writeJsonDocumentText writes each.
Json::Value writeJsonFrame(const Frame& frame);

// The whole document writeJsonDocumentText writes, as a value.
Json::Value writeJsonDocument(const std::vector<Frame>& frames, const JsonToolInfo& tool);

}  // namespace kestrel::hdr10plus
