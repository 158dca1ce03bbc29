// SPDX-License-Identifier: Apache-2.0
// Host stand-in for Android's liblog: one line per message on standard error,
// "P/tag: message", with P the priority letter (V D I W E F for 2 to 7).
#include <android/log.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

char priorityLetter(int prio) {
    static const char kLetters[] = "??VDIWEF";
    return (prio >= 0 && prio <= ANDROID_LOG_FATAL) ? kLetters[prio] : '?';
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int __android_log_print(int prio, const char* tag,
                                                                         const char* fmt, ...) {
    if (tag == nullptr) tag = "";
    if (fmt == nullptr) fmt = "";

    char stackBuffer[512];
    char* message = stackBuffer;
    va_list args;
    va_start(args, fmt);
    int length = std::vsnprintf(stackBuffer, sizeof stackBuffer, fmt, args);
    va_end(args);
    if (length < 0) return length;
    if (static_cast<size_t>(length) >= sizeof stackBuffer) {
        message = static_cast<char*>(std::malloc(static_cast<size_t>(length) + 1));
        if (message == nullptr) return -1;
        va_start(args, fmt);
        std::vsnprintf(message, static_cast<size_t>(length) + 1, fmt, args);
        va_end(args);
    }
    // One write per line, so lines from several threads do not interleave.
    std::fprintf(stderr, "%c/%s: %s\n", priorityLetter(prio), tag, message);
    if (message != stackBuffer) std::free(message);
    return length;
}
