// SPDX-License-Identifier: Apache-2.0
// The HDR10 preset store: EOTF tables, OETF tables and gamut-mapping
// matrices keyed by dataspace fields and luminance, filled from JSON preset
// files. The words are kept exactly as the file gives them; the conversion
// writer copies them unchanged into the coefficient block.
#pragma once

#include <mutex>
#include <vector>

#include "common/export.h"
#include "preset/load_report.h"

namespace Json {
class Value;
}

typedef unsigned int android_dataspace_t;

// One table keyed by a luminance in nits: all x-values, then all y-values.
struct LutEntry {
    unsigned int luminance;
    std::vector<unsigned int> values;
};

// The OETF entries filed under one product peak, sorted by luminance.
struct OetfRoot {
    unsigned int productPeak;
    std::vector<LutEntry> entries;
};

struct GamutMappingEntry {
    unsigned int source;  // standard field, bits 16..21
    unsigned int target;
    int matrix[9];
};

struct DataspaceName {
    android_dataspace_t value;
    const char* name;
};

// Row i is transfer index i (value >> 22); row r of the standards is value >> 16.
constexpr unsigned kNumTransfers = 9;
constexpr unsigned kNumStandards = 12;
extern const DataspaceName transferNames[kNumTransfers];
extern const DataspaceName standardNames[kNumStandards];

class Hdr10Lut {
public:
    using EotfPosition = std::vector<LutEntry>::iterator;
    using OetfRootPosition = std::vector<OetfRoot>::iterator;
    using GamutPosition = std::vector<GamutMappingEntry>::iterator;

    // An empty store; logs that no preset file is in use and dumps.
    KESTREL_EXPORT Hdr10Lut();
    // Logs the path, loads the preset file and dumps what it holds.
    KESTREL_EXPORT explicit Hdr10Lut(const char* presetPath);
    KESTREL_EXPORT ~Hdr10Lut();
    Hdr10Lut(const Hdr10Lut&) = delete;
    Hdr10Lut& operator=(const Hdr10Lut&) = delete;

    // First entry whose luminance is >= the request, else the last entry;
    // eotfNoMatch() when the transfer is unsupported or its table empty.
    KESTREL_EXPORT EotfPosition getEotf(unsigned int dataspace, unsigned int luminance);
    KESTREL_EXPORT OetfRootPosition getOetfRoot(unsigned int dataspace, unsigned int luminance);
    // The same rule within a root; a loaded root always has an entry (a root
    // filled by hand without one yields its entries' end).
    KESTREL_EXPORT EotfPosition getOetf(OetfRootPosition root, unsigned int luminance);
    KESTREL_EXPORT GamutPosition getGamutMapping(unsigned int source, unsigned int target);

    EotfPosition eotfNoMatch() { return eotfTables[0].end(); }
    OetfRootPosition oetfNoMatch() { return oetfTables[0].end(); }
    GamutPosition gamutNoMatch() { return gamutMappings.end(); }

    KESTREL_EXPORT void showEotf();
    KESTREL_EXPORT void showOetf();
    KESTREL_EXPORT void showGM();

    // Adds the entries of a JSON preset file. Entries that fail a check are
    // logged and skipped, each one whole. False, with nothing of the file
    // stored, when the file cannot be opened or parsed or its top level is
    // not an object; false also when memory runs out part-way (the entries
    // stored until then stay). Never throws.
    KESTREL_EXPORT bool load(const char* path);
    // load(), which calls it, and in `report` what it stored and rejected.
    // Not exported.
    bool loadReporting(const char* path, PresetLoadReport& report);

    // Each section's entries; `report`, when given, counts what was stored
    // and collects the rejections.
    void initializeEotf(Json::Value& section, PresetLoadReport* report = nullptr);
    void initializeOetf(Json::Value& section, PresetLoadReport* report = nullptr);
    void initializeGamutMapping(Json::Value& section, PresetLoadReport* report = nullptr);
    // False, with `reason` and `key` set, when the entry is rejected.
    bool validateJsonLut(Json::Value& entry, const char* sectionName, unsigned long count,
                         PresetRejectReason& reason, const char*& key);
    int getTransferFunctionType(Json::Value& entry);
    void registerSingleOetf(Json::Value& entry, unsigned int transfer, unsigned int productPeak,
                            unsigned int maxLuminance);

    std::vector<LutEntry> eotfTables[kNumTransfers];
    std::vector<OetfRoot> oetfTables[kNumTransfers];
    std::vector<GamutMappingEntry> gamutMappings;
    std::mutex loadMutex;
};
