// SPDX-License-Identifier: Apache-2.0
// What one load of a preset file did, for callers inside the project (the
// workbench's preset gate): the outcome, how many entries each section gave
// the store and why each rejected entry was skipped. Internal: the plug-in
// exports nothing of it, and the loader's log lines stay what they are.
#pragma once

#include <string>
#include <vector>

// The top-level sections the loader reads, in the order it reads them.
enum class PresetSection { kEotf, kOetf, kGamutMapping };
constexpr unsigned kNumPresetSections = 3;
// The section's key in a preset file: "eotf", "oetf", "gamut_mapping".
const char* presetSectionKey(PresetSection section);

enum class PresetLoadOutcome {
    kLoaded,       // the file was read; each entry was stored or rejected
    kNoPath,       // a null path
    kCannotOpen,   // nothing stored
    kCannotParse,  // not JSON; nothing stored
    kNotAnObject,  // the top level is neither an object nor null; nothing stored
    kInterrupted,  // memory ran out part-way; the entries stored until then stay
};

// Why the loader skipped an entry. `key` in the rejection names the member
// concerned where there is one.
enum class PresetRejectReason {
    kNotAnObject,        // the entry itself
    kMissingMember,      // "function", or "source"/"target" of a gamut mapping
    kNotAString,         // key: "function", "source" or "target"
    kWrongPointCount,    // "x-values"/"y-values" do not hold kEotfPoints or kOetfPoints words
    kUnknownTransfer,    // "function" names no transfer
    kNotConvertible,     // key: the member (or array) whose value cannot be read as its type
    kUnknownConversion,  // "source" or "target" names no colour standard
    kWrongValueCount,    // "values" of a gamut mapping do not hold 9 numbers
};

struct PresetRejection {
    PresetSection section;
    unsigned index;  // position of the entry in its section, from 0
    PresetRejectReason reason;
    std::string key;
};

struct PresetLoadReport {
    PresetLoadOutcome outcome = PresetLoadOutcome::kLoaded;
    // Entries of the file stored, per section (a default OETF entry, filed
    // twice, counts once).
    unsigned stored[kNumPresetSections] = {};
    std::vector<PresetRejection> rejected;

    unsigned storedTotal() const { return stored[0] + stored[1] + stored[2]; }
};
