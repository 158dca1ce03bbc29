// SPDX-License-Identifier: Apache-2.0
// Loading a JSON preset file into the store.
//
// Every entry is checked completely before anything of it is stored, so an
// entry is either stored whole or not at all, and nothing in a file can make
// the JSON library throw: every value is type-checked against what its
// conversion accepts before it is converted. The checks that name a missing
// key, a wrong size or an unknown name run first and in a fixed order; the
// type checks that keep the conversions safe come after them.
#include <json/json.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "common/diagnostics.h"
#include "plugin/hdrCoef.h"
#include "preset/Hdr10Lut.h"
#include "preset/json_checks.h"

using kestrel::elementsConvert;
using kestrel::isEntry;
using kestrel::isStringMember;
using kestrel::JsonKind;
using kestrel::optionalMemberConverts;

namespace {

using kestrel::kEotfPoints;
using kestrel::kOetfPoints;

// Appends the words of a checked LUT array, unchanged: the store keeps what
// the file says, the hardware's word layout is the file's business.
void readSingleValues(std::vector<unsigned int>& words, const Json::Value& array) {
    for (auto it = array.begin(); it != array.end(); ++it) words.push_back(it->asUInt());
}

// The row of a name in one of the name tables, compared exactly (length and
// bytes, case-sensitive); -1 when absent.
int findName(const DataspaceName* table, unsigned int rows, const std::string& name) {
    for (unsigned int row = 0; row < rows; row++) {
        if (name == table[row].name) return static_cast<int>(row);
    }
    return -1;
}

// Lookups take the first entry whose key is not below the request, so each
// table must ascend. Entries of equal luminance keep their load order.
void sortEotfTables(std::vector<LutEntry> (&tables)[kNumTransfers]) {
    for (std::vector<LutEntry>& table : tables) {
        std::stable_sort(table.begin(), table.end(), [](const LutEntry& a, const LutEntry& b) {
            return a.luminance < b.luminance;
        });
    }
}

// Roots ascend by product peak; within a root, entries ascend by luminance,
// and equal luminances by their words (lexicographic, a prefix first), so
// the order does not depend on the order of the file.
void sortOetfTables(std::vector<OetfRoot> (&tables)[kNumTransfers]) {
    for (std::vector<OetfRoot>& table : tables) {
        std::stable_sort(table.begin(), table.end(), [](const OetfRoot& a, const OetfRoot& b) {
            return a.productPeak < b.productPeak;
        });
        for (OetfRoot& root : table) {
            std::stable_sort(root.entries.begin(), root.entries.end(),
                             [](const LutEntry& a, const LutEntry& b) {
                                 if (a.luminance != b.luminance) return a.luminance < b.luminance;
                                 return a.values < b.values;
                             });
        }
    }
}

// The parser reports each error over two indented lines; the log takes one.
std::string oneLine(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    std::string joined;
    while (std::getline(lines, line)) {
        const size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos) continue;
        const size_t last = line.find_last_not_of(" \t\r");
        if (!joined.empty()) joined += ' ';
        joined.append(line, first, last - first + 1);
    }
    return joined;
}

// Follows one section's entries for a load report: their positions, the
// ones stored and the reason for each one rejected.
class SectionReport {
public:
    SectionReport(PresetLoadReport* report, PresetSection section)
        : mReport(report), mSection(section) {}
    // Called at the start of every entry.
    void beginEntry() { mIndex = mEntries++; }
    void stored() {
        if (mReport != nullptr) mReport->stored[static_cast<unsigned>(mSection)]++;
    }
    void reject(PresetRejectReason reason, const char* key = "") {
        if (mReport != nullptr) mReport->rejected.push_back({mSection, mIndex, reason, key});
    }

private:
    PresetLoadReport* mReport;
    PresetSection mSection;
    unsigned mEntries = 0;  // entries begun so far
    unsigned mIndex = 0;    // position of the current one
};

// What a LUT entry holds beside "function", in the order it is checked:
// each key, the conversion its values must accept, and whether it is one
// optional value (absent: the section's default applies) or an array of
// the section's point count. The first key that fails rejects the entry.
enum class FieldShape { kOptionalValue, kArray };

struct LutField {
    const char* key;
    JsonKind kind;
    FieldShape shape;
};

struct LutSectionLayout {
    PresetSection section;
    const char* name;      // the section's key, and its name in messages
    unsigned long points;  // of each array
    const LutField* fields;
    size_t fieldCount;
};

constexpr LutField kEotfFields[] = {
    {"max_luminance", JsonKind::kUInt32, FieldShape::kOptionalValue},
    {"x-values", JsonKind::kUInt32, FieldShape::kArray},
    {"y-values", JsonKind::kUInt32, FieldShape::kArray},
};
constexpr LutField kOetfFields[] = {
    {"product_peak", JsonKind::kUInt32, FieldShape::kOptionalValue},
    {"max_luminance", JsonKind::kUInt32, FieldShape::kOptionalValue},
    {"default", JsonKind::kBool, FieldShape::kOptionalValue},
    {"x-values", JsonKind::kUInt32, FieldShape::kArray},
    {"y-values", JsonKind::kUInt32, FieldShape::kArray},
};
constexpr LutSectionLayout kEotfLayout{PresetSection::kEotf, "eotf", kEotfPoints, kEotfFields,
                                       std::size(kEotfFields)};
constexpr LutSectionLayout kOetfLayout{PresetSection::kOetf, "oetf", kOetfPoints, kOetfFields,
                                       std::size(kOetfFields)};

// The key of the first field whose values do not convert, or null.
const char* firstUnconvertible(const Json::Value& entry, const LutSectionLayout& layout) {
    for (size_t i = 0; i < layout.fieldCount; i++) {
        const LutField& f = layout.fields[i];
        const bool converts = f.shape == FieldShape::kArray
                                  ? elementsConvert(entry, f.key, layout.name, f.kind)
                                  : optionalMemberConverts(entry, f.key, layout.name, f.kind);
        if (!converts) return f.key;
    }
    return nullptr;
}

// Every entry of a LUT section, each checked whole (its shape and point
// counts, its transfer, then every field of the layout) before `store`
// files it under its transfer's row. `store` may throw (memory) only after
// taking back what it filed of that entry; `sort` then still runs, so the
// tables keep the order lookups need with every entry stored before.
template <typename Store, typename Sort>
void readLutSection(Hdr10Lut& lut, Json::Value& section, const LutSectionLayout& layout,
                    PresetLoadReport* report, Store store, Sort sort) {
    SectionReport tally(report, layout.section);
    try {
        for (Json::Value& entry : section) {
            tally.beginEntry();
            PresetRejectReason reason;
            const char* key = "";
            if (!lut.validateJsonLut(entry, layout.name, layout.points, reason, key)) {
                tally.reject(reason, key);
                continue;
            }
            const int t = lut.getTransferFunctionType(entry);
            if (t < 0) {
                tally.reject(PresetRejectReason::kUnknownTransfer, "function");
                continue;
            }
            if (const char* failed = firstUnconvertible(entry, layout)) {
                tally.reject(PresetRejectReason::kNotConvertible, failed);
                continue;
            }
            store(entry, t);
            tally.stored();
        }
    } catch (...) {
        sort();
        throw;
    }
    sort();
}

// The words of a checked entry's arrays, unchanged: all x-values, then all
// y-values.
std::vector<unsigned int> lutWords(const Json::Value& entry, unsigned long points) {
    std::vector<unsigned int> words;
    words.reserve(2 * points);
    readSingleValues(words, entry["x-values"]);
    readSingleValues(words, entry["y-values"]);
    return words;
}

}  // namespace

const char* presetSectionKey(PresetSection section) {
    switch (section) {
        case PresetSection::kEotf:
            return "eotf";
        case PresetSection::kOetf:
            return "oetf";
        case PresetSection::kGamutMapping:
            return "gamut_mapping";
    }
    return "";
}

bool Hdr10Lut::load(const char* path) {
    PresetLoadReport report;
    return loadReporting(path, report);
}

bool Hdr10Lut::loadReporting(const char* path, PresetLoadReport& report) {
    report = PresetLoadReport{};
    if (path == nullptr) {
        report.outcome = PresetLoadOutcome::kNoPath;
        return false;
    }
    try {
        std::ifstream stream(path);
        if (!stream.is_open()) {
            kestrel::diag::printOpenFailed(path);
            report.outcome = PresetLoadOutcome::kCannotOpen;
            return false;
        }

        // A file that does not parse stores nothing: half a preset would give
        // some layers tables and silently drop the rest.
        Json::Value root;
        std::string errors;
        bool parsed = false;
        try {
            Json::CharReaderBuilder builder;
            parsed = Json::parseFromStream(builder, stream, &root, &errors);
        } catch (const std::exception& e) {
            // The parser throws rather than reports when nesting is too deep.
            errors = e.what();
        }
        if (!parsed) {
            kestrel::diag::logPresetParseFailed(path, oneLine(errors).c_str());
            report.outcome = PresetLoadOutcome::kCannotParse;
            return false;
        }
        if (!root.isObject() && !root.isNull()) {
            kestrel::diag::logPresetTopLevelNotObject(path);
            report.outcome = PresetLoadOutcome::kNotAnObject;
            return false;
        }

        std::lock_guard<std::mutex> lock(loadMutex);
        initializeEotf(root["eotf"], &report);
        initializeOetf(root["oetf"], &report);
        initializeGamutMapping(root["gamut_mapping"], &report);
        return true;
    } catch (const std::exception& e) {
        // Only running out of memory gets here; every entry stored so far is
        // whole and the tables are sorted.
        report.outcome = PresetLoadOutcome::kInterrupted;
        kestrel::diag::logPresetLoadInterrupted(path, e.what());
    } catch (...) {
        report.outcome = PresetLoadOutcome::kInterrupted;
        kestrel::diag::logPresetLoadInterrupted(path);
    }
    return false;
}

void Hdr10Lut::initializeEotf(Json::Value& section, PresetLoadReport* report) {
    readLutSection(
        *this, section, kEotfLayout, report,
        [this](const Json::Value& e, int t) {
            // Built whole, then appended in one step.
            eotfTables[t].push_back(
                LutEntry{e.get("max_luminance", 4000).asUInt(), lutWords(e, kEotfPoints)});
        },
        [this] { sortEotfTables(eotfTables); });
}

void Hdr10Lut::initializeOetf(Json::Value& section, PresetLoadReport* report) {
    readLutSection(
        *this, section, kOetfLayout, report,
        [this](Json::Value& entry, int t) {
            const Json::Value& e = entry;
            const unsigned int productPeak = e.get("product_peak", 0).asUInt();
            const unsigned int maxLuminance = e.get("max_luminance", 0).asUInt();
            if (!e.get("default", false).asBool()) {
                registerSingleOetf(entry, t, productPeak, maxLuminance);
                return;
            }
            // A default entry is also what a target of unknown peak (root 0)
            // gets for any content (luminance 0 is below every request).
            std::vector<OetfRoot>& table = oetfTables[t];
            const size_t rootsBefore = table.size();
            registerSingleOetf(entry, t, 0, 0);
            try {
                registerSingleOetf(entry, t, productPeak, maxLuminance);
            } catch (...) {
                // Take the first copy back out: the entry is stored whole or
                // not at all. The failed call changed nothing.
                if (table.size() > rootsBefore) {
                    table.pop_back();
                } else {
                    for (OetfRoot& root : table) {
                        if (root.productPeak == 0) {
                            root.entries.pop_back();
                            break;
                        }
                    }
                }
                throw;
            }
        },
        [this] { sortOetfTables(oetfTables); });
}

// The entry has passed the loader's checks: both arrays hold words.
void Hdr10Lut::registerSingleOetf(Json::Value& entry, unsigned int transfer,
                                  unsigned int productPeak, unsigned int maxLuminance) {
    LutEntry lut{maxLuminance, lutWords(entry, kOetfPoints)};

    std::vector<OetfRoot>& table = oetfTables[transfer];
    for (OetfRoot& root : table) {
        if (root.productPeak == productPeak) {
            root.entries.push_back(std::move(lut));
            return;
        }
    }
    // A new root is appended already holding its entry, so no root is ever
    // left empty, even when an allocation fails.
    OetfRoot root{productPeak, {}};
    root.entries.push_back(std::move(lut));
    table.push_back(std::move(root));
}

void Hdr10Lut::initializeGamutMapping(Json::Value& section, PresetLoadReport* report) {
    SectionReport tally(report, PresetSection::kGamutMapping);
    for (Json::Value& entry : section) {
        tally.beginEntry();
        const Json::Value& e = entry;
        if (!isEntry(e, "gamut_mapping")) {
            tally.reject(PresetRejectReason::kNotAnObject);
            continue;
        }
        if (!e.isMember("source") || !e.isMember("target")) {
            kestrel::diag::logGamutSourceOrTargetMissing();
            tally.reject(PresetRejectReason::kMissingMember,
                         e.isMember("source") ? "target" : "source");
            continue;
        }
        if (!isStringMember(e, "source", "gamut_mapping")) {
            tally.reject(PresetRejectReason::kNotAString, "source");
            continue;
        }
        if (!isStringMember(e, "target", "gamut_mapping")) {
            tally.reject(PresetRejectReason::kNotAString, "target");
            continue;
        }
        const std::string source = e["source"].asString();
        const std::string target = e["target"].asString();
        const int sourceRow = findName(standardNames, kNumStandards, source);
        const int targetRow = findName(standardNames, kNumStandards, target);
        if (sourceRow < 0 || targetRow < 0) {
            kestrel::diag::logUnknownGamutConversion(source.c_str(), target.c_str());
            tally.reject(PresetRejectReason::kUnknownConversion,
                         sourceRow < 0 ? "source" : "target");
            continue;
        }
        const Json::Value& values = e["values"];
        if (values.size() != 9) {
            kestrel::diag::logWrongGamutValueCount(source.c_str(), target.c_str());
            tally.reject(PresetRejectReason::kWrongValueCount, "values");
            continue;
        }
        if (!elementsConvert(e, "values", "gamut_mapping", JsonKind::kInt32)) {
            tally.reject(PresetRejectReason::kNotConvertible, "values");
            continue;
        }

        GamutMappingEntry mapping{
            standardNames[sourceRow].value, standardNames[targetRow].value, {}};
        int* coefficient = mapping.matrix;
        for (auto it = values.begin(); it != values.end(); ++it) *coefficient++ = it->asInt();
        gamutMappings.push_back(mapping);
        tally.stored();
    }
}

bool Hdr10Lut::validateJsonLut(Json::Value& entry, const char* sectionName, unsigned long count,
                               PresetRejectReason& reason, const char*& key) {
    const Json::Value& e = entry;
    key = "";
    if (!isEntry(e, sectionName)) {
        reason = PresetRejectReason::kNotAnObject;
        return false;
    }
    if (!e.isMember("function")) {
        kestrel::diag::logEntryWithoutFunction(sectionName);
        reason = PresetRejectReason::kMissingMember;
        key = "function";
        return false;
    }
    // A missing or scalar member has size 0.
    const unsigned int xSize = e["x-values"].size();
    const unsigned int ySize = e["y-values"].size();
    if (xSize != count || ySize != count) {
        kestrel::diag::logWrongLutPointCount(sectionName, xSize, ySize);
        reason = PresetRejectReason::kWrongPointCount;
        key = xSize != count ? "x-values" : "y-values";
        return false;
    }
    if (isStringMember(e, "function", sectionName)) return true;
    reason = PresetRejectReason::kNotAString;
    key = "function";
    return false;
}

int Hdr10Lut::getTransferFunctionType(Json::Value& entry) {
    const Json::Value& e = entry;
    // The loader has validated the entry; this guard keeps any other caller
    // clear of the library's type assertions.
    if (!e.isObject() || !e["function"].isString()) return -1;
    const std::string function = e["function"].asString();
    const int row = findName(transferNames, kNumTransfers, function);
    if (row < 0) {
        kestrel::diag::logUnknownTransfer(function.c_str());
        return -1;
    }
    return static_cast<int>(transferNames[row].value >> 22);
}
