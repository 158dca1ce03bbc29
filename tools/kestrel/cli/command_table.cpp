#include "tools/kestrel/cli/command.h"
#include "tools/kestrel/cli/commands.h"

namespace kestrel::tool {

const char* const kExitStatuses =
    "Exit status:\n"
    "  0  all went well\n"
    "  1  an input was wrong or a check failed (the message says which), or, with\n"
    "     --strict, a warning was given\n"
    "  2  the command line was wrong\n"
    "  3  frame --require-block: a frame got no block, or a layer that needed tables\n"
    "     got none";

std::vector<std::unique_ptr<Command>> commandTable() {
    std::vector<std::unique_ptr<Command>> table;
    table.push_back(makeFrameCommand());
    table.push_back(makeLutCommand());
    table.push_back(makeReportCommand());
    table.push_back(makeMetadataCommand());
    table.push_back(makePresetCommand());
    return table;
}

}  // namespace kestrel::tool
