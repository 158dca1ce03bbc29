// SPDX-License-Identifier: Apache-2.0
#include "clip/styled_json.h"

#include <json/writer.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <sstream>

namespace kestrel::clip {

namespace {

void indent(std::string& out, unsigned depth) { out.append(2 * static_cast<size_t>(depth), ' '); }

void newLine(std::string& out, unsigned depth) {
    out += '\n';
    indent(out, depth);
}

template <typename T>
void appendInteger(std::string& out, T value) {
    char text[24];
    const auto [end, ignored] = std::to_chars(text, text + sizeof text, value);
    out.append(text, end);
}

// 17 significant digits read back as the same double. A number that prints
// without a point or exponent gets ".0", so that it reads back as a double
// and not as a whole number; infinities are numbers out of range, since JSON
// has no word for them.
void appendReal(std::string& out, double value) {
    if (std::isnan(value)) {
        out += "null";
        return;
    }
    if (std::isinf(value)) {
        out += value < 0 ? "-1e+9999" : "1e+9999";
        return;
    }
    char text[40];
    const int n = std::snprintf(text, sizeof text, "%.17g", value);
    bool point = false;
    for (int i = 0; i < n; i++) {
        // A locale with a decimal comma still writes a point.
        if (text[i] == ',') text[i] = '.';
        if (text[i] == '.' || text[i] == 'e') point = true;
    }
    out.append(text, static_cast<size_t>(n));
    if (!point) out += ".0";
}

// Printable ASCII without a quote or backslash stands as it is; anything
// else (control characters, non-ASCII letters written as \u escapes, bytes
// that are not UTF-8) is quoted by the JSON library itself, whose escapes
// the layout has always had.
void appendQuoted(std::string& out, const char* text, size_t size) {
    bool plain = true;
    for (size_t i = 0; i < size && plain; i++) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        plain = c >= 0x20 && c < 0x7f && c != '"' && c != '\\';
    }
    if (plain) {
        out += '"';
        out.append(text, size);
        out += '"';
        return;
    }
    thread_local const std::unique_ptr<Json::StreamWriter> writer = [] {
        Json::StreamWriterBuilder builder;
        builder["indentation"] = "";
        return std::unique_ptr<Json::StreamWriter>(builder.newStreamWriter());
    }();
    thread_local std::ostringstream stream;
    stream.str(std::string());
    writer->write(Json::Value(text, text + size), &stream);
    out += stream.str();
}

void appendValue(std::string& out, const Json::Value& value, unsigned depth, bool afterKey) {
    switch (value.type()) {
        case Json::nullValue:
            out += "null";
            return;
        case Json::intValue:
            appendInteger(out, value.asLargestInt());
            return;
        case Json::uintValue:
            appendInteger(out, value.asLargestUInt());
            return;
        case Json::realValue:
            appendReal(out, value.asDouble());
            return;
        case Json::booleanValue:
            out += value.asBool() ? "true" : "false";
            return;
        case Json::stringValue: {
            const char* begin = nullptr;
            const char* end = nullptr;
            value.getString(&begin, &end);
            appendQuoted(out, begin, static_cast<size_t>(end - begin));
            return;
        }
        case Json::arrayValue:
        case Json::objectValue:
            break;
    }
    const bool array = value.isArray();
    if (value.empty()) {
        out += array ? "[]" : "{}";
        return;
    }
    if (afterKey) newLine(out, depth);
    out += array ? '[' : '{';
    bool first = true;
    for (auto it = value.begin(); it != value.end(); ++it) {
        if (!first) out += ',';
        first = false;
        newLine(out, depth + 1);
        if (!array) {
            const char* end = nullptr;
            const char* name = it.memberName(&end);
            appendQuoted(out, name, static_cast<size_t>(end - name));
            out += " : ";
        }
        appendValue(out, *it, depth + 1, !array);
    }
    newLine(out, depth);
    out += array ? ']' : '}';
}

}  // namespace

void appendStyledElement(std::string& out, const Json::Value& value, unsigned depth, bool first) {
    if (!first) out += ',';
    newLine(out, depth);
    appendValue(out, value, depth, false);
}

StyledJsonWriter::StyledJsonWriter(std::string& out, unsigned depth, size_t before)
    : mOut(out), mLevels(depth, Level{false, false, true, 1}) {
    // Only the innermost level, the array, is ever looked at; the ones
    // around it stand for the depth.
    mLevels.back() = Level{true, false, true, before};
}

void StyledJsonWriter::openParent() {
    if (mLevels.empty() || mLevels.back().opened) return;
    Level& level = mLevels.back();
    if (level.afterKey) newLine(mOut, static_cast<unsigned>(mLevels.size() - 1));
    mOut += level.array ? '[' : '{';
    level.opened = true;
}

bool StyledJsonWriter::place() {
    if (mLevels.empty()) return false;
    if (!mLevels.back().array) {
        // An object's member: key() wrote everything before the value.
        const bool afterKey = mAfterKey;
        mAfterKey = false;
        return afterKey;
    }
    openParent();
    Level& level = mLevels.back();
    if (level.count > 0) mOut += ',';
    newLine(mOut, static_cast<unsigned>(mLevels.size()));
    level.count++;
    return false;
}

void StyledJsonWriter::begin(bool array) {
    const bool afterKey = place();
    mLevels.push_back(Level{array, afterKey, false, 0});
}

void StyledJsonWriter::end(char close) {
    const Level level = mLevels.back();
    mLevels.pop_back();
    if (!level.opened) {
        mOut += level.array ? "[]" : "{}";
        return;
    }
    newLine(mOut, static_cast<unsigned>(mLevels.size()));
    mOut += close;
}

void StyledJsonWriter::beginObject() { begin(false); }
void StyledJsonWriter::endObject() { end('}'); }
void StyledJsonWriter::beginArray() { begin(true); }
void StyledJsonWriter::endArray() { end(']'); }

void StyledJsonWriter::key(std::string_view name) {
    openParent();
    Level& level = mLevels.back();
    if (level.count > 0) mOut += ',';
    newLine(mOut, static_cast<unsigned>(mLevels.size()));
    appendQuoted(mOut, name.data(), name.size());
    mOut += " : ";
    level.count++;
    mAfterKey = true;
}

void StyledJsonWriter::value(const Json::Value& value) {
    const bool afterKey = place();
    appendValue(mOut, value, static_cast<unsigned>(mLevels.size()), afterKey);
}

void StyledJsonWriter::integer(int64_t value) {
    place();
    appendInteger(mOut, value);
}

void StyledJsonWriter::elements(std::string_view text, size_t count) {
    if (count == 0) return;
    openParent();
    mOut += text;
    mLevels.back().count += count;
}

}  // namespace kestrel::clip
