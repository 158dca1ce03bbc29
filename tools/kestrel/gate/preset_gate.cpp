#include "tools/kestrel/gate/preset_gate.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <tuple>

#include "preset/load_report.h"

namespace kestrel::tool {

namespace {

// Words per point count and the bits of an x-value the dumps show.
constexpr size_t kEotfPoints = 65;
constexpr size_t kOetfPoints = 33;
constexpr unsigned kEotfXMask = 0x3ff;
constexpr unsigned kOetfXMask = 0xffff;
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

}  // namespace

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
