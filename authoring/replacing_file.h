// SPDX-License-Identifier: Apache-2.0
// An output file that appears whole or not at all: written under a temporary
// name in the folder of its final name and renamed onto it once complete, so
// that a failure part-way (a damaged input, a full disk, an interrupted run)
// leaves any earlier file of that name as it was and no half-written one.
//
// What the name already is decides where the bytes go, as a shell's
// redirection would: a symbolic link is followed and the file it names is
// replaced (the link stays); a pipe, a terminal or a device (/dev/stdout,
// /dev/null) is written through, as nothing can be renamed onto it; an
// existing file keeps its permissions (and, where the process may set them,
// its owner). Another hard link to a replaced file keeps the old contents.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "common/status.h"

namespace kestrel::authoring {

class ReplacingFile {
public:
    // Creates the temporary file, with the permissions a new file gets
    // (0666 less the process's umask) or those of the file it replaces; or
    // opens the pipe or device `path` names.
    static Result<std::unique_ptr<ReplacingFile>> create(const std::string& path);
    ~ReplacingFile();  // removes the temporary file unless committed
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    std::FILE* file() { return mFile; }
    // Empty where the name is written through.
    const std::string& temporaryPath() const { return mTemporary; }

    // Flushes, closes and renames onto the final name. After a failure the
    // temporary file is gone and the final name untouched (a pipe or a
    // device has what was written before the failure).
    Status commit();

private:
    ReplacingFile(std::string path, std::string target, std::string temporary, std::FILE* file)
        : mPath(std::move(path)),
          mTarget(std::move(target)),
          mTemporary(std::move(temporary)),
          mFile(file) {}
    void discard();

    std::string mPath;    // as the caller named it, for messages
    std::string mTarget;  // the file renamed onto: mPath with its links followed
    std::string mTemporary;
    std::FILE* mFile;
};

}  // namespace kestrel::authoring
