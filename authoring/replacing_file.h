// SPDX-License-Identifier: Apache-2.0
// An output file that appears whole or not at all: written under a temporary
// name in the folder of its final name and renamed onto it once complete, so
// that a failure part-way (a damaged input, a full disk, an interrupted run)
// leaves any earlier file of that name as it was and no half-written one.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "common/status.h"

namespace kestrel::authoring {

class ReplacingFile {
public:
    // Creates the temporary file, with the permissions a new file gets
    // (0666 less the process's umask).
    static Result<std::unique_ptr<ReplacingFile>> create(const std::string& path);
    ~ReplacingFile();  // removes the temporary file unless committed
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    std::FILE* file() { return mFile; }
    const std::string& temporaryPath() const { return mTemporary; }

    // Flushes, closes and renames onto the final name. After a failure the
    // temporary file is gone and the final name untouched.
    Status commit();

private:
    ReplacingFile(std::string path, std::string temporary, std::FILE* file)
        : mPath(std::move(path)), mTemporary(std::move(temporary)), mFile(file) {}
    void discard();

    std::string mPath;
    std::string mTemporary;
    std::FILE* mFile;
};

}  // namespace kestrel::authoring
