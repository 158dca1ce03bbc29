// SPDX-License-Identifier: Apache-2.0
#include "authoring/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace kestrel::authoring {

namespace {

constexpr int kAttempts = 100;

Status ioFailure(const std::string& path, const std::string& what, int code) {
    return Status::failure(ErrorKind::Io, path + ": " + what + ": " + std::strerror(code));
}

// The folder part of a path with its slash ("out/" for "out/a.hevc"), and
// the name part.
void splitPath(const std::string& path, std::string& folder, std::string& name) {
    size_t slash = path.rfind('/');
    folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    name = slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

Result<std::unique_ptr<ReplacingFile>> ReplacingFile::create(const std::string& path) {
    std::string folder, name;
    splitPath(path, folder, name);
    if (name.empty() || name == "." || name == "..")
        return Status::failure(ErrorKind::Invalid, path + ": names a folder, not a file");
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return Status::failure(ErrorKind::Invalid, path + ": is a folder, not a file");

    // A name no other writer uses: the process, a counter and the clock. An
    // exclusive create makes a collision a retry, never a shared file; the
    // mode 0666 lets the umask decide the permissions, as for any new file.
    static std::atomic<unsigned> counter{0};
    int code = 0;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
        std::string temporary = folder + "." + name + ".part-" + std::to_string(getpid()) + "-" +
                                std::to_string(counter++) + "-" +
                                std::to_string(static_cast<unsigned long long>(ticks) % 1000000);
        int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            code = errno;
            if (code == EEXIST) continue;
            return ioFailure(path, "cannot create a file beside it", code);
        }
        std::FILE* file = fdopen(fd, "wb");
        if (file == nullptr) {
            code = errno;
            close(fd);
            unlink(temporary.c_str());
            return ioFailure(path, "cannot open", code);
        }
        return std::unique_ptr<ReplacingFile>(new ReplacingFile(path, temporary, file));
    }
    return ioFailure(path, "cannot create a file beside it", code);
}

ReplacingFile::~ReplacingFile() { discard(); }

void ReplacingFile::discard() {
    if (mFile != nullptr) {
        std::fclose(mFile);
        mFile = nullptr;
    }
    if (!mTemporary.empty()) {
        unlink(mTemporary.c_str());
        mTemporary.clear();
    }
}

Status ReplacingFile::commit() {
    if (mFile == nullptr) return Status::failure(ErrorKind::Invalid, mPath + ": already closed");
    bool flushed = std::fflush(mFile) == 0 && !std::ferror(mFile);
    int code = errno;
    bool closed = std::fclose(mFile) == 0;
    if (flushed && !closed) code = errno;
    mFile = nullptr;
    if (!flushed || !closed) {
        discard();
        return ioFailure(mPath, "cannot write", code);
    }
    if (std::rename(mTemporary.c_str(), mPath.c_str()) != 0) {
        code = errno;
        discard();
        return ioFailure(mPath, "cannot put the file in place", code);
    }
    mTemporary.clear();
    return {};
}

}  // namespace kestrel::authoring
