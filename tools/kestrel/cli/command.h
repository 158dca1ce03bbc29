// SPDX-License-Identifier: Apache-2.0
// One command of the tool: it puts its options on the command line, reads
// their texts into values once the line is parsed, and runs. Adding a
// command is one file with a make function and one line in
// command_table.cpp.
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::tool {

class Command {
public:
    virtual ~Command() = default;
    // Adds the command (a subcommand of `app`, which may have commands of
    // its own) and its options. Returns the subcommand.
    virtual CLI::App* define(CLI::App& app) = 0;
    // After a successful parse, for the command chosen: reads the options'
    // texts into numbers and checks combinations. A message for the usage
    // error ("kestrel lut: --levels needs --all-frames and --plot"), or
    // empty.
    virtual std::string check() { return ""; }
    // Returns the process's exit status (commands.h).
    virtual int run() = 0;
};

// Every command, in the order --help lists them.
std::vector<std::unique_ptr<Command>> commandTable();

}  // namespace kestrel::tool
