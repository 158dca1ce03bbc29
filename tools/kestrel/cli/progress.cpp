// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/cli/progress.h"

#include <unistd.h>

#include <cstdio>

namespace kestrel::tool {

namespace {
constexpr int kBarWidth = 40;
}

ProgressBar::ProgressBar(unsigned total, std::string what)
    : mTotal(total), mWhat(std::move(what)), mEnabled(isatty(STDERR_FILENO) == 1 && total > 0) {}

ProgressBar::~ProgressBar() { finish(); }

void ProgressBar::update(unsigned done) {
    if (!mEnabled) return;
    // A file that grows while it is read counts past its size at the start;
    // the bar then stays full.
    int filled = static_cast<int>(static_cast<double>(done) / mTotal * kBarWidth);
    if (filled > kBarWidth) filled = kBarWidth;
    if (filled == mLastWidth && done != mTotal) return;
    mLastWidth = filled;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kBarWidth - filled), '.');
    std::fprintf(stderr, "\r[%s] %u/%u %s", bar.c_str(), done, mTotal, mWhat.c_str());
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
