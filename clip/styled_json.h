// SPDX-License-Identifier: Apache-2.0
// JSON text in exactly the layout of prettyJson (clip/json_file.h), written
// piece by piece, so that a document the size of a film never exists as one
// tree of values: a command builds one entry's value at a time (or formats
// many entries on several threads with appendStyledElement and joins their
// text in order) and writes the text out as it grows.
//
// The layout, as the tool has always written it: two spaces per level; a
// member is `"name" : value`; an object or array that is not empty starts on
// the line below its key, one member or element per line, closing on a line
// of its own at its own indentation; an empty one is `{}` or `[]`; members in
// increasing byte order of their names; whole numbers in decimal; a double
// with 17 significant digits (".0" added when that reads as a whole number,
// `null` for NaN, `1e+9999` or `-1e+9999` for infinities); the document ends
// with a newline.
#pragma once

#include <json/value.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::clip {

// Appends `value` as one element of an array whose elements sit `depth`
// levels in (the top-level value is at depth 0; the elements of an array
// member of the top-level object at depth 2), `first` for the array's first
// element. The texts of consecutive elements, appended in order, are the
// array's body: StyledJsonWriter::elements takes them.
void appendStyledElement(std::string& out, const Json::Value& value, unsigned depth, bool first);

// The writer of one document into `out`. Values are placed where the
// document is: at the top, after key(), or as the next element of an open
// array. The caller gives an object's members in increasing byte order of
// their names, as a tree of values would hold them.
class StyledJsonWriter {
public:
    explicit StyledJsonWriter(std::string& out) : mOut(out) {}
    // A writer of elements of an array whose elements sit `depth` levels in
    // (1 or more), as appendStyledElement places them, after `before`
    // elements of the same array: a run of a longer array written on its
    // own, value by value, without a tree.
    StyledJsonWriter(std::string& out, unsigned depth, size_t before);

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    void key(std::string_view name);
    // A whole value at the current place.
    void value(const Json::Value& value);
    // A whole number at the current place, as value() writes one.
    void integer(int64_t value);
    // `count` elements of the open array, formatted by appendStyledElement at
    // elementDepth() with `first` true for the array's first element (when
    // elementCount() is 0).
    void elements(std::string_view text, size_t count);
    // The depth of the open array's elements, and how many it has so far.
    unsigned elementDepth() const { return static_cast<unsigned>(mLevels.size()); }
    size_t elementCount() const { return mLevels.empty() ? 0 : mLevels.back().count; }
    // The newline after the top-level value.
    void finish() { mOut += '\n'; }

private:
    struct Level {
        bool array = false;
        bool afterKey = false;  // its opening goes on a line of its own
        bool opened = false;    // its opening bracket is written
        size_t count = 0;       // members or elements so far
    };
    void openParent();
    // Writes what comes before a value at the current place and says
    // whether the value follows a key.
    bool place();
    void begin(bool array);
    void end(char close);

    std::string& mOut;
    std::vector<Level> mLevels;
    bool mAfterKey = false;
};

}  // namespace kestrel::clip
