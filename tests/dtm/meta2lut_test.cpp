// SPDX-License-Identifier: Apache-2.0
#include "dtm/meta2lut.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "records.h"

namespace {

constexpr unsigned kSentinel = 0xDEADBEEF;

// A record whose curve the adaptation keeps: it carries a curve (flag 1)
// made for a 1000 cd/m² display, and the target is that display.
_VelmorHdrDynamicInfo kneeExampleForTarget1000() {
    _VelmorHdrDynamicInfo r = kneeExampleRecord();
    r.targeted_system_display_maximum_luminance = 1000;
    r.maxscl[0] = r.maxscl[1] = r.maxscl[2] = 40000;
    return r;
}

struct Table {
    explicit Table(size_t size) : x(size, kSentinel), y(size, kSentinel) {}
    std::vector<unsigned> x, y;
};

Table dtm(_VelmorHdrDynamicInfo record, unsigned count, size_t room, unsigned target = 1000) {
    Table t(room);
    testing::internal::CaptureStdout();
    meta2lut_dtm(target, 4000, &record, t.x.data(), t.y.data(), count);
    testing::internal::GetCapturedStdout();
    return t;
}

Table eotf(_VelmorHdrDynamicInfo record, unsigned peak, unsigned count, size_t room) {
    Table t(room);
    meta2lut_eotf(peak, &record, t.x.data(), t.y.data(), count);
    return t;
}

_VelmorHdrDynamicInfo emptyRecord() {
    _VelmorHdrDynamicInfo r;
    std::memset(&r, 0, sizeof(r));
    return r;
}

TEST(ToneTable, KneeExampleIn33Entries) {
    const Table t = dtm(kneeExampleForTarget1000(), 33, 34);
    std::vector<unsigned> xs{0};
    for (unsigned x = 1; x <= 16777216; x *= 2) xs.push_back(x);
    for (unsigned x : {33554432u, 41943040u, 50331648u, 67108864u, 83886080u, 100663296u}) {
        xs.push_back(x);
    }
    ASSERT_EQ(xs.size(), 32u);
    for (size_t i = 0; i < 32; i++) EXPECT_EQ(t.x[i], xs[i]) << i;
    EXPECT_EQ(t.y[0], 0u);
    EXPECT_EQ(t.y[25], 1572862u);
    EXPECT_EQ(t.y[31], 1105508u);
    EXPECT_EQ(t.x[32], 33554432u);  // 2^27 - 100663296
    EXPECT_EQ(t.x[33], kSentinel);
}

TEST(ToneTable, FallingLastSegmentStoredAsTwosComplement) {
    const Table t = dtm(kneeExampleForTarget1000(), 33, 33);
    // The gain falls from 1105508 to 1048575: a rise of -56933.
    EXPECT_EQ(t.y[32], 4294910363u);
}

// Frame 57 of the HDR10+ verification clips: a 10000 cd/m² scene made for a
// 10000 cd/m² display, knee (4095, 4095) and nine anchors at 1023, that is
// the identity curve drawn entirely as the straight segment.
_VelmorHdrDynamicInfo verificationFrame57() {
    _VelmorHdrDynamicInfo r =
        curveRecord(4095, 4095, {1023, 1023, 1023, 1023, 1023, 1023, 1023, 1023, 1023});
    r.targeted_system_display_maximum_luminance = 10000;
    r.maxscl[0] = r.maxscl[1] = r.maxscl[2] = 100000;
    const uint8_t percentages[10] = {1, 5, 10, 25, 50, 75, 90, 95, 98, 99};
    r.num_distribution_maxrgb_percentiles = 10;
    for (int i = 0; i < 10; i++) {
        r.distribution_maxrgb_percentages[i] = percentages[i];
        r.distribution_maxrgb_percentiles[i] = 100000;
    }
    return r;
}

// A straight segment up to x = xMax has one gain g everywhere but at 0. Each
// split of [0, a] misses the chord by about g / 2 and every other interval by
// nothing, so the points halve toward 0 (2^26 down to 1) and the four left
// over go breadth-first to 3 * 2^22, 3 * 2^23, 3 * 2^24 and 3 * 2^25. At
// those abscissae every float step of the sampler is exact except the
// product slope * 1048575, so each sample is that product truncated, and the
// last segment, flat, rises by 0.
void expectFlatTable(const Table& t, uint32_t gain) {
    std::vector<unsigned> xs{0};
    for (unsigned x = 1; x <= 8388608; x *= 2) xs.push_back(x);
    for (unsigned x :
         {12582912u, 16777216u, 25165824u, 33554432u, 50331648u, 67108864u, 100663296u}) {
        xs.push_back(x);
    }
    ASSERT_EQ(xs.size(), 32u);
    for (size_t i = 0; i < 32; i++) {
        EXPECT_EQ(t.x[i], xs[i]) << i;
        EXPECT_EQ(t.y[i], i == 0 ? 0u : gain) << i;
    }
    EXPECT_EQ(t.x[32], 33554432u);
    EXPECT_EQ(t.y[32], 0u);
}

TEST(ToneTable, FullKneeKeepsTheSegmentGainAtThePeak) {
    // On its own display frame 57 is the identity: gain 1 up to the peak,
    // where a Bezier step would have divided 0 by 0 and fallen to black.
    expectFlatTable(dtm(verificationFrame57(), 33, 33, 10000), 1048575);
    // Knee (4095, 2000): gain 2000 / 4095 = 0.48840049f, times 1048575 is
    // 512124.53125 in float.
    _VelmorHdrDynamicInfo halfGain = kneeExampleForTarget1000();
    halfGain.knee_point_x = 4095;
    halfGain.knee_point_y = 2000;
    expectFlatTable(dtm(halfGain, 33, 33, 1000), 512124);
}

TEST(ToneTable, FullKneeAdaptedToSmallerDisplaysEndsAtTheTargetPeak) {
    // Below its targeted display the curve is adapted and ends on a Bezier
    // segment at (1, 1): the source peak maps to the target peak, a gain of 1.
    for (unsigned target : {1000u, 400u}) {
        const Table t = dtm(verificationFrame57(), 33, 33, target);
        EXPECT_EQ(t.x[31] + t.x[32], 134217728u) << target;
        EXPECT_EQ(t.y[31] + t.y[32], 1048575u) << target;
        // Shadows are lifted: well above unit gain after 0.
        for (int i = 1; i < 32; i++) EXPECT_GT(t.y[i], 1048575u) << target << " entry " << i;
    }
}

TEST(ToneTable, StraightSegmentOfADamagedKneeIsClampedAtOne) {
    // Knee y 8190 (2.0) comes through the same-display copy unchanged. The
    // slope ky / kx = 3.9990232f reaches y = 1 at t = 0.25006: 2^25 is still
    // below (gain 3.9990232 * 1048575, truncated), 2^26 is clamped and its
    // gain is 1 / 0.5 exactly.
    _VelmorHdrDynamicInfo damaged = kneeExampleForTarget1000();
    damaged.knee_point_x = 2048;
    damaged.knee_point_y = 8190;
    const Table t = dtm(damaged, 33, 33, 1000);
    auto gainAt = [&t](unsigned x) -> int64_t {
        for (int i = 0; i < 32; i++)
            if (t.x[i] == x) return t.y[i];
        return -1;
    };
    EXPECT_EQ(gainAt(33554432), 4193275);
    EXPECT_EQ(gainAt(67108864), 2097150);
}

TEST(ToneTable, PrintsTheAddressOfItsOwnCopy) {
    _VelmorHdrDynamicInfo record = kneeExampleForTarget1000();
    unsigned x[33], y[33];
    testing::internal::CaptureStdout();
    meta2lut_dtm(1000, 1000, &record, x, y, 33);
    const std::string out = testing::internal::GetCapturedStdout();
    std::istringstream lines(out);
    std::string first;
    std::getline(lines, first);
    const std::string prefix = "meta2lut_dtm(401)meta : 0x";
    ASSERT_EQ(first.compare(0, prefix.size(), prefix), 0) << first;
    const std::string digits = first.substr(prefix.size());
    EXPECT_FALSE(digits.empty());
    EXPECT_EQ(digits.find_first_not_of("0123456789abcdef"), std::string::npos) << first;
    // The working copy, not the caller's record.
    char callers[32];
    std::snprintf(callers, sizeof(callers), "%p", static_cast<void*>(&record));
    EXPECT_NE(first.substr(prefix.size() - 2), callers);
}

TEST(ToneTable, CallersRecordUnchanged) {
    // Flag 0: the adaptation generates a curve and rewrites the copy's curve fields.
    _VelmorHdrDynamicInfo record = kneeExampleForTarget1000();
    record.tone_mapping_flag = 0;
    std::memset(record.reserved0, 0x5A, sizeof(record.reserved0));
    const _VelmorHdrDynamicInfo before = record;
    unsigned x[33], y[33];
    testing::internal::CaptureStdout();
    meta2lut_dtm(600, 4000, &record, x, y, 33);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::memcmp(&record, &before, sizeof(record)), 0);
}

TEST(ToneTable, CountsBelowTwoWriteTheTwoEndEntries) {
    // 0x80000002 - 2 is INT32_MIN as an int.
    for (unsigned count : {0u, 1u, 2u, 0x80000002u, 0xFFFFFFFFu}) {
        const Table t = dtm(kneeExampleForTarget1000(), count, 4);
        EXPECT_EQ(t.x, (std::vector<unsigned>{0, 134217728, kSentinel, kSentinel})) << count;
        EXPECT_EQ(t.y, (std::vector<unsigned>{0, 1048575, kSentinel, kSentinel})) << count;
        const Table e = eotf(emptyRecord(), 4000, count, 4);
        EXPECT_EQ(e.x, (std::vector<unsigned>{0, 1024, kSentinel, kSentinel})) << count;
        EXPECT_EQ(e.y, (std::vector<unsigned>{0, 65535, kSentinel, kSentinel})) << count;
    }
}

TEST(ToneTable, NullPointersWriteNothing) {
    _VelmorHdrDynamicInfo record = kneeExampleForTarget1000();
    unsigned x[33], y[33];
    std::fill(std::begin(x), std::end(x), kSentinel);
    std::fill(std::begin(y), std::end(y), kSentinel);
    testing::internal::CaptureStdout();
    meta2lut_dtm(1000, 1000, nullptr, x, y, 33);
    meta2lut_dtm(1000, 1000, &record, nullptr, y, 33);
    meta2lut_dtm(1000, 1000, &record, x, nullptr, 33);
    meta2lut_eotf(1000, nullptr, x, y, 33);
    meta2lut_eotf(1000, &record, nullptr, y, 33);
    meta2lut_eotf(1000, &record, x, nullptr, 33);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    for (int i = 0; i < 33; i++) {
        EXPECT_EQ(x[i], kSentinel);
        EXPECT_EQ(y[i], kSentinel);
    }
}

TEST(ToneTable, SeveralThreadsGiveTheSameTablesAsOne) {
    // Different curves on different threads at once: a sampler scratch shared
    // between calls would mix them up.
    std::vector<_VelmorHdrDynamicInfo> records;
    for (unsigned k = 0; k < 4; k++) {
        _VelmorHdrDynamicInfo r = kneeExampleForTarget1000();
        r.knee_point_x = static_cast<uint16_t>(400 + 300 * k);
        r.knee_point_y = static_cast<uint16_t>(700 + 350 * k);
        r.num_bezier_curve_anchors = static_cast<uint16_t>(3 + 4 * k);
        records.push_back(r);
    }
    std::vector<Table> expected;
    for (const auto& r : records) expected.push_back(dtm(r, 33, 33));

    constexpr int kRounds = 20;
    std::vector<std::vector<Table>> got(records.size());
    testing::internal::CaptureStdout();
    std::vector<std::thread> threads;
    for (size_t k = 0; k < records.size(); k++) {
        threads.emplace_back([&, k] {
            for (int round = 0; round < kRounds; round++) {
                _VelmorHdrDynamicInfo r = records[k];
                Table t(33);
                meta2lut_dtm(1000, 4000, &r, t.x.data(), t.y.data(), 33);
                got[k].push_back(std::move(t));
            }
        });
    }
    for (auto& t : threads) t.join();
    testing::internal::GetCapturedStdout();
    for (size_t k = 0; k < records.size(); k++) {
        for (const Table& t : got[k]) {
            EXPECT_EQ(t.x, expected[k].x) << "curve " << k;
            EXPECT_EQ(t.y, expected[k].y) << "curve " << k;
        }
    }
}

TEST(PqTable33, PqExampleLastEntry) {
    const Table t = eotf(emptyRecord(), 4000, 33, 33);
    EXPECT_EQ(t.x[0], 0u);
    EXPECT_EQ(t.x[31], 960u);
    EXPECT_EQ(t.y[31], 65535u);
    EXPECT_EQ(t.x[32], 64u);
    EXPECT_EQ(t.y[32], 0u);
}

TEST(PqTable33, RangeRunsOutOfPointsAtEveryCode) {
    // 1024 codes allow 1023 points between the ends; a larger count writes
    // those 1025 entries and leaves the rest of the caller's arrays alone.
    const Table t = eotf(emptyRecord(), 4000, 1100, 1100);
    for (unsigned i = 0; i < 1024; i++) ASSERT_EQ(t.x[i], i);
    EXPECT_EQ(t.y[512], 1518u);
    EXPECT_EQ(t.y[1023], 65535u);
    EXPECT_EQ(t.x[1024], 1u);  // 1024 - 1023
    EXPECT_EQ(t.y[1024], 0u);  // clipped at L, like code 1023
    for (size_t i = 1025; i < 1100; i++) ASSERT_EQ(t.x[i], kSentinel) << i;
}

}  // namespace
