// SPDX-License-Identifier: Apache-2.0
// Text made on several threads comes out in item order, each run once, with
// the runs cut where the caller asked; a failed write stops the work.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "analysis/parallel_for.h"

namespace kestrel::analysis {
namespace {

// Items numbered as text, "0,1,2,...", and the runs emit saw.
std::pair<std::string, std::vector<std::pair<size_t, size_t>>> numbered(size_t count,
                                                                        size_t perRun) {
    std::string all;
    std::vector<std::pair<size_t, size_t>> runs;
    const bool done = formatInOrder(
        count, perRun,
        [](std::string& text, size_t begin, size_t end) {
            for (size_t i = begin; i < end; i++) text += std::to_string(i) + ",";
        },
        [&](const std::string& text, size_t begin, size_t end) {
            all += text;
            runs.emplace_back(begin, end);
            return true;
        });
    EXPECT_TRUE(done);
    return {all, runs};
}

TEST(FormatInOrder, ItemsComeOutInOrderAcrossRunsAndRounds) {
    // 32 runs make a round: 7 items a run puts the round's end at 224, and
    // 230 items leave a short run in a second round.
    for (size_t count : {0u, 1u, 7u, 8u, 224u, 225u, 230u}) {
        const auto [text, runs] = numbered(count, 7);
        std::string expected;
        for (size_t i = 0; i < count; i++) expected += std::to_string(i) + ",";
        EXPECT_EQ(text, expected) << count << " items";
        ASSERT_EQ(runs.size(), (count + 6) / 7) << count << " items";
        for (size_t r = 0; r < runs.size(); r++) {
            EXPECT_EQ(runs[r].first, r * 7);
            EXPECT_EQ(runs[r].second, std::min(count, r * 7 + 7));
        }
    }
    // A run of 0 items is taken as 1, not as an endless loop.
    EXPECT_EQ(numbered(3, 0).first, "0,1,2,");
}

TEST(FormatInOrder, AFailedEmitStopsTheWork) {
    std::vector<size_t> emitted;
    const bool done = formatInOrder(
        300, 4, [](std::string& text, size_t, size_t) { text = "x"; },
        [&](const std::string&, size_t begin, size_t) {
            emitted.push_back(begin);
            return begin < 8;  // the third run's write fails
        });
    EXPECT_FALSE(done);
    EXPECT_EQ(emitted, (std::vector<size_t>{0, 4, 8}));
}

}  // namespace
}  // namespace kestrel::analysis
