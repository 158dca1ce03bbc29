// SPDX-License-Identifier: Apache-2.0
// A loaded plug-in reports on the process's standard output (printf lines)
// and standard error (log lines), as it does in a host: its copy of the
// library has its own diagnostics sink, which the tool does not reach. To
// keep the tool's own output readable, calls into the loaded plug-in run with
// both file descriptors pointed at one temporary file, which is read back
// afterwards; since both streams share the file, their lines stay in the
// order they were written. (Library code linked into the tool itself is
// heard through analysis/library_lines.h instead.)
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kestrel::tool {

// Runs `call` with standard output and standard error captured, and returns
// what was written. The descriptors are restored even if `call` throws.
std::string captureOutput(const std::function<void()>& call);

std::vector<std::string> splitLines(const std::string& text);

// Log lines of error priority ("E/tag: message") among captured lines.
bool isErrorLogLine(const std::string& line);

}  // namespace kestrel::tool
