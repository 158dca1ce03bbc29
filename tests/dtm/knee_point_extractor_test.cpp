// SPDX-License-Identifier: Apache-2.0
#include "dtm/knee_point_extractor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "records.h"

namespace {

using Points = std::vector<std::pair<int32_t, int32_t>>;

// A curve given by a function, recording the abscissae it is sampled at.
class TestCurve : public curveData {
public:
    TestCurve(int32_t xMax, std::function<int32_t(int)> f)
        : curveData(_VelmorHdrDynamicInfo{}, xMax, 0), mF(std::move(f)) {}
    int32_t getY(int x) const override {
        sampled.push_back(x);
        return mF(x);
    }
    mutable std::vector<int> sampled;

private:
    std::function<int32_t(int)> mF;
};

Points pointsOf(const kneePointExtractor& e) {
    Points p;
    for (const Node& n : e.nodes) p.emplace_back(n.x, n.y);
    return p;
}

Points select(const curveData& curve, int n) {
    kneePointExtractor e(curve);
    e.select_from_candidate(n);
    return pointsOf(e);
}

TEST(KneeNode, HalvesWithArithmeticShiftAndWrapsIn32Bits) {
    // (-3 + 0) >> 1 is -2, not -3 / 2 = -1.
    EXPECT_EQ(Node(0, -3, 2, 0, 0).error, 2);
    EXPECT_EQ(Node(INT32_MAX, 0, 1, 0, 0).x, -1073741824);
    // The magnitude of INT32_MIN stays INT32_MIN in two's complement.
    EXPECT_EQ(Node(0, 0, 2, 0, INT32_MIN).error, INT32_MIN);
}

TEST(KneeNode, CompareOrdersBySignedAbscissaOnly) {
    const Node negative(-4, 9, -2, 9, 9), positive(2, 0, 2, 0, 0), samePlace(0, 7, 4, 1, 100);
    EXPECT_TRUE(compare(negative, positive));
    EXPECT_FALSE(compare(positive, negative));
    EXPECT_FALSE(compare(positive, samePlace));
    EXPECT_FALSE(compare(samePlace, positive));
}

TEST(KneePointExtractor, SamplesEndsThenMiddleThenLeftHalfBeforeRight) {
    const TestCurve line(16, [](int x) { return x; });
    kneePointExtractor e(line);
    e.select_from_candidate(2);
    EXPECT_EQ(line.sampled, (std::vector<int>{0, 16, 8, 4, 12, 2, 6}));
}

TEST(KneePointExtractor, StraightCurveSplitsBreadthFirst) {
    const TestCurve line(16, [](int x) { return 3 * x; });
    // With every miss 0 the oldest interval goes first: the whole range, its
    // halves from left to right, then the quarters.
    const int32_t order[] = {8, 4, 12, 2, 6, 10, 14};
    Points previous = select(line, 0);
    for (int n = 1; n <= 7; n++) {
        const Points now = select(line, n);
        Points added;
        for (const auto& p : now) {
            if (std::find(previous.begin(), previous.end(), p) == previous.end())
                added.push_back(p);
        }
        ASSERT_EQ(added, (Points{{order[n - 1], 3 * order[n - 1]}})) << "iteration " << n;
        previous = now;
    }
    kneePointExtractor e(line);
    e.select_from_candidate(3);
    std::vector<std::pair<int32_t, int32_t>> left;
    for (const Node& c : e.candidates) left.emplace_back(c.x0, c.x1);
    EXPECT_EQ(left, (std::vector<std::pair<int32_t, int32_t>>{{0, 4}, {4, 8}, {8, 12}, {12, 16}}));
}

TEST(KneePointExtractor, LargestMissWinsOverOlderCandidates) {
    const TestCurve bump(16, [](int x) { return x == 12 ? 100 : 0; });
    EXPECT_EQ(select(bump, 2), (Points{{0, 0}, {8, 0}, {12, 100}, {16, 0}}));
}

TEST(KneePointExtractor, NonPositiveCountOnlySorts) {
    const TestCurve line(1024, [](int x) { return x + 1; });
    for (int n : {0, -1, INT_MIN}) {
        kneePointExtractor e(line);
        e.select_from_candidate(n);
        EXPECT_EQ(pointsOf(e), (Points{{0, 1}, {1024, 1025}})) << n;
        ASSERT_EQ(e.candidates.size(), 1u);
        EXPECT_EQ(e.candidates[0].x0, 0);
        EXPECT_EQ(e.candidates[0].x1, 1024);
    }
}

TEST(KneePointExtractor, NarrowIntervalsAreUsedUpAndSelectionStopsEarly) {
    // Width 1: the split point is the left end again, so that abscissa appears twice.
    const TestCurve one(1, [](int x) { return 10 * x + 5; });
    kneePointExtractor e1(one);
    e1.select_from_candidate(5);
    EXPECT_EQ(pointsOf(e1), (Points{{0, 5}, {0, 5}, {1, 15}}));
    EXPECT_TRUE(e1.candidates.empty());
    // Width 2: its middle point and no new candidates.
    const TestCurve two(2, [](int x) { return x * x; });
    kneePointExtractor e2(two);
    e2.select_from_candidate(5);
    EXPECT_EQ(pointsOf(e2), (Points{{0, 0}, {1, 1}, {2, 4}}));
    EXPECT_TRUE(e2.candidates.empty());
}

TEST(KneePointExtractor, WidthThreeIsTheNarrowestIntervalThatSplits) {
    // [0, 3] splits at 1 into [0, 1] and [1, 3]; the bump at 2 makes [1, 3]
    // the next choice, and the width-1 interval [0, 1] the last one. Were
    // width 3 used up, selection would stop after one point; were width 2
    // split too, [1, 2] would be chosen third and 1 would appear twice.
    const TestCurve bump(3, [](int x) { return x == 2 ? 100 : 0; });
    kneePointExtractor e(bump);
    e.select_from_candidate(3);
    EXPECT_EQ(pointsOf(e), (Points{{0, 0}, {0, 0}, {1, 0}, {2, 100}, {3, 0}}));
    EXPECT_TRUE(e.candidates.empty());
}

TEST(KneePointExtractor, ZeroKneeSaturationWrapsChordSum) {
    // Knee (0, 1.0), no anchors: y = 1 everywhere, so the gain at 0 saturates.
    const OETFCurveData curve(curveRecord(0, 4095, {}));
    kneePointExtractor e(curve);
    ASSERT_EQ(e.candidates.size(), 1u);
    const Node& whole = e.candidates[0];
    EXPECT_EQ(whole.y0, 2147483647);
    EXPECT_EQ(whole.y1, 1048575);
    EXPECT_EQ(whole.y, 2097150);
    // (2147483647 + 1048575) wraps to -2146435074, halved -1073217537.
    EXPECT_EQ(whole.error, 1075314687);
}

TEST(KneePointExtractor, KneeExampleHalvesTowardZeroThenFollowsTheBend) {
    const OETFCurveData curve(kneeExampleRecord());
    Points expected{{0, 0}};
    for (int32_t x = 1; x <= 16777216; x *= 2) expected.emplace_back(x, 1572862);
    const Points tail{{33554432, 1556716}, {41943040, 1421177}, {50331648, 1331073},
                      {67108864, 1218444}, {83886080, 1150724}, {100663296, 1105508},
                      {134217728, 1048575}};
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(select(curve, 31), expected);
}

TEST(KneePointExtractor, PqExamplePointsGatherWhereTheCurveBends) {
    _VelmorHdrDynamicInfo noStatistics;
    std::memset(&noStatistics, 0, sizeof(noStatistics));
    const EOTFCurveData curve(noStatistics, 4000);
    const int32_t xs[] = {0,   256, 384, 448, 512, 576, 608, 640, 672, 704, 720,
                          736, 752, 768, 784, 800, 816, 832, 848, 864, 872, 880,
                          888, 896, 904, 912, 920, 922, 923, 924, 928, 960, 1024};
    const int32_t ys[] = {0,     84,    404,   799,   1518,  2807,  3788,  5091,  6822,
                          9119,  10536, 12169, 14050, 16220, 18721, 21607, 24937, 28782,
                          33224, 38359, 41221, 44299, 47610, 51174, 55009, 59138, 63584,
                          64748, 65338, 65535, 65535, 65535, 65535};
    Points expected;
    for (int i = 0; i < 33; i++) expected.emplace_back(xs[i], ys[i]);
    EXPECT_EQ(select(curve, 31), expected);
}

}  // namespace
