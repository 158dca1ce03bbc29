// SPDX-License-Identifier: Apache-2.0
// The checks `kestrel preset check` makes beyond what the loader refuses: a
// preset that the loader takes without complaint can still ship broken (a
// misspelt section it never reads, tables whose inputs do not rise, entries
// that shadow each other). Each check returns the lines that say what is
// wrong; an empty list means it passed.
#pragma once

#include <json/value.h>

#include <string>
#include <vector>

#include "preset/Hdr10Lut.h"

namespace kestrel::tool {

// The file is a directory or holds no bytes: the reason, or "" when neither.
std::string unreadablePresetFile(const std::string& path);

// The nearest of the loader's section names to `name`, compared without
// case, or "" when none is within two edits.
std::string nearestSectionName(const std::string& name);

// Top-level members holding an array or an object under a name the loader
// does not read (members holding a string, a number or a boolean, such as
// "about", are notes and pass). When none of the sections is present either,
// a single line saying that the file is not a preset at all.
std::vector<std::string> unknownSections(const Json::Value& root);

// One rejected entry in words: "eotf entry 3: x-values: wrong number of points".
std::string describeRejection(const PresetRejection& rejection);

// The file's text is JSON as a strict reader takes it: no key given twice in
// one object (the loader keeps the last) and nothing after the value (the
// loader ignores it). The reader's reason on one line, or "" when strict.
std::string strictJsonError(const std::string& text);

// The sections present that hold something other than an array of entries:
// an object (the loader takes its members as entries, in name order) or a
// scalar (the loader takes nothing). Null passes: it reads as absent.
std::vector<std::string> misshapenSections(const Json::Value& root);

// Values the loader converts without a word: a fraction where a whole
// number belongs (cut towards zero), a boolean or null where a number
// belongs (read as 1 or 0), a number where a boolean belongs.
std::vector<std::string> silentlyConvertedValues(const Json::Value& root);

// Stored words wider than the field the command block and the dumps read
// (EOTF: x 10 bits, y 16 bits; OETF: x 16 bits, y 10 bits): the block would
// carry the whole word while the dumps and the plot show its low bits. The
// first such word of each table.
std::vector<std::string> valuesWiderThanTheirField(const Hdr10Lut& store);

// Stored tables whose y-values, read as the dumps read them, fall somewhere:
// a transfer curve never gives less output for more input.
std::vector<std::string> fallingTables(const Hdr10Lut& store);

// Stored tables whose x-values, read as the dumps read them (EOTF: low 10
// bits, OETF: low 16 bits), do not strictly increase.
std::vector<std::string> nonIncreasingTables(const Hdr10Lut& store);

// Stored entries that share their lookup key with an earlier one, so that
// only one of them can ever be used.
std::vector<std::string> duplicateKeys(const Hdr10Lut& store);

}  // namespace kestrel::tool
