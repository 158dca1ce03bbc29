// SPDX-License-Identifier: Apache-2.0
// A one-line progress bar on standard error, drawn only when standard error
// is a terminal, so that logs and pipes never receive it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "clip/clip_reader.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

class ProgressBar {
public:
    ProgressBar(unsigned total, std::string what);
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
    int mLastWidth = -1;
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
