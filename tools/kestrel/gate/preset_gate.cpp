// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/gate/preset_gate.h"

#include <json/reader.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <tuple>

#include "preset/json_checks.h"
#include "preset/load_report.h"

namespace kestrel::tool {

namespace {

// Words per point count and the bits of an x-value the dumps show.
constexpr size_t kEotfPoints = 65;
constexpr size_t kOetfPoints = 33;
constexpr unsigned kEotfXMask = 0x3ff;
constexpr unsigned kEotfYMask = 0xffff;
constexpr unsigned kOetfXMask = 0xffff;
constexpr unsigned kOetfYMask = 0x3ff;
constexpr size_t kMaxSuggestionEdits = 2;

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Levenshtein distance: insertions, deletions and substitutions.
size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); j++) row[j] = j;
    for (size_t i = 1; i <= a.size(); i++) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); j++) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string knownSectionList() {
    std::string list;
    for (unsigned s = 0; s < kNumPresetSections; s++) {
        if (s > 0) list += s + 1 == kNumPresetSections ? " and " : ", ";
        list += presetSectionKey(static_cast<PresetSection>(s));
    }
    return list;
}

bool isKnownSection(const std::string& name) {
    for (unsigned s = 0; s < kNumPresetSections; s++) {
        if (name == presetSectionKey(static_cast<PresetSection>(s))) return true;
    }
    return false;
}

std::string eotfName(unsigned transfer, const LutEntry& e) {
    return std::string("EOTF[") + transferNames[transfer].name + "] " +
           std::to_string(e.luminance) + " nit";
}

std::string oetfName(unsigned transfer, const OetfRoot& root, const LutEntry& e) {
    return std::string("OETF[") + transferNames[transfer].name + "] " +
           std::to_string(root.productPeak) + " nit <- " + std::to_string(e.luminance) + " nit";
}

std::string standardName(unsigned standard) {
    const unsigned row = standard >> 16;
    return row < kNumStandards ? standardNames[row].name : "unknown";
}

// The first point whose x-value is not above the one before, as "" when
// they all rise.
std::string firstNonIncreasing(const std::vector<unsigned>& values, size_t points, unsigned mask) {
    for (size_t i = 1; i < points && i < values.size(); i++) {
        const unsigned before = values[i - 1] & mask;
        const unsigned here = values[i] & mask;
        if (here <= before) {
            return "x-values do not increase: point " + std::to_string(i) + " has x " +
                   std::to_string(here) + " after " + std::to_string(before);
        }
    }
    return "";
}

// The first point whose y-value is below the one before, as "" when none is.
std::string firstFalling(const std::vector<unsigned>& values, size_t points, unsigned mask) {
    for (size_t i = 1; i < points && points + i < values.size(); i++) {
        const unsigned before = values[points + i - 1] & mask;
        const unsigned here = values[points + i] & mask;
        if (here < before) {
            return "y-values fall: point " + std::to_string(i) + " has y " + std::to_string(here) +
                   " after " + std::to_string(before);
        }
    }
    return "";
}

unsigned bitsOf(unsigned mask) {
    unsigned bits = 0;
    for (; mask != 0; mask >>= 1) bits++;
    return bits;
}

// The first word, x-values first, above its field's mask, as "" when none is.
std::string firstTooWide(const std::vector<unsigned>& values, size_t points, unsigned xMask,
                         unsigned yMask) {
    for (size_t i = 0; i < 2 * points && i < values.size(); i++) {
        const bool isX = i < points;
        const unsigned mask = isX ? xMask : yMask;
        if (values[i] <= mask) continue;
        return std::string(isX ? "x-values" : "y-values") + ": point " +
               std::to_string(isX ? i : i - points) + " is " + std::to_string(values[i]) +
               ", wider than the field's " + std::to_string(bitsOf(mask)) +
               " bits (the dumps and the plot read " + std::to_string(values[i] & mask) + ")";
    }
    return "";
}

// The members of each section's entries that the loader converts, as its
// readers list them: whole numbers (one or an array of them) and booleans.
enum class FieldType { kUInt, kInt, kBool };
struct NumericField {
    const char* section;
    const char* key;
    FieldType type;
    bool array;
};
constexpr NumericField kNumericFields[] = {
    {"eotf", "max_luminance", FieldType::kUInt, false},
    {"eotf", "x-values", FieldType::kUInt, true},
    {"eotf", "y-values", FieldType::kUInt, true},
    {"oetf", "product_peak", FieldType::kUInt, false},
    {"oetf", "max_luminance", FieldType::kUInt, false},
    {"oetf", "default", FieldType::kBool, false},
    {"oetf", "x-values", FieldType::kUInt, true},
    {"oetf", "y-values", FieldType::kUInt, true},
    {"gamut_mapping", "values", FieldType::kInt, true},
};

std::string numberText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

// What the loader makes of `v` in a field of `type` without saying so, or
// "" when it takes the value as written (or rejects the entry, which the
// rejections report).
std::string silentConversion(const Json::Value& v, FieldType type) {
    const JsonKind kind = type == FieldType::kUInt  ? JsonKind::kUInt32
                          : type == FieldType::kInt ? JsonKind::kInt32
                                                    : JsonKind::kBool;
    if (!convertsTo(v, kind)) return "";
    if (type == FieldType::kBool) {
        if (v.isBool()) return "";
        const std::string written = v.isNull() ? "null" : numberText(v.asDouble());
        return "is " + written + ", not a boolean: the loader reads it as " +
               (v.asBool() ? "true" : "false");
    }
    if (v.isBool() || v.isNull()) {
        return std::string("is ") + (v.isNull() ? "null" : v.asBool() ? "true" : "false") +
               ", not a number: the loader reads it as " + (v.asBool() ? "1" : "0");
    }
    if (v.isDouble() && !v.isIntegral()) {
        const double d = v.asDouble();
        if (d == std::trunc(d)) return "";
        return "is " + numberText(d) + ", not a whole number: the loader cuts it to " +
               numberText(std::trunc(d) + 0.0);  // -0.5 is cut to 0, not -0
    }
    return "";
}

}  // namespace

std::string strictJsonError(const std::string& text) {
    Json::CharReaderBuilder builder;
    builder["rejectDupKeys"] = true;
    builder["failIfExtra"] = true;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string messages;
    bool parsed = false;
    try {
        parsed = reader->parse(text.data(), text.data() + text.size(), &root, &messages);
    } catch (const std::exception& e) {
        messages = e.what();
    }
    if (parsed) return "";
    // jsoncpp writes "* Line 1, Column 9\n  Duplicate key: 'eotf'\n" per error.
    // The first is the one that matters: the reader stops there, and what it
    // reports after (text after the value) follows from stopping.
    std::istringstream lines(messages);
    std::string line;
    std::string joined;
    while (std::getline(lines, line)) {
        if (!joined.empty() && line.rfind("* ", 0) == 0) break;
        size_t first = line.find_first_not_of(" \t\r*");
        if (first == std::string::npos) continue;
        const size_t last = line.find_last_not_of(" \t\r");
        if (!joined.empty()) joined += ": ";
        joined.append(line, first, last - first + 1);
    }
    return joined.empty() ? "not strict JSON" : joined;
}

std::vector<std::string> misshapenSections(const Json::Value& root) {
    std::vector<std::string> lines;
    if (!root.isObject()) return lines;
    for (unsigned s = 0; s < kNumPresetSections; s++) {
        const char* section = presetSectionKey(static_cast<PresetSection>(s));
        if (!root.isMember(section)) continue;
        const Json::Value& value = root[section];
        if (value.isObject()) {
            lines.push_back(std::string("\"") + section +
                            "\" holds an object, not an array: the loader takes its members as "
                            "entries, in the order of their names");
        } else if (!value.isArray() && !value.isNull()) {
            lines.push_back(std::string("\"") + section +
                            "\": not an array, so the loader takes nothing from it");
        }
    }
    return lines;
}

std::vector<std::string> silentlyConvertedValues(const Json::Value& root) {
    std::vector<std::string> lines;
    if (!root.isObject()) return lines;
    for (unsigned s = 0; s < kNumPresetSections; s++) {
        const char* section = presetSectionKey(static_cast<PresetSection>(s));
        const Json::Value& entries = root[section];
        if (!entries.isArray() && !entries.isObject()) continue;
        unsigned index = 0;
        for (const Json::Value& entry : entries) {
            const unsigned position = index++;
            if (!entry.isObject()) continue;
            const std::string where = std::string(section) + " entry " + std::to_string(position);
            for (const NumericField& field : kNumericFields) {
                if (std::string(field.section) != section || !entry.isMember(field.key)) continue;
                const Json::Value& member = entry[field.key];
                if (!field.array) {
                    const std::string what = silentConversion(member, field.type);
                    if (!what.empty()) lines.push_back(where + ": " + field.key + " " + what);
                    continue;
                }
                if (!member.isArray()) continue;  // the loader rejects it
                for (Json::ArrayIndex i = 0; i < member.size(); i++) {
                    const std::string what = silentConversion(member[i], field.type);
                    if (what.empty()) continue;
                    lines.push_back(where + ": " + field.key + "[" + std::to_string(i) + "] " +
                                    what);
                }
            }
        }
    }
    return lines;
}

std::vector<std::string> valuesWiderThanTheirField(const Hdr10Lut& store) {
    std::vector<std::string> lines;
    for (unsigned t = 0; t < kNumTransfers; t++) {
        for (const LutEntry& e : store.eotfTables[t]) {
            const std::string fault = firstTooWide(e.values, kEotfPoints, kEotfXMask, kEotfYMask);
            if (!fault.empty()) lines.push_back(eotfName(t, e) + ": " + fault);
        }
    }
    for (unsigned t = 0; t < kNumTransfers; t++) {
        for (const OetfRoot& root : store.oetfTables[t]) {
            for (const LutEntry& e : root.entries) {
                const std::string fault =
                    firstTooWide(e.values, kOetfPoints, kOetfXMask, kOetfYMask);
                if (!fault.empty()) lines.push_back(oetfName(t, root, e) + ": " + fault);
            }
        }
    }
    return lines;
}

std::vector<std::string> fallingTables(const Hdr10Lut& store) {
    std::vector<std::string> lines;
    for (unsigned t = 0; t < kNumTransfers; t++) {
        for (const LutEntry& e : store.eotfTables[t]) {
            const std::string fault = firstFalling(e.values, kEotfPoints, kEotfYMask);
            if (!fault.empty()) lines.push_back(eotfName(t, e) + ": " + fault);
        }
    }
    for (unsigned t = 0; t < kNumTransfers; t++) {
        for (const OetfRoot& root : store.oetfTables[t]) {
            for (const LutEntry& e : root.entries) {
                const std::string fault = firstFalling(e.values, kOetfPoints, kOetfYMask);
                if (!fault.empty()) lines.push_back(oetfName(t, root, e) + ": " + fault);
            }
        }
    }
    return lines;
}

std::string unreadablePresetFile(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) return path + " is a directory, not a file";
    const auto size = std::filesystem::file_size(path, error);
    if (!error && size == 0) return path + " is empty";
    return "";
}

std::string nearestSectionName(const std::string& name) {
    std::string best;
    size_t bestDistance = kMaxSuggestionEdits + 1;
    for (unsigned s = 0; s < kNumPresetSections; s++) {
        const std::string known = presetSectionKey(static_cast<PresetSection>(s));
        const size_t distance = editDistance(lower(name), known);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = known;
        }
    }
    return best;
}

std::vector<std::string> unknownSections(const Json::Value& root) {
    std::vector<std::string> lines;
    if (!root.isObject()) return lines;
    bool anyKnown = false;
    bool anyNear = false;
    std::vector<std::string> unknown;
    for (const std::string& name : root.getMemberNames()) {
        if (isKnownSection(name)) {
            anyKnown = true;
            continue;
        }
        const Json::Value& value = root[name];
        if (!value.isArray() && !value.isObject()) continue;  // a note, such as "about"
        const std::string nearest = nearestSectionName(name);
        if (!nearest.empty()) anyNear = true;
        std::string line = "\"" + name + "\" holds " +
                           (value.isArray() ? "an array" : "an object") +
                           " but is not a section the loader reads (" + knownSectionList() + ")";
        if (!nearest.empty()) line += "; did you mean \"" + nearest + "\"?";
        unknown.push_back(line);
    }
    if (!anyKnown && !anyNear && !unknown.empty()) {
        return {"not a preset file: the top level has none of " + knownSectionList() +
                ", but other data (" + std::to_string(unknown.size()) + " member" +
                (unknown.size() == 1 ? "" : "s") + " holding arrays or objects)"};
    }
    return unknown;
}

std::string describeRejection(const PresetRejection& rejection) {
    std::string what;
    switch (rejection.reason) {
        case PresetRejectReason::kNotAnObject:
            what = "not an object";
            break;
        case PresetRejectReason::kMissingMember:
            what = "missing";
            break;
        case PresetRejectReason::kNotAString:
            what = "not a string";
            break;
        case PresetRejectReason::kWrongPointCount:
            what = "wrong number of points";
            break;
        case PresetRejectReason::kUnknownTransfer:
            what = "names no known transfer";
            break;
        case PresetRejectReason::kNotConvertible:
            what = "a value of the wrong type or out of range";
            break;
        case PresetRejectReason::kUnknownConversion:
            what = "names no known colour standard";
            break;
        case PresetRejectReason::kWrongValueCount:
            what = "not 9 values";
            break;
    }
    std::string line = std::string(presetSectionKey(rejection.section)) + " entry " +
                       std::to_string(rejection.index) + ": ";
    if (!rejection.key.empty()) line += rejection.key + ": ";
    return line + what;
}

std::vector<std::string> nonIncreasingTables(const Hdr10Lut& store) {
    std::vector<std::string> lines;
    for (unsigned t = 0; t < kNumTransfers; t++) {
        for (const LutEntry& e : store.eotfTables[t]) {
            const std::string fault = firstNonIncreasing(e.values, kEotfPoints, kEotfXMask);
            if (!fault.empty()) lines.push_back(eotfName(t, e) + ": " + fault);
        }
    }
    for (unsigned t = 0; t < kNumTransfers; t++) {
        for (const OetfRoot& root : store.oetfTables[t]) {
            for (const LutEntry& e : root.entries) {
                const std::string fault = firstNonIncreasing(e.values, kOetfPoints, kOetfXMask);
                if (!fault.empty()) lines.push_back(oetfName(t, root, e) + ": " + fault);
            }
        }
    }
    return lines;
}

std::vector<std::string> duplicateKeys(const Hdr10Lut& store) {
    // Entries of one key sit next to each other in the sorted tables; only
    // tables that differ make the choice between them matter.
    std::vector<std::string> lines;
    auto report = [&lines](const std::string& name, size_t count, const char* rule) {
        lines.push_back(name + ": " + std::to_string(count) +
                        " entries with different tables share this key; lookups use " + rule);
    };
    for (unsigned t = 0; t < kNumTransfers; t++) {
        const std::vector<LutEntry>& table = store.eotfTables[t];
        for (size_t i = 0; i < table.size();) {
            size_t end = i + 1;
            bool differ = false;
            while (end < table.size() && table[end].luminance == table[i].luminance) {
                differ = differ || table[end].values != table[i].values;
                end++;
            }
            if (differ) report(eotfName(t, table[i]), end - i, "the first in the file");
            i = end;
        }
    }
    for (unsigned t = 0; t < kNumTransfers; t++) {
        for (const OetfRoot& root : store.oetfTables[t]) {
            const std::vector<LutEntry>& entries = root.entries;
            for (size_t i = 0; i < entries.size();) {
                size_t end = i + 1;
                bool differ = false;
                while (end < entries.size() && entries[end].luminance == entries[i].luminance) {
                    differ = differ || entries[end].values != entries[i].values;
                    end++;
                }
                if (differ) {
                    report(oetfName(t, root, entries[i]), end - i,
                           "the one whose words sort first");
                }
                i = end;
            }
        }
    }
    std::map<std::pair<unsigned, unsigned>, std::vector<const GamutMappingEntry*>> byConversion;
    for (const GamutMappingEntry& g : store.gamutMappings) {
        byConversion[{g.source, g.target}].push_back(&g);
    }
    for (const GamutMappingEntry& g : store.gamutMappings) {
        auto found = byConversion.find({g.source, g.target});
        if (found == byConversion.end()) continue;  // reported already
        const std::vector<const GamutMappingEntry*>& same = found->second;
        const bool differ = std::any_of(same.begin(), same.end(), [&g](const GamutMappingEntry* o) {
            return !std::equal(std::begin(o->matrix), std::end(o->matrix), std::begin(g.matrix));
        });
        if (differ) {
            lines.push_back("GM[" + standardName(g.source) + " -> " + standardName(g.target) +
                            "]: " + std::to_string(same.size()) +
                            " entries with different matrices share this conversion; lookups "
                            "use the first in the file");
        }
        byConversion.erase(found);
    }
    return lines;
}

}  // namespace kestrel::tool
