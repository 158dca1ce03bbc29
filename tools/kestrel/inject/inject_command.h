// SPDX-License-Identifier: Apache-2.0
// kestrel inject: HDR10+ metadata written into an HEVC Annex B stream.
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <string>

namespace kestrel::tool {

struct InjectOptions {
    std::string input;     // HEVC Annex B stream
    std::string metadata;  // JSON, or a stream or container file to take it from
    std::string output;
    bool repeatLast = false;
};

class InjectCommand {
public:
    // Registers the subcommand on `app`.
    explicit InjectCommand(CLI::App& app);
    CLI::App* command() const { return mCommand; }
    bool chosen() const { return mCommand->parsed(); }
    int run() const;

private:
    CLI::App* mCommand;
    InjectOptions mOptions;
};

// Runs the command on options already read.
int runInject(const InjectOptions& options);

}  // namespace kestrel::tool
