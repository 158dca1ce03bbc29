// Reading JSON files and printing JSON values for messages.
#pragma once

#include <json/value.h>

#include <string>

namespace kestrel::tool {

// Whether the file at `path` can be opened for reading; if not, `error`
// names it and says why ("is a directory, not a file", "cannot open: ...").
bool readableFile(const std::string& path, std::string& error);

// Parses the file at `path` into `root`. On failure `error` says why: the
// file could not be read, or the parser's messages with line and column.
// With `strict`, duplicate keys and text after the value are errors too
// (for the tool's own formats, where they are always mistakes).
bool readJsonFile(const std::string& path, Json::Value& root, std::string& error,
                  bool strict = false);

// A value on one line, for messages ("5000", "\"abc\"", "[1,2]").
std::string compactJson(const Json::Value& value);

// Indented text for output files.
std::string prettyJson(const Json::Value& value);

}  // namespace kestrel::tool
