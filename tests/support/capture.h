// SPDX-License-Identifier: Apache-2.0
// Captures what code under test prints to standard output and standard
// error, split into lines, so diagnostics can be compared exactly.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace kestrel_test {

inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The whole text of each stream.
struct CapturedText {
    std::string out;
    std::string err;
};

template <typename F>
CapturedText captureText(F&& f) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    f();
    std::fflush(stdout);
    CapturedText c;
    c.err = testing::internal::GetCapturedStderr();
    c.out = testing::internal::GetCapturedStdout();
    return c;
}

// Each stream split into lines.
struct Captured {
    std::vector<std::string> out;
    std::vector<std::string> err;
};

template <typename F>
Captured capture(F&& f) {
    CapturedText text = captureText(std::forward<F>(f));
    return Captured{splitLines(text.out), splitLines(text.err)};
}

}  // namespace kestrel_test
