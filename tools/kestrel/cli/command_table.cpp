// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/cli/command.h"
#include "tools/kestrel/cli/commands.h"
#include "tools/kestrel/inject/inject_command.h"
#ifdef KESTREL_HAVE_ANALYZE
#include "tools/kestrel/analyze/analyze_command.h"
#include "tools/kestrel/analyze/check_command.h"
#endif
#ifdef KESTREL_HAVE_PREVIEW
#include "tools/kestrel/preview/preview_cli.h"
#endif

namespace kestrel::tool {

const char* const kExitStatuses =
    "Exit status:\n"
    "  0  all went well\n"
    "  1  an input was wrong or a check failed (the message says which), or, with\n"
    "     --strict, a warning was given\n"
    "  2  the command line was wrong\n"
    "  3  frame --require-block: a frame got no block, or a layer that needed tables\n"
    "     got none\n"
    "Each command's --help lists the statuses it gives.";

namespace {

// A command class that puts itself on the command line when made (with its
// own --help, exit statuses included) and names the subcommand it made.
template <class C>
class SelfDefinedCommand final : public Command {
public:
    CLI::App* define(CLI::App& app) override {
        mCommand = std::make_unique<C>(app);
        return mCommand->command();
    }
    int run() override { return mCommand->run(); }

private:
    std::unique_ptr<C> mCommand;
};

}  // namespace

std::vector<std::unique_ptr<Command>> commandTable() {
    std::vector<std::unique_ptr<Command>> table;
    table.push_back(makeFrameCommand());
    table.push_back(makeLutCommand());
    table.push_back(makeReportCommand());
    table.push_back(makeMetadataCommand());
    table.push_back(std::make_unique<SelfDefinedCommand<InjectCommand>>());
#ifdef KESTREL_HAVE_ANALYZE
    table.push_back(std::make_unique<SelfDefinedCommand<AnalyzeCommand>>());
    table.push_back(std::make_unique<SelfDefinedCommand<CheckCommand>>());
#endif
    table.push_back(makePresetCommand());
#ifdef KESTREL_HAVE_PREVIEW
    table.push_back(makePreviewCommand());
#endif
    return table;
}

}  // namespace kestrel::tool
