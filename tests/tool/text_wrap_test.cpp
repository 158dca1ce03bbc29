// SPDX-License-Identifier: Apache-2.0
// A chart title's lines: within the width, broken where a reader expects
// (spaces, then a path's slashes), nothing lost.
#include "tools/kestrel/render/text_wrap.h"

#include <gtest/gtest.h>

namespace kestrel::tool {
namespace {

// One unit per byte: the width of a text is its length.
double bytes(const std::string& text) { return static_cast<double>(text.size()); }

TEST(TextWrap, ATextThatFitsExactlyStaysOneLine) {
    EXPECT_EQ(wrapText("0123456789", 10, bytes), std::vector<std::string>{"0123456789"});
    EXPECT_EQ(wrapText("01234 6789A", 10, bytes),
              (std::vector<std::string>{"01234", "6789A"}));  // one over: broken at the space
    EXPECT_EQ(wrapText("", 10, bytes), std::vector<std::string>{""});
}

TEST(TextWrap, ALongPathBreaksAfterItsSlashesAndTheWordsAroundItAtSpaces) {
    const std::string title = "Gain of frame 3 of /srv/qc/incoming/show/episode.json, 600 cd/m2";
    const std::vector<std::string> lines = wrapText(title, 20, bytes);
    EXPECT_EQ(lines, (std::vector<std::string>{"Gain of frame 3 of", "/srv/qc/incoming/",
                                               "show/episode.json,", "600 cd/m2"}));
}

TEST(TextWrap, APieceWithoutBreaksIsCutBetweenCharactersNeverInsideOne) {
    // "é" is two bytes: a cut at byte 3 would split it, so the line stops at 2.
    const std::vector<std::string> lines = wrapText("ab\xc3\xa9" "cdef", 3, bytes);
    EXPECT_EQ(lines, (std::vector<std::string>{"ab", "\xc3\xa9" "c", "def"}));
    // Narrower than any character: one character a line, and it still ends.
    EXPECT_EQ(wrapText("x\xc3\xa9", 0.5, bytes), (std::vector<std::string>{"x", "\xc3\xa9"}));
}

}  // namespace
}  // namespace kestrel::tool
