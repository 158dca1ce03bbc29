// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/analyze/picture_progress.h"

#include <unistd.h>

#include <cstdio>

namespace kestrel::tool {

namespace {
constexpr double kRedrawSeconds = 0.25;
}

PictureProgress::PictureProgress(unsigned total, std::string what)
    : mTotal(total),
      mWhat(std::move(what)),
      mEnabled(isatty(STDERR_FILENO) == 1),
      mStart(std::chrono::steady_clock::now()),
      mLast(mStart) {}

PictureProgress::~PictureProgress() { finish(); }

std::string PictureProgress::line(unsigned done, unsigned total, double seconds,
                                  const std::string& what) {
    char text[160];
    const double rate = seconds > 0 ? done / seconds : 0.0;
    if (total > 0 && rate > 0 && done <= total) {
        const unsigned left = static_cast<unsigned>((total - done) / rate + 0.5);
        std::snprintf(text, sizeof text, "%u/%u %s, %.1f per second, %u:%02u left", done, total,
                      what.c_str(), rate, left / 60, left % 60);
    } else {
        std::snprintf(text, sizeof text, "%u %s, %.1f per second", done, what.c_str(), rate);
    }
    return text;
}

void PictureProgress::update(unsigned done) {
    if (!mEnabled) return;
    auto now = std::chrono::steady_clock::now();
    if (mDrawn && std::chrono::duration<double>(now - mLast).count() < kRedrawSeconds) return;
    mLast = now;
    mDrawn = true;
    std::string text = line(done, mTotal, std::chrono::duration<double>(now - mStart).count(), mWhat);
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
}

void PictureProgress::finish() {
    if (!mEnabled || !mDrawn) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    mDrawn = false;
}

}  // namespace kestrel::tool
