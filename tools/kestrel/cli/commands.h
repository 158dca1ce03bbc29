// The tool's subcommands. Each returns the process exit status, one of
// these (main() adds kExitUsage for mistakes on the command line).
#pragma once

#include <string>
#include <vector>

#include "analysis/clip_analysis.h"
#include "tools/kestrel/render/curve_charts.h"

namespace kestrel::tool {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;   // an input was wrong, a check failed, or --strict saw a warning
constexpr int kExitUsage = 2;    // the command line was wrong
constexpr int kExitNoBlock = 3;  // frame --require-block: a frame got no block

struct FrameOptions {
    std::string script;
    std::string plugin;    // empty: liborrin_kestrel.so beside the tool
    std::string diagOut;   // empty: plug-in output shown inline
    std::string blockOut;  // empty: not written; "{frame}" becomes the frame number
    std::string preset;    // empty: the plug-in's own; else loaded at run time
    bool quiet = false;    // the plug-in's lines are not shown (errors still are)
    bool requireBlock = false;
    std::string format = "text";  // text, json (outcomes and blocks) or c (blocks as C arrays)
};

struct LutOptions {
    std::string metadata;
    unsigned frame = 0;
    std::vector<unsigned> targets{1000};  // target peaks, cd/m²
    unsigned layerNits = 1000;
    std::string format;  // table, csv or json; empty: table, or csv with allFrames
    std::string plot;
    LuminanceAxes axes = LuminanceAxes::Nits;
    std::string diagOut;
    bool allFrames = false;
    std::vector<double> levels;          // input levels in cd/m² for the all-frames plot
    double maxError = kDefaultMaxError;  // of unit gain
    double maxRatio = kDefaultMaxRatio;  // luminance ratio, for the brightening warning
    bool strict = false;                 // a warning makes the exit status 1
};

struct ReportOptions {
    std::string input;
    std::vector<unsigned> targets{1000};
    unsigned layerNits = 1000;
    std::string format = "html";  // html or json
    std::string output;           // empty: standard output
    double jumpThreshold = 0;     // 10-bit PQ codes
    double maxError = 0;          // of unit gain, for the interpolation warning
    double maxRatio = kDefaultMaxRatio;
    bool failOnJumps = false;
    bool failOnWarnings = false;
    std::string scenes;  // a list of first frames of scenes; empty: from the metadata
};

struct MetadataOptions {
    std::string input;   // JSON, HEVC Annex B stream or container file
    std::string output;  // empty: standard output
    bool check = false;  // the consistency rules, each frame; status 1 when one fails
};

struct PresetCheckOptions {
    std::string file;
    std::string plot;
    bool strict = false;  // warnings fail the check too
};

int runFrame(const FrameOptions& options);
int runLut(const LutOptions& options);
int runMetadata(const MetadataOptions& options);
int runReport(const ReportOptions& options);
int runPresetCheck(const PresetCheckOptions& options);

}  // namespace kestrel::tool
