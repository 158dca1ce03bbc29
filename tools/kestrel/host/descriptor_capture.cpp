// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/host/descriptor_capture.h"

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <sstream>

namespace kestrel::tool {

namespace {

// Points descriptors 1 and 2 at a file for the life of the object.
class Redirect {
public:
    explicit Redirect(int fd) {
        std::fflush(stdout);
        std::fflush(stderr);
        mSavedOut = dup(STDOUT_FILENO);
        mSavedErr = dup(STDERR_FILENO);
        if (mSavedOut >= 0) dup2(fd, STDOUT_FILENO);
        if (mSavedErr >= 0) dup2(fd, STDERR_FILENO);
    }
    ~Redirect() {
        std::fflush(stdout);
        std::fflush(stderr);
        if (mSavedOut >= 0) {
            dup2(mSavedOut, STDOUT_FILENO);
            close(mSavedOut);
        }
        if (mSavedErr >= 0) {
            dup2(mSavedErr, STDERR_FILENO);
            close(mSavedErr);
        }
    }
    Redirect(const Redirect&) = delete;
    Redirect& operator=(const Redirect&) = delete;

private:
    int mSavedOut = -1;
    int mSavedErr = -1;
};

}  // namespace

std::string captureOutput(const std::function<void()>& call) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
    if (!file) {
        // Nowhere to capture to: let the output through rather than lose it.
        call();
        return std::string();
    }
    {
        Redirect redirect(fileno(file.get()));
        call();
    }
    std::string text;
    std::rewind(file.get());
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) text.append(buffer, n);
    return text;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

bool isErrorLogLine(const std::string& line) { return line.rfind("E/", 0) == 0; }

}  // namespace kestrel::tool
