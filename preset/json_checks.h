// SPDX-License-Identifier: Apache-2.0
// Type checks that run before the loader converts a JSON value.
//
// jsoncpp's conversions (asUInt, asInt, asBool, asString) throw on a value
// they cannot convert, and member access throws on a value that is not an
// object. The loader asks these first, so that a preset file can never make
// the library throw; each failing check logs the key and the section.
#pragma once

namespace Json {
class Value;
}

namespace kestrel {

enum class JsonKind { kUInt32, kInt32, kBool };

// True when the conversion for `kind` accepts `v` without throwing.
bool convertsTo(const Json::Value& v, JsonKind kind);

// Entries are objects; a null entry reads as one without members.
bool isEntry(const Json::Value& entry, const char* section);

// `key` of the entry (an object) holds a string.
bool isStringMember(const Json::Value& entry, const char* key, const char* section);

// An optional member: absent (the default applies) or convertible.
bool optionalMemberConverts(const Json::Value& entry, const char* key, const char* section,
                            JsonKind kind);

// Every element of the array (or object) at `key` converts; the first one
// that does not is named by its position.
bool elementsConvert(const Json::Value& entry, const char* key, const char* section, JsonKind kind);

}  // namespace kestrel
