// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/cli/progress.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>

namespace kestrel::tool {

namespace {
constexpr int kBarWidth = 40;
}

std::string remainingTimeText(unsigned done, unsigned total, double elapsedSeconds) {
    if (total == 0 || done >= total || !(elapsedSeconds >= 2.0) ||
        static_cast<double>(done) * 100.0 < static_cast<double>(total))
        return "";
    // The pace so far, held for the rest: left = elapsed * (total - done) / done.
    const double left = std::ceil(elapsedSeconds * static_cast<double>(total - done) / done);
    char text[64];
    if (left < 60.0) {
        std::snprintf(text, sizeof text, ", about %.0f s left", left);
    } else if (left < 600.0) {
        std::snprintf(text, sizeof text, ", about %.0f min %.0f s left", std::floor(left / 60.0),
                      std::fmod(left, 60.0));
    } else {
        const double minutes = std::ceil(left / 60.0);
        if (minutes < 60.0) {
            std::snprintf(text, sizeof text, ", about %.0f min left", minutes);
        } else {
            std::snprintf(text, sizeof text, ", about %.0f h %.0f min left",
                          std::floor(minutes / 60.0), std::fmod(minutes, 60.0));
        }
    }
    return text;
}

ProgressBar::ProgressBar(unsigned total, std::string what, bool showRemaining)
    : mTotal(total),
      mWhat(std::move(what)),
      mEnabled(isatty(STDERR_FILENO) == 1 && total > 0),
      mShowRemaining(showRemaining) {}

ProgressBar::~ProgressBar() { finish(); }

void ProgressBar::update(unsigned done) {
    if (!mEnabled) return;
    // A file that grows while it is read counts past its size at the start;
    // the bar then stays full.
    int filled = static_cast<int>(static_cast<double>(done) / mTotal * kBarWidth);
    if (filled > kBarWidth) filled = kBarWidth;
    const auto now = std::chrono::steady_clock::now();
    const bool due = mShowRemaining && now - mLastDrawn >= std::chrono::seconds(1);
    if (filled == mLastWidth && done != mTotal && !due) return;
    mLastWidth = filled;
    mLastDrawn = now;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kBarWidth - filled), '.');
    const std::string left =
        mShowRemaining
            ? remainingTimeText(done, mTotal, std::chrono::duration<double>(now - mStarted).count())
            : "";
    // The line can shorten as the estimate does: what it leaves is cleared.
    std::fprintf(stderr, "\r[%s] %u/%u %s%s%s", bar.c_str(), done, mTotal, mWhat.c_str(),
                 left.c_str(), mShowRemaining ? "\033[K" : "");
    std::fflush(stderr);
}

namespace {
constexpr uint64_t kMiB = uint64_t{1} << 20;
constexpr uint64_t kShownFrom = 64 * kMiB;
}  // namespace

void TerminalReadProgress::update(uint64_t bytesRead, uint64_t fileBytes) {
    if (!mBar) {
        const unsigned total =
            fileBytes >= kShownFrom ? static_cast<unsigned>((fileBytes + kMiB - 1) / kMiB) : 0;
        mBar = std::make_unique<ProgressBar>(total, "MiB read");
    }
    mBar->update(static_cast<unsigned>(bytesRead / kMiB));
}

void TerminalReadProgress::finish() {
    if (mBar) mBar->finish();
}

void ProgressBar::finish() {
    if (!mEnabled || mLastWidth < 0) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    mLastWidth = -1;
}

}  // namespace kestrel::tool
