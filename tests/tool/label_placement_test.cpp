// SPDX-License-Identifier: Apache-2.0
// The labels of a chart: near their point, clear of each other and of the
// curves, inside the plot.
#include "tools/kestrel/render/label_placement.h"

#include <gtest/gtest.h>

namespace kestrel::tool {
namespace {

using Line = std::vector<std::pair<double, double>>;
const Box kArea{0, 0, 400, 300};

TEST(LabelPlacement, SegmentsAndBoxesMeetOnlyWhereTheyDo) {
    const Box box{10, 10, 20, 20};
    EXPECT_TRUE(segmentCrossesBox({0, 15}, {30, 15}, box));   // straight through
    EXPECT_TRUE(segmentCrossesBox({12, 12}, {13, 13}, box));  // wholly inside
    EXPECT_FALSE(segmentCrossesBox({0, 25}, {30, 25}, box));  // below it
    EXPECT_FALSE(segmentCrossesBox({0, 0}, {9, 30}, box));    // passes left of it
    EXPECT_TRUE(segmentCrossesBox({0, 0}, {30, 30}, box));    // the diagonal
    EXPECT_FALSE(segmentCrossesBox({21, 0}, {40, 30}, box));  // beside, slanted
    EXPECT_TRUE(boxesOverlap({0, 0, 10, 10}, {9, 9, 20, 20}));
    EXPECT_FALSE(boxesOverlap({0, 0, 10, 10}, {10, 0, 20, 10}));  // touching edges
}

TEST(LabelPlacement, LabelsOfNearbyPointsNeverOverlap) {
    // Three flat curves 6 px apart with a label at the same x on each, as
    // three targets whose gains nearly agree: each label is clear of the
    // others and of all three curves.
    std::vector<Line> lines{{{0, 150}, {400, 150}}, {{0, 144}, {400, 144}}, {{0, 138}, {400, 138}}};
    std::vector<LabelRequest> labels{{300, 150, 90, 15}, {300, 144, 90, 15}, {300, 138, 90, 15}};
    std::vector<Box> boxes = placeLabels(labels, kArea, lines);
    ASSERT_EQ(boxes.size(), 3u);
    for (size_t i = 0; i < boxes.size(); i++) {
        EXPECT_GE(boxes[i].left, kArea.left);
        EXPECT_LE(boxes[i].bottom, kArea.bottom);
        for (size_t j = 0; j < i; j++) EXPECT_FALSE(boxesOverlap(boxes[i], boxes[j])) << i << j;
        for (const Line& line : lines)
            EXPECT_FALSE(segmentCrossesBox(line[0], line[1], boxes[i])) << i;
    }
    // Above the first point the other two curves pass: it goes below.
    EXPECT_EQ(boxes[0].top, 154);

    // Alone on its curve, a label keeps the usual place: upper right of its
    // point, 8 px right and its bottom 4 px above.
    boxes = placeLabels({{300, 150, 90, 15}}, kArea, {lines[0]});
    EXPECT_EQ(boxes[0].left, 308);
    EXPECT_EQ(boxes[0].bottom, 146);
}

TEST(LabelPlacement, ALabelAtTheRightEdgeGoesLeftAndOneOnTopGoesBelow) {
    std::vector<Box> boxes = placeLabels({{380, 10, 90, 15}}, kArea, {});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].right, 372);  // left of the point
    EXPECT_EQ(boxes[0].top, 14);     // no room above the point: below it
}

}  // namespace
}  // namespace kestrel::tool
