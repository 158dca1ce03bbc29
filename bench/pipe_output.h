// SPDX-License-Identifier: Apache-2.0
// Standard output pointed at a pipe that another thread drains, as in a host
// whose log reader consumes what the process prints. Unlike /dev/null, every
// full stdio buffer costs a write() into the pipe and a wake-up of the reader.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <thread>

namespace bench {

class PipeDrainedStdout {
public:
    PipeDrainedStdout() {
        int fds[2];
        if (pipe(fds) != 0) return;
        std::fflush(stdout);
        mSavedOut = dup(STDOUT_FILENO);
        if (mSavedOut < 0 || dup2(fds[1], STDOUT_FILENO) < 0) {
            close(fds[0]);
            close(fds[1]);
            return;
        }
        close(fds[1]);  // descriptor 1 is now the only write end
        const int readEnd = fds[0];
        mReader = std::thread([readEnd] {
            char sink[16384];
            while (read(readEnd, sink, sizeof sink) > 0) {
            }
            close(readEnd);
        });
        mActive = true;
    }
    ~PipeDrainedStdout() {
        if (!mActive) return;
        std::fflush(stdout);
        // Restoring descriptor 1 closes the pipe's last write end: the reader
        // sees end-of-file and finishes.
        dup2(mSavedOut, STDOUT_FILENO);
        close(mSavedOut);
        mReader.join();
    }
    bool active() const { return mActive; }
    PipeDrainedStdout(const PipeDrainedStdout&) = delete;
    PipeDrainedStdout& operator=(const PipeDrainedStdout&) = delete;

private:
    int mSavedOut = -1;
    bool mActive = false;
    std::thread mReader;
};

}  // namespace bench
