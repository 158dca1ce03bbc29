// SPDX-License-Identifier: Apache-2.0
// `report --scenes FILE`: the list's forms, and the lists that do not fit
// the clip, named by line.
#include "analysis/scene_list.h"

#include <gtest/gtest.h>

namespace kestrel::analysis {
namespace {

using Frames = std::vector<unsigned>;

TEST(SceneList, PlainListsAndCsvFirstColumns) {
    auto parsed = parseSceneList("0\n24\n\n# a comment\n  100  \n", 259);
    ASSERT_TRUE(parsed.ok()) << parsed.status().message();
    EXPECT_EQ(*parsed, (Frames{0, 24, 100}));
    // CSV with a header and more columns; Windows line ends.
    parsed = parseSceneList("first_frame,timecode\r\n0,00:00:00:00\r\n258,00:00:10:18\r\n", 259);
    ASSERT_TRUE(parsed.ok()) << parsed.status().message();
    EXPECT_EQ(*parsed, (Frames{0, 258}));
}

TEST(SceneList, ListsThatDoNotFitTheClipAreRefusedByLine) {
    const struct {
        const char* text;
        unsigned frames;
        const char* message;
    } cases[] = {
        // The last frame of a 259-frame clip is 258.
        {"0\n259\n", 259, "line 2: frame 259 is beyond the clip, whose last frame is 258"},
        {"0\n", 0, "line 1: frame 0 is beyond the clip, whose last frame is none"},
        {"0\n120\n120\n", 259, "line 3: frame 120 does not come after frame 120: the list must rise"},
        {"0\n120\n90\n", 259, "line 3: frame 90 does not come after frame 120: the list must rise"},
        {"0\n1.5\n", 259, "line 2: \"1.5\" is not a frame number"},
        {"0\n-3\n", 259, "line 2: \"-3\" is not a frame number"},
        {"frame\n# none\n", 259, "no frame numbers"},
    };
    for (const auto& c : cases) {
        auto parsed = parseSceneList(c.text, c.frames);
        ASSERT_FALSE(parsed.ok()) << c.text;
        EXPECT_EQ(parsed.status().message(), c.message) << c.text;
        EXPECT_EQ(parsed.status().kind(), ErrorKind::Invalid);
    }
    EXPECT_EQ(parseSceneList("0\n7\n3\n", 10).status().where().key, "line 3");
}

}  // namespace
}  // namespace kestrel::analysis
