// SPDX-License-Identifier: Apache-2.0
// Construction, the lookups the conversion writer runs per layer, and the
// dumps of the stored tables. Loading lives in Hdr10Lut_load.cpp.
#include "preset/Hdr10Lut.h"

#include "common/diagnostics.h"
#include "plugin/hdrCoef.h"

namespace {

constexpr const char* kNoPresetFile = "no hdr10 preset file";

// The transfer index of a dataspace: bits 22..26. Only 0..8 have tables.
unsigned int transferIndex(unsigned int dataspace) { return (dataspace >> 22) & 0x1f; }

// The first position whose key is >= the requested luminance, else the last
// one. The tables are sorted by key at load time, so the first match is the
// entry with the smallest key not below the request; a request above every
// key falls back to the greatest key. The range must not be empty.
template <typename Iterator, typename KeyOf>
Iterator firstNotBelow(Iterator first, Iterator last, unsigned int luminance, KeyOf keyOf) {
    for (Iterator it = first; it != last; ++it) {
        if (keyOf(*it) >= luminance) return it;
    }
    return last - 1;
}

// Reads a word for a dump. Loaded entries always hold every word of their
// section (x-values, then y-values); a store filled by hand may not, and a
// dump must not read past it.
unsigned int wordAt(const std::vector<unsigned int>& values, size_t index) {
    return index < values.size() ? values[index] : 0;
}

const char* standardName(unsigned int standard) {
    unsigned int row = standard >> 16;
    return row < kNumStandards ? standardNames[row].name : "unknown";
}

int field10(unsigned int word) { return static_cast<int>(word & 0x3ff); }
int field16(unsigned int word) { return static_cast<int>(word & 0xffff); }

}  // namespace

Hdr10Lut::Hdr10Lut() {
    kestrel::diag::logPresetSource(kNoPresetFile);
    showEotf();
    showOetf();
    showGM();
}

Hdr10Lut::Hdr10Lut(const char* presetPath) {
    kestrel::diag::logPresetSource(presetPath != nullptr ? presetPath : kNoPresetFile);
    load(presetPath);
    showEotf();
    showOetf();
    showGM();
}

Hdr10Lut::~Hdr10Lut() = default;

Hdr10Lut::EotfPosition Hdr10Lut::getEotf(unsigned int dataspace, unsigned int luminance) {
    unsigned int t = transferIndex(dataspace);
    if (t >= kNumTransfers) {
        kestrel::diag::logUnsupportedDataspace(dataspace, "EOTF");
        return eotfNoMatch();
    }
    std::vector<LutEntry>& table = eotfTables[t];
    if (table.empty()) {
        kestrel::diag::logNoTable("EOTF", transferNames[t].name);
        return eotfNoMatch();
    }
    return firstNotBelow(table.begin(), table.end(), luminance,
                         [](const LutEntry& e) { return e.luminance; });
}

Hdr10Lut::OetfRootPosition Hdr10Lut::getOetfRoot(unsigned int dataspace, unsigned int luminance) {
    unsigned int t = transferIndex(dataspace);
    if (t >= kNumTransfers) {
        kestrel::diag::logUnsupportedDataspace(dataspace, "OETF");
        return oetfNoMatch();
    }
    std::vector<OetfRoot>& table = oetfTables[t];
    if (table.empty()) {
        kestrel::diag::logNoTable("OETF", transferNames[t].name);
        return oetfNoMatch();
    }
    return firstNotBelow(table.begin(), table.end(), luminance,
                         [](const OetfRoot& r) { return r.productPeak; });
}

Hdr10Lut::EotfPosition Hdr10Lut::getOetf(OetfRootPosition root, unsigned int luminance) {
    std::vector<LutEntry>& entries = root->entries;
    // A loaded root always holds an entry; a root filled by hand without one
    // has nothing to return but its end.
    if (entries.empty()) return entries.end();
    return firstNotBelow(entries.begin(), entries.end(), luminance,
                         [](const LutEntry& e) { return e.luminance; });
}

Hdr10Lut::GamutPosition Hdr10Lut::getGamutMapping(unsigned int source, unsigned int target) {
    // Only the colour standards take part: transfer and range do not change
    // the primaries a matrix converts between.
    const unsigned int sourceStandard = source & 0x3f0000;
    const unsigned int targetStandard = target & 0x3f0000;
    for (GamutPosition it = gamutMappings.begin(); it != gamutMappings.end(); ++it) {
        if (it->source == sourceStandard && it->target == targetStandard) return it;
    }
    return gamutNoMatch();
}

// An EOTF maps a 10-bit code (x) to 16-bit linear light (y); words 0/65 are
// the first point and 64/129 the last.
void Hdr10Lut::showEotf() {
    constexpr size_t n = kestrel::kEotfPoints;
    for (unsigned int t = 0; t < kNumTransfers; t++) {
        for (const LutEntry& e : eotfTables[t]) {
            kestrel::diag::printEotfEntry(
                transferNames[t].name, e.luminance, field10(wordAt(e.values, 0)),
                field16(wordAt(e.values, n)), field10(wordAt(e.values, n - 1)),
                field16(wordAt(e.values, 2 * n - 1)));
        }
    }
}

// An OETF maps 16-bit linear light (x) to a 10-bit code (y); words 0/33 are
// the first point and 32/65 the last.
void Hdr10Lut::showOetf() {
    constexpr size_t n = kestrel::kOetfPoints;
    for (unsigned int t = 0; t < kNumTransfers; t++) {
        for (const OetfRoot& root : oetfTables[t]) {
            for (const LutEntry& e : root.entries) {
                kestrel::diag::printOetfEntry(
                    transferNames[t].name, root.productPeak, e.luminance,
                    field16(wordAt(e.values, 0)), field10(wordAt(e.values, n)),
                    field16(wordAt(e.values, n - 1)), field10(wordAt(e.values, 2 * n - 1)));
            }
        }
    }
}

void Hdr10Lut::showGM() {
    for (const GamutMappingEntry& g : gamutMappings) {
        kestrel::diag::printGamutEntry(standardName(g.source), standardName(g.target), g.matrix[0],
                                       g.matrix[8]);
    }
}
