// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/analyze/metadata_check.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "picture/pq.h"

namespace kestrel::tool {

namespace {

constexpr double kPqCodes = 1023.0;  // 10-bit signal

double toNits(uint32_t code) { return code / 10.0; }

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", v);
    return text;
}

// The source peak the plug-in takes from the metadata: the brightest
// maxscl, capped by the 99 % entry when the distribution ends with one.
uint32_t statedPeak(const picture::DecodedHdr10Plus& m) {
    uint32_t peak = std::max(m.maxscl[0], std::max(m.maxscl[1], m.maxscl[2]));
    if (!m.distribution.empty() && m.distribution.back().first == 99)
        peak = std::min(peak, m.distribution.back().second);
    return peak;
}

// The same source peak from the measured statistics: what metadata that
// states them exactly gives the plug-in.
uint32_t measuredPeak(const measure::LuminanceStatistics& s) {
    static_assert(measure::kPercentages.back() == 99, "the distribution ends with 99 %");
    const uint32_t brightest = std::max(s.maxscl[0], std::max(s.maxscl[1], s.maxscl[2]));
    return std::min(brightest, s.percentiles.back());
}

bool sameMetadata(const picture::DecodedHdr10Plus& a, const picture::DecodedHdr10Plus& b) {
    return a.targetedPeak == b.targetedPeak && std::equal(a.maxscl, a.maxscl + 3, b.maxscl) &&
           a.averageMaxRgb == b.averageMaxRgb && a.distribution == b.distribution &&
           a.brightFraction == b.brightFraction && a.toneMapping == b.toneMapping &&
           a.kneeX == b.kneeX && a.kneeY == b.kneeY && a.anchors == b.anchors;
}

CheckFinding finding(CheckKind kind, unsigned picture, double measured, double stated,
                     std::string text, unsigned percentage = 0) {
    CheckFinding f;
    f.kind = kind;
    f.first = f.last = f.picture = picture;
    f.percentage = percentage;
    f.measuredNits = measured;
    f.statedNits = stated;
    f.codes = pqCodes(measured) - pqCodes(stated);
    f.text = std::move(text);
    return f;
}

}  // namespace

const char* checkKindName(CheckKind kind) {
    switch (kind) {
        case CheckKind::Understated:
            return "understated";
        case CheckKind::Overstated:
            return "overstated";
        case CheckKind::Percentile:
            return "percentile";
        case CheckKind::UnchangedAtCut:
            return "unchanged_at_cut";
        case CheckKind::JumpInShot:
            return "jump_in_shot";
        case CheckKind::Missing:
            return "missing";
    }
    return "";
}

double pqCodes(double nits) { return picture::pqInverseEotf(nits) * kPqCodes; }

std::vector<CheckFinding> checkMetadata(const ClipMeasurement& clip, double margin) {
    std::vector<CheckFinding> perPicture;
    for (unsigned i = 0; i < clip.pictures.size(); ++i) {
        const MeasuredPictureInfo& p = clip.pictures[i];
        const bool cut = i > 0 && p.shot != clip.pictures[i - 1].shot;
        if (!p.stated) {
            perPicture.push_back(finding(CheckKind::Missing, i, 0, 0, "no HDR10+ metadata"));
            continue;
        }
        const picture::DecodedHdr10Plus& m = *p.stated;
        const measure::LuminanceStatistics& s = p.statistics;
        const double peak = toNits(statedPeak(m));
        const double measuredSourcePeak = toNits(measuredPeak(s));
        const double brightest = toNits(std::max(s.maxscl[0], std::max(s.maxscl[1], s.maxscl[2])));
        if (pqCodes(measuredSourcePeak) - pqCodes(peak) > margin)
            perPicture.push_back(finding(CheckKind::Understated, i, measuredSourcePeak, peak,
                                         "highlights clipped: source peak " + number(peak) +
                                             " cd/m² in the metadata, " +
                                             number(measuredSourcePeak) +
                                             " cd/m² measured (the brightest MaxScl capped by "
                                             "the 99 % entry)"));
        if (pqCodes(peak) - pqCodes(brightest) > margin)
            perPicture.push_back(finding(CheckKind::Overstated, i, brightest, peak,
                                         "source peak overstated: " + number(peak) +
                                             " cd/m² in the metadata, the brightest component "
                                             "measured " + number(brightest) + " cd/m²"));
        std::optional<CheckFinding> worst;
        for (const auto& [percentage, percentile] : m.distribution) {
            for (size_t k = 0; k < measure::kPercentages.size(); ++k) {
                if (measure::kPercentages[k] != percentage) continue;
                const double measured = toNits(s.percentiles[k]);
                const double stated = toNits(percentile);
                const double d = pqCodes(measured) - pqCodes(stated);
                if (std::fabs(d) > margin && (!worst || std::fabs(d) > std::fabs(worst->codes)))
                    worst = finding(CheckKind::Percentile, i, measured, stated,
                                    "the " + std::to_string(percentage) + " % entry is " +
                                        number(stated) + " cd/m², measured " + number(measured) +
                                        " cd/m²",
                                    percentage);
            }
        }
        if (worst) perPicture.push_back(*worst);
        if (i > 0 && clip.pictures[i - 1].stated) {
            const picture::DecodedHdr10Plus& before = *clip.pictures[i - 1].stated;
            if (cut && sameMetadata(before, m))
                perPicture.push_back(finding(CheckKind::UnchangedAtCut, i, 0, 0,
                                             "the metadata does not change at this cut"));
            const double was = toNits(statedPeak(before));
            if (!cut && std::fabs(pqCodes(peak) - pqCodes(was)) > margin)
                perPicture.push_back(finding(CheckKind::JumpInShot, i, peak, was,
                                             "the source peak jumps inside the shot from " +
                                                 number(was) + " to " + number(peak) + " cd/m²"));
        }
    }

    // Runs of one kind over consecutive pictures become one finding, with
    // the numbers of its largest difference. Cut and jump findings stay one
    // per picture: each is an event.
    std::vector<CheckFinding> merged;
    std::vector<size_t> runOf(static_cast<size_t>(CheckKind::Missing) + 1, SIZE_MAX);
    for (const CheckFinding& f : perPicture) {
        const bool event = f.kind == CheckKind::UnchangedAtCut || f.kind == CheckKind::JumpInShot;
        size_t& run = runOf[static_cast<size_t>(f.kind)];
        if (event || run == SIZE_MAX || merged[run].last + 1 != f.first) {
            run = merged.size();
            merged.push_back(f);
            continue;
        }
        CheckFinding& r = merged[run];
        r.last = f.last;
        if (std::fabs(f.codes) > std::fabs(r.codes)) {
            const unsigned first = r.first;
            r = f;
            r.first = first;
        }
    }
    std::stable_sort(merged.begin(), merged.end(),
                     [](const CheckFinding& a, const CheckFinding& b) { return a.first < b.first; });
    return merged;
}

}  // namespace kestrel::tool
