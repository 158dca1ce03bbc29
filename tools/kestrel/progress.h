// A one-line progress bar on standard error, drawn only when standard error
// is a terminal, so that logs and pipes never receive it.
#pragma once

#include <string>

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

}  // namespace kestrel::tool
