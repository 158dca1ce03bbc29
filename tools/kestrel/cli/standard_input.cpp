// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/cli/standard_input.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kestrel::tool {

StandardInputCopy::~StandardInputCopy() {
    if (!mPath.empty()) std::remove(mPath.c_str());
}

namespace {

// The failure, its sentence ending in the C library's text for `number`.
Status ioFailure(const std::string& sentence, int number) {
    return Status::failure(ErrorKind::Io, sentence + ": " + std::strerror(number)).withCode(number);
}

}  // namespace

Status StandardInputCopy::make() {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") +
                          "/kestrel-stdin-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        return ioFailure(std::string(kStandardInputName) + ": cannot make a temporary file in " +
                             pattern.substr(0, pattern.rfind('/')),
                         errno);
    }
    mPath = name.data();
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t got = read(STDIN_FILENO, buffer.data(), buffer.size());
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            const int number = errno;
            close(fd);
            return ioFailure(std::string(kStandardInputName) + ": cannot read", number);
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = write(fd, buffer.data() + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) {
                const int number = errno;
                close(fd);
                return ioFailure(std::string(kStandardInputName) + ": cannot copy to " + mPath,
                                 number);
            }
            done += put;
        }
    }
    if (close(fd) != 0) {
        return ioFailure(std::string(kStandardInputName) + ": cannot copy to " + mPath, errno);
    }
    return {};
}

}  // namespace kestrel::tool
