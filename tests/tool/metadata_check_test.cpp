// SPDX-License-Identifier: Apache-2.0
// The check of a stream's HDR10+ against statistics measured in its pictures,
// on statistics made here: no decoding.
#include "tools/kestrel/analyze/metadata_check.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kestrel::tool::test {
namespace {

// A picture whose highlights reach far above its 99th percentile, as a
// film's speculars do: maxRGB 99 % at 1000 cd/m², 99.9 % at 4000, the red
// component peaking at 5000 (all in 0.1 cd/m²).
measure::LuminanceStatistics highlights() {
    measure::LuminanceStatistics s;
    s.maxscl = {50000, 40000, 30000};
    s.averageMaxRgb = 800;
    s.percentiles = {5, 20, 50, 200, 1000, 3000, 6000, 8000, 10000};
    s.percentile98 = 9500;
    s.highlightPercentile = 40000;
    s.brightPercentile = 48000;
    s.pixels = 100;
    return s;
}

// Metadata stating `s` as analyze writes it.
picture::DecodedHdr10Plus statedAs(const measure::LuminanceStatistics& s) {
    picture::DecodedHdr10Plus m;
    m.targetedPeak = 0;
    std::copy(s.maxscl.begin(), s.maxscl.end(), m.maxscl);
    m.averageMaxRgb = s.averageMaxRgb;
    for (size_t k = 0; k < measure::kPercentages.size(); ++k)
        m.distribution.emplace_back(measure::kPercentages[k], s.percentiles[k]);
    return m;
}

ClipMeasurement onePicture(const measure::LuminanceStatistics& measured,
                           const picture::DecodedHdr10Plus& stated) {
    ClipMeasurement clip;
    MeasuredPictureInfo p;
    p.statistics = measured;
    p.measured = true;
    p.stated = stated;
    clip.pictures.push_back(p);
    clip.shots.push_back(measured);
    clip.shotStarts.push_back(0);
    return clip;
}

std::vector<CheckFinding> ofKind(const std::vector<CheckFinding>& all, CheckKind kind) {
    std::vector<CheckFinding> some;
    for (const CheckFinding& f : all)
        if (f.kind == kind) some.push_back(f);
    return some;
}

TEST(MetadataCheck, ExactMetadataPassesThoughHighlightsLieAboveTheCappedPeak) {
    // The plug-in's source peak is the brightest MaxScl capped by the 99 %
    // entry: 1000 cd/m² here, 60 PQ codes below the 99.9 % point. Metadata
    // that states the measured values exactly describes its picture.
    EXPECT_GT(pqCodes(4000) - pqCodes(1000), 60.0);
    const measure::LuminanceStatistics s = highlights();
    EXPECT_TRUE(checkMetadata(onePicture(s, statedAs(s)), kDefaultCheckMarginCodes).empty());
}

TEST(MetadataCheck, UnderstatedWhereTheStatedPeakFallsMoreThanTheMarginBelowTheMeasuredOne) {
    const measure::LuminanceStatistics s = highlights();
    // The largest 99 % entry more than 16 codes below 1000 cd/m² is flagged;
    // the one above it is not.
    uint32_t flagged = 10000;
    while (pqCodes(1000.0) - pqCodes((flagged - 1) / 10.0) <= kDefaultCheckMarginCodes) --flagged;
    --flagged;
    for (uint32_t entry : {flagged, flagged + 1}) {
        picture::DecodedHdr10Plus m = statedAs(s);
        m.distribution.back().second = entry;
        const std::vector<CheckFinding> found = ofKind(
            checkMetadata(onePicture(s, m), kDefaultCheckMarginCodes), CheckKind::Understated);
        if (entry == flagged) {
            ASSERT_EQ(found.size(), 1u) << entry;
            EXPECT_EQ(found[0].measuredNits, 1000.0);
            EXPECT_EQ(found[0].statedNits, entry / 10.0);
            EXPECT_GT(found[0].codes, kDefaultCheckMarginCodes);
        } else {
            EXPECT_TRUE(found.empty()) << entry;
        }
    }
    // A MaxScl below the 99 % entry caps the stated peak the same way.
    picture::DecodedHdr10Plus low = statedAs(s);
    low.maxscl[0] = low.maxscl[1] = low.maxscl[2] = 2000;
    const std::vector<CheckFinding> found =
        ofKind(checkMetadata(onePicture(s, low), kDefaultCheckMarginCodes), CheckKind::Understated);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].statedNits, 200.0);
    EXPECT_EQ(found[0].text,
              "highlights clipped: source peak 200.0 cd/m² in the metadata, 1000.0 cd/m² measured "
              "(the brightest MaxScl capped by the 99 % entry)");
}

}  // namespace
}  // namespace kestrel::tool::test
