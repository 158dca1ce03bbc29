// Loading a JSON preset file into the store.
//
// Every entry is checked completely before anything of it is stored, so an
// entry is either stored whole or not at all, and nothing in a file can make
// the JSON library throw: every value is type-checked against what its
// conversion accepts before it is converted. The checks that name a missing
// key, a wrong size or an unknown name run first and in a fixed order; the
// type checks that keep the conversions safe come after them.
#include <android/log.h>
#include <json/json.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <fstream>
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

using kestrel::diag::kLogTag;

// Appends the words of a checked LUT array, unchanged: the store keeps what
// the file says, the hardware's word layout is the file's business.
void readSingleValues(std::vector<unsigned int>& words, Json::Value& array) {
    const Json::Value& elements = array;
    for (auto it = elements.begin(); it != elements.end(); ++it) words.push_back(it->asUInt());
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
    // For a chain of checks: true, with the key noted, when `passed` is false.
    bool failed(bool passed, const char* key) {
        if (!passed) mFailedKey = key;
        return !passed;
    }
    void rejectUnconvertible() { reject(PresetRejectReason::kNotConvertible, mFailedKey); }

private:
    PresetLoadReport* mReport;
    PresetSection mSection;
    unsigned mEntries = 0;  // entries begun so far
    unsigned mIndex = 0;    // position of the current one
    const char* mFailedKey = "";
};

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
            __android_log_print(ANDROID_LOG_ERROR, kLogTag, "failed to parse '%s': %s", path,
                                oneLine(errors).c_str());
            report.outcome = PresetLoadOutcome::kCannotParse;
            return false;
        }
        if (!root.isObject() && !root.isNull()) {
            __android_log_print(ANDROID_LOG_ERROR, kLogTag,
                                "the top level of '%s' is not an object", path);
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
        __android_log_print(ANDROID_LOG_ERROR, kLogTag, "failed to load '%s': %s", path, e.what());
    } catch (...) {
        report.outcome = PresetLoadOutcome::kInterrupted;
        __android_log_print(ANDROID_LOG_ERROR, kLogTag, "failed to load '%s'", path);
    }
    return false;
}

void Hdr10Lut::initializeEotf(Json::Value& section, PresetLoadReport* report) {
    SectionReport tally(report, PresetSection::kEotf);
    try {
        for (Json::Value& entry : section) {
            tally.beginEntry();
            PresetRejectReason reason;
            const char* key = "";
            if (!validateJsonLut(entry, "eotf", kestrel::kEotfPoints, reason, key)) {
                tally.reject(reason, key);
                continue;
            }
            const int t = getTransferFunctionType(entry);
            if (t < 0) {
                tally.reject(PresetRejectReason::kUnknownTransfer, "function");
                continue;
            }
            const Json::Value& e = entry;
            if (tally.failed(optionalMemberConverts(e, "max_luminance", "eotf", JsonKind::kUInt32),
                             "max_luminance") ||
                tally.failed(elementsConvert(e, "x-values", "eotf", JsonKind::kUInt32),
                             "x-values") ||
                tally.failed(elementsConvert(e, "y-values", "eotf", JsonKind::kUInt32),
                             "y-values")) {
                tally.rejectUnconvertible();
                continue;
            }

            // Built whole, then appended in one step.
            LutEntry lut{e.get("max_luminance", 4000).asUInt(), {}};
            lut.values.reserve(2 * kestrel::kEotfPoints);
            readSingleValues(lut.values, entry["x-values"]);
            readSingleValues(lut.values, entry["y-values"]);
            eotfTables[t].push_back(std::move(lut));
            tally.stored();
        }
    } catch (...) {
        sortEotfTables(eotfTables);
        throw;
    }
    sortEotfTables(eotfTables);
}

void Hdr10Lut::initializeOetf(Json::Value& section, PresetLoadReport* report) {
    SectionReport tally(report, PresetSection::kOetf);
    try {
        for (Json::Value& entry : section) {
            tally.beginEntry();
            PresetRejectReason reason;
            const char* key = "";
            if (!validateJsonLut(entry, "oetf", kestrel::kOetfPoints, reason, key)) {
                tally.reject(reason, key);
                continue;
            }
            const int t = getTransferFunctionType(entry);
            if (t < 0) {
                tally.reject(PresetRejectReason::kUnknownTransfer, "function");
                continue;
            }
            const Json::Value& e = entry;
            if (tally.failed(optionalMemberConverts(e, "product_peak", "oetf", JsonKind::kUInt32),
                             "product_peak") ||
                tally.failed(optionalMemberConverts(e, "max_luminance", "oetf", JsonKind::kUInt32),
                             "max_luminance") ||
                tally.failed(optionalMemberConverts(e, "default", "oetf", JsonKind::kBool),
                             "default") ||
                tally.failed(elementsConvert(e, "x-values", "oetf", JsonKind::kUInt32),
                             "x-values") ||
                tally.failed(elementsConvert(e, "y-values", "oetf", JsonKind::kUInt32),
                             "y-values")) {
                tally.rejectUnconvertible();
                continue;
            }

            const unsigned int productPeak = e.get("product_peak", 0).asUInt();
            const unsigned int maxLuminance = e.get("max_luminance", 0).asUInt();
            if (!e.get("default", false).asBool()) {
                registerSingleOetf(entry, t, productPeak, maxLuminance);
                tally.stored();
                continue;
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
            tally.stored();
        }
    } catch (...) {
        sortOetfTables(oetfTables);
        throw;
    }
    sortOetfTables(oetfTables);
}

// The entry has passed the loader's checks: both arrays hold words.
void Hdr10Lut::registerSingleOetf(Json::Value& entry, unsigned int transfer,
                                  unsigned int productPeak, unsigned int maxLuminance) {
    LutEntry lut{maxLuminance, {}};
    lut.values.reserve(2 * kestrel::kOetfPoints);
    readSingleValues(lut.values, entry["x-values"]);
    readSingleValues(lut.values, entry["y-values"]);

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
            __android_log_print(ANDROID_LOG_ERROR, kLogTag,
                                "source or target is not specified in gamut_mapping");
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
            __android_log_print(ANDROID_LOG_ERROR, kLogTag,
                                "unknown gamut range conversion: %s -> %s", source.c_str(),
                                target.c_str());
            tally.reject(PresetRejectReason::kUnknownConversion,
                         sourceRow < 0 ? "source" : "target");
            continue;
        }
        const Json::Value& values = e["values"];
        if (values.size() != 9) {
            __android_log_print(ANDROID_LOG_ERROR, kLogTag, "invalid number of values in: %s -> %s",
                                source.c_str(), target.c_str());
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
        __android_log_print(ANDROID_LOG_ERROR, kLogTag, "an entry of '%s' does not have 'function'",
                            sectionName);
        reason = PresetRejectReason::kMissingMember;
        key = "function";
        return false;
    }
    // A missing or scalar member has size 0.
    const unsigned int xSize = e["x-values"].size();
    const unsigned int ySize = e["y-values"].size();
    if (xSize != count || ySize != count) {
        __android_log_print(ANDROID_LOG_ERROR, kLogTag, "invalid number of %s LUT values: %u, %u",
                            sectionName, xSize, ySize);
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
        __android_log_print(ANDROID_LOG_ERROR, kLogTag, "unknown Transfer %s", function.c_str());
        return -1;
    }
    return static_cast<int>(transferNames[row].value >> 22);
}
