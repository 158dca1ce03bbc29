// kestrel: run frames through the plug-in as a host does, inspect the tone
// mapping the library makes from HDR10+ metadata, and check preset files.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <string>

#include "analysis/jump_detection.h"
#ifdef KESTREL_HAVE_CONTAINERS
#include "container/hevc_track.h"
#endif
#include "tools/kestrel/cli/commands.h"
#include "tools/kestrel/cli/option_values.h"
#include "tools/kestrel/host/plugin_loader.h"

using namespace kestrel::tool;

namespace {

#ifndef KESTREL_VERSION
#define KESTREL_VERSION "unknown"
#endif

const char* kExitStatuses =
    "Exit status:\n"
    "  0  all went well\n"
    "  1  an input was wrong or a check failed (the message says which), or, with\n"
    "     --strict, a warning was given\n"
    "  2  the command line was wrong\n"
    "  3  frame --require-block: a frame got no block, or a layer that needed tables\n"
    "     got none";

const char* kLutExamples =
    "Examples:\n"
    "  kestrel lut clip.json --frame 12 --target-nits 600\n"
    "  kestrel lut clip.json --frame 12 --target-nits 400,600,1000 --plot curves.png\n"
    "  kestrel lut clip.json --all-frames --format json --strict > frames.json\n"
    "  kestrel lut clip.json --all-frames --plot levels.svg --levels 1,10,100\n"
    "  kestrel lut clip.hevc --frame 12   (streams and container files too)";

const char* kReportExamples =
    "Examples:\n"
    "  kestrel report clip.json --target-nits 400,600,1000 -o clip-report.html\n"
    "  kestrel report clip.json --target-nits 600 --format json --fail-on-jumps > jumps.json\n"
    "  kestrel report clip.json --target-nits 600 --jump-threshold 4 -o clip-report.html";

const char* kFrameExamples =
    "Examples:\n"
    "  kestrel frame examples/frames/demo.json\n"
    "  kestrel frame examples/frames/demo.json --preset examples/presets/example_preset.json "
    "--quiet\n"
    "  kestrel frame script.json --block-out block-{frame}.bin --require-block\n"
    "  kestrel frame script.json --format json --require-block > frames.json\n"
    "  kestrel frame script.json --format c > blocks.h";

const char* kPresetCheckExamples =
    "Examples:\n"
    "  kestrel preset check examples/presets/example_preset.json\n"
    "  kestrel preset check my_preset.json --strict --plot my_preset.png";

const char* kMetadataExamples =
    "Examples:\n"
    "  kestrel metadata clip.hevc -o clip.json\n"
    "  kestrel metadata film.mkv > film.json\n"
    "  ffmpeg -i film.mkv -c copy -f hevc - | kestrel metadata - > film.json\n"
    "  kestrel metadata clip.hevc --check -o clip.json";

bool isNumber(const std::string& text) {
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return !text.empty() && end != nullptr && *end == '\0';
}

std::string subcommandNames(const CLI::App& app) {
    std::string names;
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
        names += (names.empty() ? "" : ", ") + sub->get_name();
    }
    return names;
}

// The first word of the command line that names no subcommand or option
// where it stands, as a message; empty when there is none. CLI11 on its own
// would report "a subcommand is required" or a file that does not exist.
std::string unknownWord(CLI::App& app, int argc, char** argv) {
    CLI::App* current = &app;
    std::string path = "kestrel";
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--") break;
        if (arg.size() > 1 && arg[0] == '-' && !isNumber(arg)) {
            const std::string name = arg.substr(0, arg.find('='));
            if (current->get_option_no_throw(name) == nullptr)
                return path + ": unknown option " + name;
            continue;
        }
        const bool choosing =
            !current->get_subcommands([](const CLI::App*) { return true; }).empty();
        if (!choosing) continue;  // an operand or an option's value
        CLI::App* sub = nullptr;
        for (CLI::App* candidate : current->get_subcommands([](const CLI::App*) { return true; }))
            if (candidate->check_name(arg)) sub = candidate;
        if (sub == nullptr) {
            return path + ": unknown subcommand \"" + arg +
                   "\" (known: " + subcommandNames(*current) + ")";
        }
        current = sub;
        path += " " + arg;
    }
    return "";
}

// The command the command line chose, with its words ("kestrel preset
// check") in `path`, so that the parser's own messages name the command they
// are about: "kestrel: metadata is required" would read as if the
// `metadata` command were meant.
const CLI::App* chosenCommand(CLI::App& app, int argc, char** argv, std::string& path) {
    CLI::App* current = &app;
    path = "kestrel";
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--") break;
        if (arg.empty() || arg[0] == '-') continue;
        for (CLI::App* sub : current->get_subcommands([](const CLI::App*) { return true; })) {
            if (sub->check_name(arg)) {
                current = sub;
                path += " " + arg;
                break;
            }
        }
    }
    return current;
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "%s\nRun with --help for more information.\n", message.c_str());
    return kExitUsage;
}

int printVersion() {
    std::printf("kestrel %s\n", KESTREL_VERSION);
    const std::string path = defaultPluginPath();
    PluginBuild build;
    std::string error;
    if (!readPluginBuild(path, build, error)) {
        std::printf("plug-in: %s\n", error.c_str());
        return kExitOk;
    }
    std::printf("plug-in: %s, version %s\n", path.c_str(), build.version.c_str());
    std::printf("%s\n", compiledPresetLine(path).c_str());
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    // Line-buffered, so that the tool's lines and those of the library,
    // which share the descriptors, come out in the order they were written.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
#ifdef KESTREL_HAVE_CONTAINERS
    // The tool owns its process: the demuxer's own log stays quiet, and what
    // it would say about a damaged file comes back as the reader's error.
    kestrel::container::quietDemuxerLog();
#endif

    CLI::App app{
        "kestrel: drive the HDR conversion plug-in as a host does, inspect the tone mapping\n"
        "it makes from HDR10+ metadata, and check preset files."};
    app.require_subcommand(0, 1);
    app.footer(kExitStatuses);
    bool version = false;
    app.add_flag("--version", version,
                 "Print the version, and whether the plug-in beside the tool has a preset "
                 "compiled in");

    FrameOptions frame;
    CLI::App* frameCommand = app.add_subcommand(
        "frame", "Load the plug-in and run the frames of a frame script through it");
    // Files are opened by the command, which names what is wrong with them
    // and exits with status 1 as every other command does for its inputs.
    frameCommand->add_option("script", frame.script, "Frame script (JSON)")->required();
    CLI::Option* pluginOption =
        frameCommand->add_option("--plugin", frame.plugin,
                                 "Plug-in to load (default: liborrin_kestrel.so beside this tool)");
    frameCommand
        ->add_option("--preset", frame.preset,
                     "Load this preset file at run time into the plug-in's store, as a plug-in "
                     "built with it would hold it (uses libkestrel_runtime_preset.so beside "
                     "this tool)")
        ->excludes(pluginOption);
    frameCommand->add_option("--diag-out", frame.diagOut,
                             "Write the plug-in's own output to this file instead of showing it "
                             "(its error lines are always shown on standard error)");
    frameCommand->add_flag("--quiet", frame.quiet,
                           "Do not show the plug-in's own output (its error lines are still "
                           "shown on standard error)");
    frameCommand->add_option("--block-out", frame.blockOut,
                             "Write the 1416-byte block of each frame that has one to this file "
                             "(\"{frame}\" in the name becomes the frame number)");
    frameCommand->add_flag("--require-block", frame.requireBlock,
                           "Exit with status 3 when getParams() returns null for a frame, or "
                           "passes through a layer that needed tables (not a gamma layer, and "
                           "brighter than the target)");
    frameCommand
        ->add_option("--format", frame.format,
                     "text (default); json: each frame's layer outcomes and block; c: each "
                     "block as a C array of its 354 words")
        ->check(CLI::IsMember({"text", "json", "c"}));
    frameCommand->footer(std::string(kFrameExamples) + "\n\n" + kExitStatuses);

    LutOptions lut;
    std::string frameText, layerText, maxErrorText, maxRatioText, axesText;
    std::vector<std::string> targetTexts, levelTexts;
    CLI::App* lutCommand = app.add_subcommand(
        "lut", "Adapt the tone curve of HDR10+ metadata to a target and show its 33-point table");
    lutCommand
        ->add_option("metadata", lut.metadata,
                     "HDR10+ metadata: JSON, an HEVC stream or a container file")
        ->required();
    CLI::Option* frameOption = lutCommand->add_option(
        "--frame", frameText, "Frame of the file to use (from 0; default 0)");
    frameOption->type_name("N");
    lutCommand
        ->add_option("--target-nits", targetTexts,
                     "Peak of the target display, cd/m² (default 1000); several, separated by "
                     "commas, give one table each and one plot with all of them")
        ->expected(1)
        ->take_all()
        ->allow_extra_args(false)  // the next word is the input, not a second peak
        ->type_name("N[,N...]");
    lutCommand
        ->add_option("--layer-nits", layerText,
                     "Maximum luminance of the layer, passed on as a host would (default 1000). "
                     "It changes nothing here: the library's table depends on the target only")
        ->type_name("N");
    lutCommand
        ->add_option("--format", lut.format,
                     "Output: table, csv or json (default table; csv with --all-frames)")
        ->check(CLI::IsMember({"table", "csv", "json"}));
    CLI::Option* plot =
        lutCommand->add_option("--plot", lut.plot, "Draw the curves to a .png or .svg file")
            ->type_name("FILE");
    lutCommand
        ->add_option("--axes", axesText,
                     "With --plot: nits (cd/m², log axes; default) or pq (10-bit PQ codes)")
        ->check(CLI::IsMember({"nits", "pq"}));
    lutCommand->add_option("--diag-out", lut.diagOut,
                           "Write the library's own output to this file (error lines are "
                           "always shown on standard error)");
    CLI::Option* allFrames =
        lutCommand->add_flag("--all-frames", lut.allFrames,
                             "Every frame: one row each (knee, first anchor, source peak, "
                             "largest interpolation error, time, warnings)");
    lutCommand
        ->add_option("--levels", levelTexts,
                     "With --all-frames and --plot: input levels (cd/m²), separated by commas, "
                     "whose output is drawn across the frames (default 1,10,100,1000)")
        ->expected(1)
        ->take_all()
        ->allow_extra_args(false)
        ->type_name("L[,L...]");
    char maxErrorHelp[160];
    std::snprintf(maxErrorHelp, sizeof maxErrorHelp,
                  "Warn when the table's largest interpolation error exceeds this, of unit "
                  "gain (default %g)",
                  kDefaultMaxError);
    lutCommand->add_option("--max-error", maxErrorText, maxErrorHelp)->type_name("E");
    char maxRatioHelp[240];
    std::snprintf(maxRatioHelp, sizeof maxRatioHelp,
                  "Warn when the table shows any input up to the source peak more than R times "
                  "as bright as mastered (default %g: one photographic stop); a source peak "
                  "under %g cd/m² is a fade, warned about whatever R",
                  kDefaultMaxRatio, kFadePeakFloor);
    lutCommand->add_option("--max-ratio", maxRatioText, maxRatioHelp)->type_name("R");
    lutCommand->add_flag("--strict", lut.strict, "Exit with status 1 when there is any warning");
    frameOption->excludes(allFrames);
    lutCommand->footer(std::string(kLutExamples) + "\n\n" + kExitStatuses);

    ReportOptions report;
    report.jumpThreshold = kDefaultJumpThresholdCodes;
    report.maxError = kDefaultMaxError;
    std::string reportLayerText, thresholdText, reportMaxErrorText, reportMaxRatioText;
    std::vector<std::string> reportTargetTexts;
    CLI::App* reportCommand = app.add_subcommand(
        "report",
        "A whole clip on one or more target displays, in one self-contained HTML page:\n"
        "timelines, every frame's curve, and the frames inside a scene where the picture\n"
        "jumps");
    reportCommand
        ->add_option("input", report.input,
                     "HDR10+ metadata: JSON, an HEVC stream or a container file")
        ->required();
    reportCommand
        ->add_option("--target-nits", reportTargetTexts,
                     "Peaks of the target displays, cd/m², separated by commas (default 1000)")
        ->expected(1)
        ->take_all()
        ->allow_extra_args(false)  // the next word is the input, not a second peak
        ->type_name("N[,N...]");
    reportCommand
        ->add_option("--layer-nits", reportLayerText,
                     "Maximum luminance of the layer, passed on as a host would (default 1000). "
                     "It changes nothing here: the library's table depends on the target only")
        ->type_name("N");
    reportCommand->add_option("--format", report.format, "html (the page) or json (its data)")
        ->check(CLI::IsMember({"html", "json"}))
        ->capture_default_str();
    reportCommand->add_option("-o,--output", report.output,
                              "File to write (default: standard output, which for the page "
                              "must not be a terminal)");
    char thresholdHelp[200];
    std::snprintf(thresholdHelp, sizeof thresholdHelp,
                  "Flag a frame whose output at a fixed input level differs from the previous "
                  "frame's of the same scene by more than this many 10-bit PQ codes "
                  "(default %g)",
                  kDefaultJumpThresholdCodes);
    reportCommand->add_option("--jump-threshold", thresholdText, thresholdHelp)->type_name("CODES");
    reportCommand->add_option("--max-error", reportMaxErrorText, maxErrorHelp)->type_name("E");
    reportCommand->add_option("--max-ratio", reportMaxRatioText, maxRatioHelp)->type_name("R");
    reportCommand->add_flag("--fail-on-warnings,--strict", report.failOnWarnings,
                            "Exit with status 1 when any frame has a warning");
    reportCommand->add_flag("--fail-on-jumps", report.failOnJumps,
                            "Exit with status 1 when a frame is flagged (a jump inside a scene, "
                            "or a short run that stands out)");
    reportCommand
        ->add_option("--scenes", report.scenes,
                     "The first frame of each scene, one a line or in the first column of a "
                     "CSV file, instead of the metadata's scenes")
        ->type_name("FILE");
    reportCommand->footer(std::string(kReportExamples) + "\n\n" + kExitStatuses +
                          "\n  report gives 1 also when a frame was rejected (the page is still "
                          "written),\n  when the clip has no frames, with --fail-on-jumps when a "
                          "frame was flagged,\n  and with --fail-on-warnings when a frame has a "
                          "warning");

    MetadataOptions metadata;
    CLI::App* metadataCommand = app.add_subcommand(
        "metadata",
        "Extract the HDR10+ metadata of an HEVC stream or container file as JSON, one entry per "
        "frame in display order");
    metadataCommand
        ->add_option("input", metadata.input,
                     "HEVC Annex B stream (.hevc, .h265), Matroska, WebM, MP4 or MPEG-TS file, "
                     "or HDR10+ JSON; told apart by content; - for standard input")
        ->required();
    metadataCommand->add_option("-o,--output", metadata.output,
                                "Write the JSON to this file (default: standard output)");
    metadataCommand->add_flag("--check", metadata.check,
                              "Check each frame's statistics and curve against each other (MaxScl "
                              "below the 99 % entry, percentages out of order, a curve for a 0 "
                              "cd/m² display, a targeted display without a curve); exit with "
                              "status 1 when one fails");
    metadataCommand->footer(
        std::string(kMetadataExamples) + "\n\n" + kExitStatuses +
        "\n  metadata gives 1 when the input is damaged (the frames before the damage are\n"
        "  still written), when a frame's metadata is not valid, or when there is none;\n"
        "  frames without metadata are named on standard error and written as entries\n"
        "  without LuminanceParameters\n\n");
    PresetCheckOptions preset;
    CLI::App* presetCommand = app.add_subcommand("preset", "Preset files");
    presetCommand->require_subcommand(1);
    CLI::App* checkCommand = presetCommand->add_subcommand(
        "check", "Load a preset file into a fresh store, show the loader's messages and dumps");
    checkCommand->add_option("file", preset.file, "Preset file (JSON)")->required();
    checkCommand->add_option("--plot", preset.plot, "Draw the EOTF and OETF tables (.png or .svg)");
    checkCommand->add_flag("--strict", preset.strict,
                           "Fail on warnings too (entries that share a key with different tables)");
    checkCommand->footer(std::string(kPresetCheckExamples) + "\n\n" + kExitStatuses);

    const std::string unknown = unknownWord(app, argc, argv);
    if (!unknown.empty()) return usageError(unknown);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::string path;
        const CLI::App* command = chosenCommand(app, argc, argv, path);
        if (command != &app &&
            !command->get_subcommands([](const CLI::App*) { return true; }).empty()) {
            return usageError(
                path + ": a subcommand is required (known: " + subcommandNames(*command) + ")");
        }
        return usageError(path + ": " + e.what());
    }
    if (version) return printVersion();

    if (*lutCommand) {
        std::string error;
        bool ok = true;
        if (!frameText.empty())
            ok = parseWholeNumber("--frame", frameText, 0, 0xffffffffu, lut.frame, error);
        if (ok && !targetTexts.empty())
            ok = parseTargetPeaks("--target-nits", targetTexts, lut.targets, error);
        if (ok && !layerText.empty())
            ok = parseWholeNumber("--layer-nits", layerText, 0, 10000, lut.layerNits, error);
        if (ok && !levelTexts.empty())
            ok = parsePositiveNumbers("--levels", levelTexts, lut.levels, error);
        if (ok && !maxErrorText.empty())
            ok = parsePositiveNumber("--max-error", maxErrorText, lut.maxError, error);
        if (ok && !maxRatioText.empty())
            ok = parsePositiveNumber("--max-ratio", maxRatioText, lut.maxRatio, error);
        if (!ok) return usageError("kestrel lut: " + error);
        // Options that would do nothing are mistakes, not silence.
        if (!levelTexts.empty() && (!lut.allFrames || plot->count() == 0))
            return usageError("kestrel lut: --levels needs --all-frames and --plot");
        if (!axesText.empty() && plot->count() == 0)
            return usageError("kestrel lut: --axes needs --plot");
        lut.axes = axesText == "pq" ? LuminanceAxes::Pq : LuminanceAxes::Nits;
    }

    if (*reportCommand) {
        std::string error;
        bool ok = true;
        if (!reportTargetTexts.empty())
            ok = parseTargetPeaks("--target-nits", reportTargetTexts, report.targets, error);
        if (ok && !reportLayerText.empty())
            ok = parseWholeNumber("--layer-nits", reportLayerText, 0, 10000, report.layerNits,
                                  error);
        if (ok && !thresholdText.empty())
            ok =
                parsePositiveNumber("--jump-threshold", thresholdText, report.jumpThreshold, error);
        if (ok && !reportMaxErrorText.empty())
            ok = parsePositiveNumber("--max-error", reportMaxErrorText, report.maxError, error);
        if (ok && !reportMaxRatioText.empty())
            ok = parsePositiveNumber("--max-ratio", reportMaxRatioText, report.maxRatio, error);
        if (!ok) return usageError("kestrel report: " + error);
    }

    try {
        if (*frameCommand) return runFrame(frame);
        if (*lutCommand) return runLut(lut);
        if (*metadataCommand) return runMetadata(metadata);
        if (*reportCommand) return runReport(report);
        if (*checkCommand) return runPresetCheck(preset);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kestrel: %s\n", e.what());
        return kExitFailed;
    }
    return usageError("kestrel: a subcommand is required (known: " + subcommandNames(app) + ")");
}
