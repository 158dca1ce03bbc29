// SPDX-License-Identifier: Apache-2.0
// Arbitrary bytes as a preset file: load them (twice), check the orders that
// every lookup relies on, then run every lookup and dump on what was stored.
//
// Invariants:
//  - a load that fails stores nothing;
//  - EOTF tables sorted by luminance; OETF roots sorted by product peak, each
//    peak once, each root non-empty with its entries sorted by luminance and
//    then by their words; every EOTF entry holds 130 words, every OETF entry
//    66 (what the conversion writer copies); gamut entries hold standards;
//  - loading the same file again doubles every table and root's entries and
//    the gamut list, but adds no root;
//  - each lookup returns a position inside the table it names (or its
//    no-match position), and the first entry not below the request or else
//    the last.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "preset/Hdr10Lut.h"

namespace {

std::string gPath;

void removeFile() { unlink(gPath.c_str()); }

bool storeIsEmpty(const Hdr10Lut& s) {
    for (unsigned t = 0; t < kNumTransfers; t++) {
        if (!s.eotfTables[t].empty() || !s.oetfTables[t].empty()) return false;
    }
    return s.gamutMappings.empty();
}

void checkOrders(const Hdr10Lut& s) {
    for (unsigned t = 0; t < kNumTransfers; t++) {
        const std::vector<LutEntry>& eotf = s.eotfTables[t];
        for (size_t i = 0; i < eotf.size(); i++) {
            FUZZ_CHECK(eotf[i].values.size() == 130);
            if (i > 0) FUZZ_CHECK(eotf[i - 1].luminance <= eotf[i].luminance);
        }
        const std::vector<OetfRoot>& roots = s.oetfTables[t];
        for (size_t r = 0; r < roots.size(); r++) {
            if (r > 0) FUZZ_CHECK(roots[r - 1].productPeak < roots[r].productPeak);
            const std::vector<LutEntry>& entries = roots[r].entries;
            FUZZ_CHECK(!entries.empty());
            for (size_t i = 0; i < entries.size(); i++) {
                FUZZ_CHECK(entries[i].values.size() == 66);
                if (i == 0) continue;
                const LutEntry& a = entries[i - 1];
                const LutEntry& b = entries[i];
                FUZZ_CHECK(a.luminance < b.luminance ||
                           (a.luminance == b.luminance && a.values <= b.values));
            }
        }
    }
    for (const GamutMappingEntry& g : s.gamutMappings) {
        FUZZ_CHECK((g.source & 0xFFFF) == 0 && (g.source >> 16) < kNumStandards);
        FUZZ_CHECK((g.target & 0xFFFF) == 0 && (g.target >> 16) < kNumStandards);
    }
}

std::vector<unsigned int> probeLuminances(const Hdr10Lut& s) {
    std::vector<unsigned int> lums = {0u, 1u, 100u, 1000u, 4000u, 10000u, 0xFFFFFFFFu};
    for (unsigned t = 0; t < kNumTransfers; t++) {
        for (const LutEntry& e : s.eotfTables[t])
            lums.insert(lums.end(), {e.luminance, e.luminance + 1});
        for (const OetfRoot& r : s.oetfTables[t]) {
            lums.insert(lums.end(), {r.productPeak, r.productPeak + 1});
            for (const LutEntry& e : r.entries)
                lums.insert(lums.end(), {e.luminance, e.luminance + 1});
        }
    }
    if (lums.size() > 64) lums.resize(64);  // keep one input's work bounded
    return lums;
}

template <typename Vec, typename Pos>
bool inside(Vec& v, Pos p) {
    return p >= v.begin() && p < v.end();
}

void runLookups(Hdr10Lut& s) {
    const std::vector<unsigned int> lums = probeLuminances(s);
    for (unsigned t = 0; t < 12; t++) {
        // Range bits and an unrelated standard must not change the choice.
        const unsigned int dataspace = (t << 22) | (6u << 16) | (1u << 27);
        for (unsigned int lum : lums) {
            Hdr10Lut::EotfPosition e = s.getEotf(dataspace, lum);
            if (t >= kNumTransfers || s.eotfTables[t].empty()) {
                FUZZ_CHECK(e == s.eotfNoMatch());
            } else {
                FUZZ_CHECK(inside(s.eotfTables[t], e));
                FUZZ_CHECK(e->values.size() == 130);
                FUZZ_CHECK(e->luminance >= lum || e + 1 == s.eotfTables[t].end());
            }
            Hdr10Lut::OetfRootPosition r = s.getOetfRoot(dataspace, lum);
            if (t >= kNumTransfers || s.oetfTables[t].empty()) {
                FUZZ_CHECK(r == s.oetfNoMatch());
                continue;
            }
            FUZZ_CHECK(inside(s.oetfTables[t], r));
            FUZZ_CHECK(r->productPeak >= lum || r + 1 == s.oetfTables[t].end());
            for (unsigned int content : {0u, lum, 0xFFFFFFFFu}) {
                Hdr10Lut::EotfPosition o = s.getOetf(r, content);
                FUZZ_CHECK(inside(r->entries, o));
                FUZZ_CHECK(o->values.size() == 66);
                FUZZ_CHECK(o->luminance >= content || o + 1 == r->entries.end());
            }
        }
    }
    for (unsigned src = 0; src < 13; src++) {
        for (unsigned dst = 0; dst < 13; dst++) {
            const unsigned int srcSpace = (src << 16) | (7u << 22);
            const unsigned int dstSpace = (dst << 16) | (2u << 22) | (1u << 27);
            Hdr10Lut::GamutPosition g = s.getGamutMapping(srcSpace, dstSpace);
            if (g == s.gamutNoMatch()) continue;
            FUZZ_CHECK(inside(s.gamutMappings, g));
            FUZZ_CHECK(g->source == (src << 16) && g->target == (dst << 16));
        }
    }
    s.showEotf();
    s.showOetf();
    s.showGM();
}

struct Counts {
    size_t eotf[kNumTransfers];
    size_t roots[kNumTransfers];
    std::vector<size_t> rootEntries[kNumTransfers];
    size_t gamut;
};

Counts countsOf(const Hdr10Lut& s) {
    Counts c;
    for (unsigned t = 0; t < kNumTransfers; t++) {
        c.eotf[t] = s.eotfTables[t].size();
        c.roots[t] = s.oetfTables[t].size();
        for (const OetfRoot& r : s.oetfTables[t]) c.rootEntries[t].push_back(r.entries.size());
    }
    c.gamut = s.gamutMappings.size();
    return c;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/kestrel-preset-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) {
        std::perror("mkstemp");
        std::abort();
    }
    close(fd);
    gPath = name.data();
    std::atexit(removeFile);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* f = std::fopen(gPath.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f) == size);
    std::fclose(f);

    Hdr10Lut store;
    const bool loaded = store.load(gPath.c_str());
    if (!loaded) FUZZ_CHECK(storeIsEmpty(store));
    checkOrders(store);
    runLookups(store);

    const Counts once = countsOf(store);
    FUZZ_CHECK(store.load(gPath.c_str()) == loaded);
    checkOrders(store);
    const Counts twice = countsOf(store);
    for (unsigned t = 0; t < kNumTransfers; t++) {
        FUZZ_CHECK(twice.eotf[t] == 2 * once.eotf[t]);
        FUZZ_CHECK(twice.roots[t] == once.roots[t]);
        for (size_t r = 0; r < once.rootEntries[t].size(); r++) {
            FUZZ_CHECK(twice.rootEntries[t][r] == 2 * once.rootEntries[t][r]);
        }
    }
    FUZZ_CHECK(twice.gamut == 2 * once.gamut);
    runLookups(store);
    return 0;
}
