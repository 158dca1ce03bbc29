// SPDX-License-Identifier: Apache-2.0
// The tables kept from the last calls on a thread: each key holds exactly what
// the gain sampler reads, and a call through the memo writes what the same
// call writes on a thread that has made no table yet, lines included.
#include "dtm/gain_table_memo.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "dtm/adapted_tone_table.h"
#include "records.h"
#include "support/capture.h"

namespace {

using kestrel::GainCurveKey;
using kestrel::GainTableMemo;

constexpr unsigned kSentinel = 0xDEADBEEF;

TEST(GainCurveKey, HoldsWhatTheSamplerReadsAndNothingElse) {
    const _VelmorHdrDynamicInfo base = kneeExampleRecord();  // nine anchors
    const GainCurveKey key(base, 33);

    _VelmorHdrDynamicInfo r = base;
    r.knee_point_x++;
    EXPECT_FALSE(GainCurveKey(r, 33) == key) << "knee x";
    r = base;
    r.knee_point_y++;
    EXPECT_FALSE(GainCurveKey(r, 33) == key) << "knee y";
    r = base;
    r.num_bezier_curve_anchors = 8;
    EXPECT_FALSE(GainCurveKey(r, 33) == key) << "anchor count";
    r = base;
    r.bezier_curve_anchors[0]++;
    EXPECT_FALSE(GainCurveKey(r, 33) == key) << "first anchor";
    r = base;
    r.bezier_curve_anchors[8]++;
    EXPECT_FALSE(GainCurveKey(r, 33) == key) << "last anchor read";
    EXPECT_FALSE(GainCurveKey(base, 32) == key) << "points";
    // A last anchor at 0 and one anchor fewer: the same anchors read, but a
    // curve of another order.
    r = base;
    r.bezier_curve_anchors[8] = 0;
    _VelmorHdrDynamicInfo shorter = r;
    shorter.num_bezier_curve_anchors = 8;
    EXPECT_FALSE(GainCurveKey(r, 33) == GainCurveKey(shorter, 33)) << "order";

    // Past the count the sampler reads nothing, and the rest of the record
    // (luminances, the flag) is not part of the curve.
    r = base;
    r.bezier_curve_anchors[9] = 700;
    r.bezier_curve_anchors[14] = 1;
    r.targeted_system_display_maximum_luminance = 1234;
    r.maxscl[0] = 99;
    r.tone_mapping_flag = 0;
    EXPECT_TRUE(GainCurveKey(r, 33) == key);
}

TEST(GainCurveKey, AnchorCountIsClampedAtFifteenAsTheSamplerClampsIt) {
    _VelmorHdrDynamicInfo r = kneeExampleRecord();
    for (unsigned k = 0; k < kMaxBezierAnchors; k++) r.bezier_curve_anchors[k] = 60 * (k + 1);
    r.num_bezier_curve_anchors = 15;
    const GainCurveKey fifteen(r, 33);
    r.num_bezier_curve_anchors = 16;
    EXPECT_TRUE(GainCurveKey(r, 33) == fifteen);
    r.num_bezier_curve_anchors = 0xFFFF;
    EXPECT_TRUE(GainCurveKey(r, 33) == fifteen);
    r.num_bezier_curve_anchors = 14;
    EXPECT_FALSE(GainCurveKey(r, 33) == fifteen);
}

TEST(GainTableMemo, RecallsExactlyTheKeptEntriesForTheirKeyOnly) {
    const GainCurveKey kept(kneeExampleRecord(), 33);
    const GainCurveKey other(kneeExampleRecord(), 32);
    std::vector<unsigned> x(40, kSentinel), y(40, kSentinel);

    GainTableMemo memo;
    EXPECT_FALSE(memo.recall(kept, x.data(), y.data())) << "nothing kept yet";
    EXPECT_EQ(x, std::vector<unsigned>(40, kSentinel));

    const unsigned tx[5] = {0, 10, 20, 30, 7};
    const unsigned ty[5] = {1, 11, 21, 31, 9};
    memo.keep(kept, tx, ty, 5);
    EXPECT_FALSE(memo.recall(other, x.data(), y.data()));
    EXPECT_EQ(x, std::vector<unsigned>(40, kSentinel)) << "a miss writes nothing";
    ASSERT_TRUE(memo.recall(kept, x.data(), y.data()));
    for (unsigned i = 0; i < 5; i++) {
        EXPECT_EQ(x[i], tx[i]);
        EXPECT_EQ(y[i], ty[i]);
    }
    EXPECT_EQ(x[5], kSentinel) << "only the entries the table's making wrote";
    EXPECT_EQ(y[5], kSentinel);
}

TEST(GainTableMemo, KeepsTablesUpToTheHardwareSizeOnly) {
    std::vector<unsigned> tx(40), ty(40), x(40), y(40);
    for (unsigned i = 0; i < 40; i++) tx[i] = ty[i] = 3 * i + 1;
    const GainCurveKey atSize(kneeExampleRecord(), 33);
    const GainCurveKey above(kneeExampleRecord(), 34);

    GainTableMemo memo;
    memo.keep(atSize, tx.data(), ty.data(), 33);
    ASSERT_TRUE(memo.recall(atSize, x.data(), y.data()));
    EXPECT_EQ(x[32], tx[32]);
    // A larger table is not kept; what was kept before stays.
    memo.keep(above, tx.data(), ty.data(), 34);
    EXPECT_FALSE(memo.recall(above, x.data(), y.data()));
    EXPECT_TRUE(memo.recall(atSize, x.data(), y.data()));
}

TEST(GainTableMemo, KeepsTheLastEightTablesAndReplacesTheOldestFirst) {
    // Nine curves differing in the knee's x only, each with a table of its
    // own (its first entry is the curve's number).
    std::vector<GainCurveKey> keys;
    for (unsigned k = 0; k < GainTableMemo::kEntries + 2; k++) {
        _VelmorHdrDynamicInfo r = kneeExampleRecord();
        r.knee_point_x = static_cast<uint16_t>(100 + k);
        keys.emplace_back(r, 33);
    }
    const auto keepTable = [&](GainTableMemo& memo, unsigned k) {
        const unsigned tx[2] = {k, 1000 + k}, ty[2] = {2000 + k, 3000 + k};
        memo.keep(keys[k], tx, ty, 2);
    };
    const auto recalled = [&](const GainTableMemo& memo, unsigned k) {
        unsigned x[2] = {kSentinel, kSentinel}, y[2] = {kSentinel, kSentinel};
        if (!memo.recall(keys[k], x, y)) return false;
        EXPECT_EQ(x[0], k);
        EXPECT_EQ(x[1], 1000 + k);
        EXPECT_EQ(y[0], 2000 + k);
        EXPECT_EQ(y[1], 3000 + k);
        return true;
    };

    GainTableMemo memo;
    for (unsigned k = 0; k < GainTableMemo::kEntries; k++) keepTable(memo, k);
    for (unsigned k = 0; k < GainTableMemo::kEntries; k++) {
        EXPECT_TRUE(recalled(memo, k)) << "all eight kept, curve " << k;
    }
    keepTable(memo, 8);  // the ninth takes the first one's place
    EXPECT_FALSE(recalled(memo, 0));
    for (unsigned k = 1; k <= 8; k++) EXPECT_TRUE(recalled(memo, k)) << "curve " << k;
    keepTable(memo, 9);  // and the tenth the second's
    EXPECT_FALSE(recalled(memo, 1));
    EXPECT_TRUE(recalled(memo, 2));
    EXPECT_TRUE(recalled(memo, 9));
}

struct Call {
    std::vector<unsigned> x, y;
    std::vector<std::string> lines;
    _VelmorHdrDynamicInfo adapted;
    bool operator==(const Call& o) const { return x == o.x && y == o.y && lines == o.lines; }
};

// One table through the adaptation, into a caller's copy that every call
// shares (its address is in the lines).
_VelmorHdrDynamicInfo gWorking;

Call tabulate(const _VelmorHdrDynamicInfo& record, unsigned target, unsigned count) {
    Call r{std::vector<unsigned>(40, kSentinel), std::vector<unsigned>(40, kSentinel), {}, {}};
    gWorking = record;
    r.lines = kestrel_test::capture([&] {
                  kestrel::adaptAndTabulate(target, 4000, gWorking, r.x.data(), r.y.data(), count);
              }).out;
    r.adapted = gWorking;
    return r;
}

// The same call on a thread that has made no table before.
Call tabulateOnNewThread(const _VelmorHdrDynamicInfo& record, unsigned target, unsigned count) {
    Call r;
    std::thread([&] { r = tabulate(record, target, count); }).join();
    return r;
}

TEST(GainTableMemo, EveryCallWritesWhatAThreadWithoutATableWrites) {
    // Made for a 600 cd/m² display and tabulated for it: the adaptation keeps
    // the curve, so a change of one field of the record is a change of that
    // field of the adapted curve.
    _VelmorHdrDynamicInfo base = kneeExampleRecord();
    base.targeted_system_display_maximum_luminance = 600;
    base.maxscl[0] = base.maxscl[1] = base.maxscl[2] = 40000;

    // Each step after the first, with whether its table differs from the
    // step's before: where it does, a key that missed what changed would
    // have recalled the wrong one.
    struct Step {
        const char* what;
        _VelmorHdrDynamicInfo record;
        unsigned target, count;
        bool newTable;
    };
    _VelmorHdrDynamicInfo kneeX = base, kneeY = base, lastAnchor = base, fewerAnchors = base;
    kneeX.knee_point_x++;
    kneeY.knee_point_y++;
    lastAnchor.bezier_curve_anchors[8] += 40;
    fewerAnchors.num_bezier_curve_anchors = 8;
    const Step steps[] = {
        {"first", base, 600, 33, true},
        {"again", base, 600, 33, false},
        {"knee x", kneeX, 600, 33, true},
        {"back", base, 600, 33, true},
        {"fewer points", base, 600, 32, true},
        {"back", base, 600, 33, true},
        {"knee y", kneeY, 600, 33, true},
        {"back", base, 600, 33, true},
        {"last anchor", lastAnchor, 600, 33, true},
        {"back", base, 600, 33, true},
        {"anchor count", fewerAnchors, 600, 33, true},
        {"back", base, 600, 33, true},
        {"more points than kept", base, 600, 40, true},
        {"more points again", base, 600, 40, false},
        {"back", base, 600, 33, true},
        {"no point chosen", base, 600, 1, true},
        {"another display", base, 1000, 33, true},
        {"back", base, 600, 33, true},
    };

    Call previous;
    for (const Step& s : steps) {
        const Call call = tabulate(s.record, s.target, s.count);
        EXPECT_TRUE(call == tabulateOnNewThread(s.record, s.target, s.count)) << s.what;
        if (&s != steps) {
            EXPECT_EQ(s.newTable, !(call.x == previous.x && call.y == previous.y)) << s.what;
        }
        previous = call;
    }
    // The adaptation keeps the curve it was made for, field by field.
    EXPECT_EQ(tabulate(kneeX, 600, 33).adapted.knee_point_x, base.knee_point_x + 1);
    EXPECT_EQ(tabulate(kneeY, 600, 33).adapted.knee_point_y, base.knee_point_y + 1);
}

TEST(GainTableMemoThreads, EachThreadRecallsOnlyItsOwnTables) {
    _VelmorHdrDynamicInfo a = kneeExampleRecord();
    _VelmorHdrDynamicInfo b = curveRecord(500, 2500, {300, 600, 900});
    a.targeted_system_display_maximum_luminance = b.targeted_system_display_maximum_luminance = 600;
    unsigned refA[2][33], refB[2][33];
    _VelmorHdrDynamicInfo working;
    kestrel_test::capture([&] {
        std::thread([&] {
            working = a;
            kestrel::adaptAndTabulate(600, 4000, working, refA[0], refA[1], 33);
            working = b;
            kestrel::adaptAndTabulate(600, 4000, working, refB[0], refB[1], 33);
        }).join();
    });
    ASSERT_NE(std::vector<unsigned>(refA[1], refA[1] + 33), std::vector<unsigned>(refB[1], refB[1] + 33));

    bool allEqual[2] = {true, true};
    kestrel_test::capture([&] {
        auto run = [&](const _VelmorHdrDynamicInfo& record, unsigned (&ref)[2][33], bool& equal) {
            _VelmorHdrDynamicInfo own;
            unsigned x[33], y[33];
            for (int i = 0; i < 300; i++) {
                own = record;
                kestrel::adaptAndTabulate(600, 4000, own, x, y, 33);
                equal &= std::equal(x, x + 33, ref[0]) && std::equal(y, y + 33, ref[1]);
            }
        };
        std::thread first([&] { run(a, refA, allEqual[0]); });
        std::thread second([&] { run(b, refB, allEqual[1]); });
        first.join();
        second.join();
    });
    EXPECT_TRUE(allEqual[0]);
    EXPECT_TRUE(allEqual[1]);
}

}  // namespace
