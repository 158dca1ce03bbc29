#include "tools/kestrel/json_file.h"

#include <json/reader.h>
#include <json/writer.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <fstream>
#include <sstream>

namespace kestrel::tool {

bool readJsonFile(const std::string& path, Json::Value& root, std::string& error, bool strict) {
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
