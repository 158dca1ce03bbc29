// Captures what code under test prints to standard output and standard
// error, split into lines, so diagnostics can be compared exactly.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace kestrel_test {

inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

struct Captured {
    std::vector<std::string> out;
    std::vector<std::string> err;
};

template <typename F>
Captured capture(F&& f) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    f();
    std::fflush(stdout);
    Captured c;
    c.err = splitLines(testing::internal::GetCapturedStderr());
    c.out = splitLines(testing::internal::GetCapturedStdout());
    return c;
}

}  // namespace kestrel_test
