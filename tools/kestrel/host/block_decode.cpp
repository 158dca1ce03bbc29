// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/host/block_decode.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "analysis/tone_curve.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

namespace {

constexpr int kPointsPerLine = 6;

bool allZero(const void* words, size_t bytes) {
    const auto* p = static_cast<const unsigned char*>(words);
    return std::all_of(p, p + bytes, [](unsigned char c) { return c == 0; });
}

// Says whether a section is worth printing; prints why not if it is not.
bool sectionChanged(std::ostream& out, const char* name, const void* now, const void* before,
                    size_t bytes) {
    if (before != nullptr && std::memcmp(now, before, bytes) == 0) {
        out << "  " << name << ": unchanged since the previous frame\n";
        return false;
    }
    if (allZero(now, bytes)) {
        out << "  " << name << ": all words 0\n";
        return false;
    }
    return true;
}

// A table of n x-values followed by n y-values, as (x, y) points.
void printPoints(std::ostream& out, const uint32_t* words, int n) {
    for (int i = 0; i < n; i++) {
        char point[48];
        std::snprintf(point, sizeof point, "(%u, %u)", words[i], words[n + i]);
        const bool lineStart = i % kPointsPerLine == 0;
        out << (lineStart ? (i == 0 ? "    " : "\n    ") : " ") << point;
    }
    out << "\n";
}

}  // namespace

void describeBlock(std::ostream& out, const hdrCoef& block, const hdrCoef* previous) {
    out << "  flags: coef " << block.coefFlag << ", oetf " << block.oetfFlag << ", eotf "
        << block.eotfFlag << ", gamut " << block.gamutFlag << ", tone " << block.toneFlag << "\n";

    if (sectionChanged(out, "EOTF table", block.eotfTable, previous ? previous->eotfTable : nullptr,
                       sizeof block.eotfTable)) {
        out << "  EOTF table, 65 points (x, y):\n";
        printPoints(out, block.eotfTable, 65);
    }

    if (sectionChanged(out, "gamut matrix", block.gamutMatrix,
                       previous ? previous->gamutMatrix : nullptr, sizeof block.gamutMatrix)) {
        out << "  gamut matrix:\n";
        for (int row = 0; row < 3; row++) {
            char line[64];
            std::snprintf(line, sizeof line, "    [%11d %11d %11d ]\n", block.gamutMatrix[row * 3],
                          block.gamutMatrix[row * 3 + 1], block.gamutMatrix[row * 3 + 2]);
            out << line;
        }
    }

    if (sectionChanged(out, "OETF table", block.oetfTable, previous ? previous->oetfTable : nullptr,
                       sizeof block.oetfTable)) {
        out << "  OETF table, 33 points (x, y):\n";
        printPoints(out, block.oetfTable, 33);
    }

    uint32_t tone[66];
    uint32_t previousTone[66];
    std::memcpy(tone, block.toneX, sizeof block.toneX);
    std::memcpy(tone + 33, block.toneY, sizeof block.toneY);
    if (previous != nullptr) {
        std::memcpy(previousTone, previous->toneX, sizeof previous->toneX);
        std::memcpy(previousTone + 33, previous->toneY, sizeof previous->toneY);
    }
    if (sectionChanged(out, "tone-mapping table", tone, previous ? previousTone : nullptr,
                       sizeof tone)) {
        out << "  tone-mapping table, 32 points (input of 2^27, gain of 1048575):\n";
        for (int i = 0; i < 32; i++) {
            char line[96];
            std::snprintf(line, sizeof line, "    %2d: %10u  %-11.5g  %10d  %.6f\n", i,
                          block.toneX[i], block.toneX[i] / kTableInputScale,
                          static_cast<int32_t>(block.toneY[i]),
                          static_cast<int32_t>(block.toneY[i]) / kUnitGain);
            out << line;
        }
        // The last entry is the width and rise of the last segment, modulo
        // 2^32: a falling gain is stored as the two's complement of the fall.
        uint32_t endX = block.toneX[31] + block.toneX[32];
        uint32_t endY = block.toneY[31] + block.toneY[32];
        char line[160];
        std::snprintf(line, sizeof line,
                      "    last segment: width %u, rise %d (words %u, %u), ending at (%u, %d)\n",
                      block.toneX[32], static_cast<int32_t>(block.toneY[32]), block.toneX[32],
                      block.toneY[32], endX, static_cast<int32_t>(endY));
        out << line;
    }
}

}  // namespace kestrel::tool
