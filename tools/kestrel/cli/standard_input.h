// SPDX-License-Identifier: Apache-2.0
// `-` as an input: standard input, often a pipe (`ffmpeg ... -f hevc - |
// kestrel metadata -`), which can be read only once while every reader
// starts again from the first byte (the container reader opens a path). It
// is read once, whole, into a temporary file that the readers then open.
#pragma once

#include <string>

#include "common/status.h"

namespace kestrel::tool {

// What messages call it.
constexpr const char* kStandardInputName = "standard input";

class StandardInputCopy {
public:
    StandardInputCopy() = default;
    ~StandardInputCopy();  // removes the file
    StandardInputCopy(const StandardInputCopy&) = delete;
    StandardInputCopy& operator=(const StandardInputCopy&) = delete;

    // Copies standard input to a new file under $TMPDIR (or /tmp). An
    // ErrorKind::Io failure, with the errno as its code, when it cannot be
    // read or the copy written.
    Status make();
    const std::string& path() const { return mPath; }

private:
    std::string mPath;
};

}  // namespace kestrel::tool
