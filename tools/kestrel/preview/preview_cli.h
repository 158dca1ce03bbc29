// SPDX-License-Identifier: Apache-2.0
// The `preview` command on the tool's command line: its options, help and
// the checks of their values (main.cpp only registers it and runs it).
#pragma once

#include <CLI/CLI.hpp>

#include <memory>
#include <string>
#include <vector>

#include "tools/kestrel/cli/command.h"
#include "tools/kestrel/preview/cmd_preview.h"

namespace kestrel::tool {

class PreviewCli {
public:
    explicit PreviewCli(CLI::App& app);
    CLI::App* command() const { return mCommand; }
    bool chosen() const { return mCommand != nullptr && mCommand->parsed(); }
    // The command's exit status; usage mistakes give kExitUsage with the
    // message on standard error.
    int run();

private:
    CLI::App* mCommand = nullptr;
    PreviewOptions mOptions;
    std::string mFrameText, mLayerText, mPeakText, mCropText, mScaleText;
    std::vector<std::string> mTargetTexts;
};

// The command for the tool's table (tools/kestrel/cli/command_table.cpp).
std::unique_ptr<Command> makePreviewCommand();

}  // namespace kestrel::tool
