#include "clip/json_file.h"

#include <json/reader.h>
#include <json/writer.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kestrel::tool {

bool readableFile(const std::string& path, std::string& error) {
    // A directory opens for reading and only fails when read, which a parser
    // would report as a syntax error at line 1.
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) {
        error = path + ": is a directory, not a file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    return true;
}

bool readJsonFile(const std::string& path, Json::Value& root, std::string& error, bool strict) {
    if (!readableFile(path, error)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
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
    if (!parsed) {
        // jsoncpp's messages start with "* Line 3, Column 5" and may span lines.
        while (!messages.empty() && messages.back() == '\n') messages.pop_back();
        error = path + ": not valid JSON: " + messages;
        return false;
    }
    return true;
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

}  // namespace kestrel::tool
