// SPDX-License-Identifier: Apache-2.0
// The progress bar as a terminal shows it.
#include "tools/kestrel/cli/progress.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace kestrel::tool {
namespace {

// What `draw` writes to standard error when standard error is a terminal.
template <typename Draw>
std::string onTerminal(Draw draw, std::string& thrown) {
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return "no terminal";
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    dup2(slave, STDERR_FILENO);
    try {
        draw();
    } catch (const std::exception& e) {
        thrown = e.what();
    }
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    close(slave);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    std::string text;
    char buffer[512];
    ssize_t n;
    while ((n = read(master, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(n));
    close(master);
    return text;
}

// A file read while it grows (a recording still being written) reports more
// than the size it had at the start: the bar stays full and says so.
TEST(ProgressBar, CountBeyondTheTotalDrawsAFullBar) {
    std::string thrown;
    std::string drawn = onTerminal(
        [] {
            ProgressBar bar(10, "MiB read");
            bar.update(9);
            bar.update(11);
        },
        thrown);
    EXPECT_EQ(thrown, "");
    EXPECT_NE(drawn.find("[" + std::string(36, '#') + "....] 9/10 MiB read"), std::string::npos)
        << drawn;
    EXPECT_NE(drawn.find("[" + std::string(40, '#') + "] 11/10 MiB read"), std::string::npos)
        << drawn;
}

// The estimate holds the pace so far for the rest, and waits for a pace
// worth holding: 2 s and 1 % done. The unit grows with the time left.
TEST(RemainingTime, WaitsForAPaceThenSaysTheRestInTheUnitThatFits) {
    EXPECT_EQ(remainingTimeText(50, 100, 1.99), "");
    EXPECT_EQ(remainingTimeText(50, 100, 2.0), ", about 2 s left");
    EXPECT_EQ(remainingTimeText(99, 10000, 100.0), "");           // under 1 %
    EXPECT_EQ(remainingTimeText(1, 100, 2.0), ", about 3 min 18 s left");  // 1 %: 198 s
    EXPECT_EQ(remainingTimeText(100, 100, 50.0), "");             // done
    EXPECT_EQ(remainingTimeText(120, 100, 50.0), "");             // counted past the total
    EXPECT_EQ(remainingTimeText(0, 0, 50.0), "");
    // Rounded up: 2.5 s left reads 3 s, never "0 s" while work remains;
    // 59.5 s reads a minute.
    EXPECT_EQ(remainingTimeText(50, 100, 2.5), ", about 3 s left");
    EXPECT_EQ(remainingTimeText(2, 3, 119.0), ", about 1 min 0 s left");  // 59.5 s
    // From ten minutes whole minutes, from an hour hours and minutes.
    EXPECT_EQ(remainingTimeText(1, 2, 599.0), ", about 9 min 59 s left");
    EXPECT_EQ(remainingTimeText(1, 2, 600.0), ", about 10 min left");
    EXPECT_EQ(remainingTimeText(1, 2, 3540.0), ", about 59 min left");
    EXPECT_EQ(remainingTimeText(1, 2, 3599.0), ", about 1 h 0 min left");
    EXPECT_EQ(remainingTimeText(1, 2, 3600.0), ", about 1 h 0 min left");
    // A four-hour title decoded for 20 minutes, a twelfth done: 3 h 40 min.
    EXPECT_EQ(remainingTimeText(28800, 345600, 1200.0), ", about 3 h 40 min left");
}

// With the estimate asked for, the line carries it (here not yet: under 2 s).
TEST(ProgressBar, TheEstimateIsLeftOutUntilThereIsAPace) {
    std::string thrown;
    std::string drawn = onTerminal(
        [] {
            ProgressBar bar(10, "pictures decoded", true);
            bar.update(5);
        },
        thrown);
    EXPECT_EQ(thrown, "");
    EXPECT_NE(drawn.find("[" + std::string(20, '#') + std::string(20, '.') +
                         "] 5/10 pictures decoded\033[K"),
              std::string::npos)
        << drawn;
}

}  // namespace
}  // namespace kestrel::tool
