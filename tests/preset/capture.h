// Runs a piece of code with standard output and standard error captured, so
// tests can compare the printf lines and the log lines exactly.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>

struct Captured {
    std::string out;
    std::string err;
};

template <typename F>
Captured capture(F&& f) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    std::forward<F>(f)();
    Captured c;
    c.out = testing::internal::GetCapturedStdout();
    c.err = testing::internal::GetCapturedStderr();
    return c;
}
