// SPDX-License-Identifier: Apache-2.0
// kestrel check: does a stream's HDR10+ describe its pictures?
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "tools/kestrel/analyze/metadata_check.h"

namespace kestrel::tool {

struct CheckOptions {
    std::string input;
    std::string format = "text";  // text or json
    std::string output;
    double margin = kDefaultCheckMarginCodes;
    bool strict = false;
    unsigned threads = 0;
};

class CheckCommand {
public:
    explicit CheckCommand(CLI::App& app);
    CLI::App* command() const { return mCommand; }
    bool chosen() const { return mCommand->parsed(); }
    int run();

private:
    CLI::App* mCommand;
    CheckOptions mOptions;
    std::string mMarginText, mThreadsText;
};

int runCheck(const CheckOptions& options);

}  // namespace kestrel::tool
