// SPDX-License-Identifier: Apache-2.0
#include "preset/json_checks.h"

#include <json/json.h>

#include "common/diagnostics.h"

namespace kestrel {
namespace {

const char* kindName(JsonKind kind) {
    switch (kind) {
        case JsonKind::kUInt32:
            return "an unsigned 32-bit integer";
        case JsonKind::kInt32:
            return "a signed 32-bit integer";
        case JsonKind::kBool:
            return "a boolean";
    }
    return "";
}

}  // namespace

// Mirrors what each jsoncpp conversion accepts. asUInt and asInt take null
// and booleans (as 0 and 1), integers in range and reals in range (which
// they truncate toward zero); asBool takes every scalar but a string.
bool convertsTo(const Json::Value& v, JsonKind kind) {
    switch (v.type()) {
        case Json::nullValue:
        case Json::booleanValue:
            return true;
        case Json::intValue:
        case Json::uintValue:
            if (kind == JsonKind::kBool) return true;
            return kind == JsonKind::kUInt32 ? v.isUInt() : v.isInt();
        case Json::realValue: {
            const double d = v.asDouble();
            if (kind == JsonKind::kBool) return true;
            if (kind == JsonKind::kUInt32) return d >= 0.0 && d <= 4294967295.0;
            return d >= -2147483648.0 && d <= 2147483647.0;
        }
        default:  // strings, arrays, objects
            return false;
    }
}

bool isEntry(const Json::Value& entry, const char* section) {
    if (entry.isObject() || entry.isNull()) return true;
    diag::logEntryNotObject(section);
    return false;
}

bool isStringMember(const Json::Value& entry, const char* key, const char* section) {
    if (entry[key].isString()) return true;
    diag::logMemberNotString(key, section);
    return false;
}

bool optionalMemberConverts(const Json::Value& entry, const char* key, const char* section,
                            JsonKind kind) {
    if (!entry.isMember(key) || convertsTo(entry[key], kind)) return true;
    diag::logMemberNotConvertible(key, section, kindName(kind));
    return false;
}

bool elementsConvert(const Json::Value& entry, const char* key, const char* section,
                     JsonKind kind) {
    const Json::Value& elements = entry[key];
    unsigned int position = 0;
    for (auto it = elements.begin(); it != elements.end(); ++it, ++position) {
        if (convertsTo(*it, kind)) continue;
        diag::logElementNotConvertible(key, position, section, kindName(kind));
        return false;
    }
    return true;
}

}  // namespace kestrel
