// SPDX-License-Identifier: Apache-2.0
#include "clip/json_file.h"

#include <json/reader.h>
#include <json/writer.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "hdr10plus/internal/json_value.h"

namespace kestrel::clip {

Status readableFile(const std::string& path) {
    // A directory opens for reading and only fails when read, which a parser
    // would report as a syntax error at line 1.
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored))
        return Status::failure(ErrorKind::Io, path + ": is a directory, not a file");
    std::ifstream in(path, std::ios::binary);
    if (!in) return Status::failure(ErrorKind::Io, path + ": cannot open: " + std::strerror(errno));
    return Status();
}

Result<Json::Value> readJsonFile(const std::string& path, bool strict) {
    if (Status readable = readableFile(path); !readable) return readable;
    std::ifstream in(path, std::ios::binary);
    if (!in) return Status::failure(ErrorKind::Io, path + ": cannot open: " + std::strerror(errno));
    Json::Value root;
    Json::CharReaderBuilder builder;
    if (strict) {
        builder["rejectDupKeys"] = true;
        builder["failIfExtra"] = true;
    }
    std::string messages;
    bool parsed = false;
    try {
        parsed = Json::parseFromStream(builder, in, &root, &messages);
    } catch (const std::exception& e) {
        // jsoncpp throws instead of failing when arrays or objects nest
        // deeper than its stack limit.
        messages = e.what();
    }
    if (!parsed)
        return Status::failure(ErrorKind::Format, path + ": not valid JSON: " +
                                                      hdr10plus::oneLineParseMessages(messages));
    return root;
}

std::string compactJson(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value);
}

std::string prettyJson(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "  ";
    return Json::writeString(builder, value) + "\n";
}

}  // namespace kestrel::clip
