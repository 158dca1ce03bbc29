// The tool's subcommands. Each returns the process exit status: 0 when all
// went well, 1 when an input was wrong or a check failed (the message says
// which), and for `frame` with --require-block, 3 when a frame got no block.
#pragma once

#include <string>
#include <vector>

namespace kestrel::tool {

struct FrameOptions {
    std::string script;
    std::string plugin;    // empty: liborrin_kestrel.so beside the tool
    std::string diagOut;   // empty: plug-in output shown inline
    std::string blockOut;  // empty: not written; "{frame}" becomes the frame number
    std::string preset;    // empty: the plug-in's own; else loaded at run time
    bool quiet = false;    // the plug-in's lines are not shown (errors still are)
    bool requireBlock = false;
};

struct LutOptions {
    std::string metadata;
    unsigned frame = 0;
    unsigned targetNits = 1000;
    unsigned layerNits = 1000;
    std::string format;  // table, csv or json; empty: table, or csv with allFrames
    std::string plot;
    std::string diagOut;
    bool allFrames = false;
    std::vector<double> levels;  // input levels in cd/m² for the all-frames plot
};

struct PresetCheckOptions {
    std::string file;
    std::string plot;
    bool strict = false;  // warnings fail the check too
};

int runFrame(const FrameOptions& options);
int runLut(const LutOptions& options);
int runPresetCheck(const PresetCheckOptions& options);

}  // namespace kestrel::tool
