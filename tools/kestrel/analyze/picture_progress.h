// SPDX-License-Identifier: Apache-2.0
// Progress of a long run over pictures on standard error, drawn only when it
// is a terminal: pictures done, the rate, and the time left when the total
// is known.
#pragma once

#include <chrono>
#include <string>

namespace kestrel::tool {

class PictureProgress {
public:
    // `total` 0: not known (no time left is shown).
    PictureProgress(unsigned total, std::string what);
    ~PictureProgress();
    PictureProgress(const PictureProgress&) = delete;
    PictureProgress& operator=(const PictureProgress&) = delete;

    void update(unsigned done);
    void finish();  // clears the line

    // The line drawn for `done` pictures after `seconds` (for tests).
    static std::string line(unsigned done, unsigned total, double seconds, const std::string& what);

private:
    unsigned mTotal;
    std::string mWhat;
    bool mEnabled;
    bool mDrawn = false;
    std::chrono::steady_clock::time_point mStart, mLast;
};

}  // namespace kestrel::tool
