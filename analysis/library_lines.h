// SPDX-License-Identifier: Apache-2.0
// The lines the library writes during a call, received through the calling
// thread's diagnostics sink (common/diagnostic_sink.h) instead of from the
// process's descriptors: nothing is redirected, other threads are not
// affected, and the analysis can run inside a program that owns its
// standard output.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/diagnostic_sink.h"

namespace kestrel::analysis {

struct LibraryLine {
    diag::RecordKind kind;
    diag::Priority priority;
    std::string text;  // without newline; a log line without tag and priority letter
    size_t originLength = 0;  // of a standard-output line: its leading "function(line)"
};

// Runs `call` and returns every line the library wrote meanwhile on this
// thread, in order.
std::vector<LibraryLine> collectLibraryLines(const std::function<void()>& call);

// The line as defaultSinkText() shows it, without the "function(line)" a
// standard-output line starts with: what a person reads.
std::string messageText(const LibraryLine& line);

// Whether the line is a log message of error priority.
bool isError(const LibraryLine& line);

// The line as the default sink of a host build shows it: a standard-output
// line as it is, a log line as "P/liborrin: message" (P the priority
// letter), without the newline.
std::string defaultSinkText(const LibraryLine& line);

}  // namespace kestrel::analysis
