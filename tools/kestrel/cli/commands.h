// SPDX-License-Identifier: Apache-2.0
// The tool's commands and the exit statuses they return (main() adds
// kExitUsage for mistakes on the command line). Each command lives in its
// own file; command_table.cpp lists them.
#pragma once

#include <memory>

namespace kestrel::tool {

class Command;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;   // an input was wrong, a check failed, or --strict saw a warning
constexpr int kExitUsage = 2;    // the command line was wrong
constexpr int kExitNoBlock = 3;  // frame --require-block: a frame got no block

// The exit statuses of all commands, for the tool's own --help; each
// command's --help lists its own (exit_status_help.h).
extern const char* const kExitStatuses;

std::unique_ptr<Command> makeFrameCommand();
std::unique_ptr<Command> makeLutCommand();
std::unique_ptr<Command> makeReportCommand();
std::unique_ptr<Command> makeMetadataCommand();
std::unique_ptr<Command> makePresetCommand();

}  // namespace kestrel::tool
