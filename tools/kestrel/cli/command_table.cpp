#include "tools/kestrel/cli/command.h"
#include "tools/kestrel/cli/commands.h"
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
    "  3  frame --require-block: a frame got no block";

std::vector<std::unique_ptr<Command>> commandTable() {
    std::vector<std::unique_ptr<Command>> table;
    table.push_back(makeFrameCommand());
    table.push_back(makeLutCommand());
    table.push_back(makeReportCommand());
    table.push_back(makeMetadataCommand());
    table.push_back(makePresetCommand());
#ifdef KESTREL_HAVE_PREVIEW
    table.push_back(makePreviewCommand());
#endif
    return table;
}

}  // namespace kestrel::tool
