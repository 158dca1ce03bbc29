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

// Stored tables whose x-values, read as the dumps read them (EOTF: low 10
// bits, OETF: low 16 bits), do not strictly increase.
std::vector<std::string> nonIncreasingTables(const Hdr10Lut& store);

// Stored entries that share their lookup key with an earlier one, so that
// only one of them can ever be used.
std::vector<std::string> duplicateKeys(const Hdr10Lut& store);

}  // namespace kestrel::tool
