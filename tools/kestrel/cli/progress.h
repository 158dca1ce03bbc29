// SPDX-License-Identifier: Apache-2.0
// A one-line progress bar on standard error, drawn only when standard error
// is a terminal, so that logs and pipes never receive it.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "clip/clip_reader.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

// ", about 3 min 20 s left": the time the rest takes at the pace so far,
// rounded up to the unit shown (seconds under a minute, minutes and seconds
// under ten minutes, whole minutes beyond, hours and minutes from an hour). Empty until there is a pace
// to go by: under 2 s elapsed or under 1 % done, when the first pictures'
// start-up cost would make any estimate wrong by far. Empty when done.
std::string remainingTimeText(unsigned done, unsigned total, double elapsedSeconds);

class ProgressBar {
public:
    // `showRemaining`: the line ends with remainingTimeText, redrawn at most
    // once a second, for work long enough that the user plans around it.
    ProgressBar(unsigned total, std::string what, bool showRemaining = false);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void update(unsigned done);
    // Clears the bar so that what follows starts on a clean line.
    void finish();

private:
    unsigned mTotal;
    std::string mWhat;
    bool mEnabled;
    bool mShowRemaining;
    int mLastWidth = -1;
    std::chrono::steady_clock::time_point mStarted = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point mLastDrawn;
};

// The bar of a stream being read, in whole MiB (so that files beyond 4 GiB
// fit its range); drawn only for files of 64 MiB and more, which take long
// enough to be worth watching.
class TerminalReadProgress : public ReadProgress {
public:
    void update(uint64_t bytesRead, uint64_t fileBytes) override;
    void finish() override;

private:
    std::unique_ptr<ProgressBar> mBar;
};

}  // namespace kestrel::tool
