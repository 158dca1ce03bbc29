// SPDX-License-Identifier: Apache-2.0
// Reading JSON files and printing JSON values for messages.
#pragma once

#include <json/value.h>

#include <string>

#include "common/status.h"

namespace kestrel::clip {

// Whether the file at `path` can be opened for reading; if not, the
// failure (ErrorKind::Io) names it and says why ("is a directory, not a
// file", "cannot open: ...").
Status readableFile(const std::string& path);

// Parses the file at `path`. A failure says why: the file could not be
// read (ErrorKind::Io), or the parser's messages with line and column
// (ErrorKind::Format). With `strict`, duplicate keys and text after the
// value are errors too (for the tool's own formats, where they are always
// mistakes).
Result<Json::Value> readJsonFile(const std::string& path, bool strict = false);

// A value on one line, for messages ("5000", "\"abc\"", "[1,2]").
std::string compactJson(const Json::Value& value);

// Indented text for output files.
std::string prettyJson(const Json::Value& value);

}  // namespace kestrel::clip
