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

}  // namespace
}  // namespace kestrel::tool
