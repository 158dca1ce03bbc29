// SPDX-License-Identifier: Apache-2.0
#include "authoring/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace kestrel::authoring {

namespace {

constexpr int kAttempts = 100;
constexpr int kLinkHops = 40;  // as many links as the kernel follows in one name

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

// The file a name finally stands for: each symbolic link replaced by what
// it holds (a relative one from the link's folder). A name that does not
// exist stands for itself, so a link to nothing yet gives the name the file
// will get. Empty when a link leads into /proc: /dev/stdout and /dev/fd/N
// stand for the process's open descriptors, whose links name no path a file
// can be renamed onto (a pipe's is "pipe:[N]"); such a name is written
// through.
Result<std::string> followLinks(const std::string& path) {
    std::string name = path;
    for (int hop = 0; hop < kLinkHops; ++hop) {
        if (name.rfind("/proc/", 0) == 0) return std::string();
        struct stat info;
        if (lstat(name.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return name;
        std::vector<char> held(static_cast<size_t>(std::max<off_t>(info.st_size, 0)) + 1);
        const ssize_t got = readlink(name.c_str(), held.data(), held.size());
        if (got < 0) return ioFailure(path, "cannot read the link", errno);
        // As long as the buffer: the link changed since lstat; try again.
        if (static_cast<size_t>(got) == held.size()) continue;
        const std::string link(held.data(), static_cast<size_t>(got));
        if (!link.empty() && link[0] == '/') {
            name = link;
        } else {
            std::string folder, base;
            splitPath(name, folder, base);
            name = folder + link;
        }
    }
    return ioFailure(path, "cannot follow its links", ELOOP);
}

}  // namespace

Result<std::unique_ptr<ReplacingFile>> ReplacingFile::create(const std::string& path) {
    std::string folder, name;
    splitPath(path, folder, name);
    if (name.empty() || name == "." || name == "..")
        return Status::failure(ErrorKind::Invalid, path + ": names a folder, not a file");
    struct stat info;
    const bool exists = stat(path.c_str(), &info) == 0;  // what the links lead to
    if (exists && S_ISDIR(info.st_mode))
        return Status::failure(ErrorKind::Invalid, path + ": is a folder, not a file");
    Result<std::string> target = followLinks(path);
    if (!target) return target.status();
    if ((exists && !S_ISREG(info.st_mode)) || target->empty()) {
        // A pipe, a terminal, a device or an open descriptor: renaming a
        // file onto the name would replace the node itself (as root,
        // /dev/null with a plain file) or fail, so it is written through,
        // as by a redirection.
        const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0) return ioFailure(path, "cannot open", errno);
        std::FILE* file = fdopen(fd, "wb");
        if (file == nullptr) {
            const int code = errno;
            close(fd);
            return ioFailure(path, "cannot open", code);
        }
        return std::unique_ptr<ReplacingFile>(new ReplacingFile(path, path, "", file));
    }
    splitPath(*target, folder, name);

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
        if (exists) {
            // The replaced file's permissions and owner. Only a privileged
            // process may give a file away: elsewhere the refusal leaves the
            // process's own owner, as on a file it creates.
            const int owned = fchown(fd, info.st_uid, info.st_gid);
            static_cast<void>(owned);
            if (fchmod(fd, info.st_mode & 0777) != 0) {
                code = errno;
                close(fd);
                unlink(temporary.c_str());
                return ioFailure(path, "cannot give the new file the old one's permissions", code);
            }
        }
        std::FILE* file = fdopen(fd, "wb");
        if (file == nullptr) {
            code = errno;
            close(fd);
            unlink(temporary.c_str());
            return ioFailure(path, "cannot open", code);
        }
        return std::unique_ptr<ReplacingFile>(new ReplacingFile(path, *target, temporary, file));
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
    if (mTemporary.empty()) return {};  // written through
    if (std::rename(mTemporary.c_str(), mTarget.c_str()) != 0) {
        code = errno;
        discard();
        return ioFailure(mPath, "cannot put the file in place", code);
    }
    mTemporary.clear();
    return {};
}

}  // namespace kestrel::authoring
