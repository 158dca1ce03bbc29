// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/cli/output_file.h"

#include <cerrno>
#include <cstring>

namespace kestrel::tool {

Status openOutputFile(std::ofstream& file, const std::string& path) {
    errno = 0;
    file.open(path, std::ios::out | std::ios::trunc);
    if (file) return {};
    // errno is kept before the sentence is built, which may allocate.
    const int number = errno;
    const Status failed = Status::failure(
        ErrorKind::Io,
        path + ": cannot write: " + (number != 0 ? std::strerror(number) : "open failed"));
    return number != 0 ? failed.withCode(number) : failed;
}

}  // namespace kestrel::tool
