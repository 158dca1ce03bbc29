// kestrel: run frames through the plug-in as a host does, inspect the tone
// mapping the library makes from HDR10+ metadata, and check preset files.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>

#include "tools/kestrel/commands.h"
#include "tools/kestrel/jump_detection.h"

using namespace kestrel::tool;

int main(int argc, char** argv) {
    // Line-buffered, so that the tool's lines and those of the library,
    // which share the descriptors, come out in the order they were written.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    CLI::App app{
        "kestrel: drive the HDR conversion plug-in as a host does, inspect the tone mapping\n"
        "it makes from HDR10+ metadata, and check preset files."};
    app.require_subcommand(1);

    FrameOptions frame;
    CLI::App* frameCommand = app.add_subcommand(
        "frame", "Load the plug-in and run the frames of a frame script through it");
    frameCommand->add_option("script", frame.script, "Frame script (JSON)")
        ->required()
        ->check(CLI::ExistingFile);
    frameCommand->add_option("--plugin", frame.plugin,
                             "Plug-in to load (default: liborrin_kestrel.so beside this tool)");
    frameCommand->add_option("--diag-out", frame.diagOut,
                             "Write the plug-in's own output to this file instead of showing it");
    frameCommand->add_option("--block-out", frame.blockOut,
                             "Write the 1416-byte block of each frame that has one to this file "
                             "(\"{frame}\" in the name becomes the frame number)");
    frameCommand->add_flag("--require-block", frame.requireBlock,
                           "Exit with status 3 when getParams() returns null for a frame");

    LutOptions lut;
    CLI::App* lutCommand = app.add_subcommand(
        "lut", "Adapt the tone curve of HDR10+ metadata to a target and show its 33-point table");
    lutCommand->add_option("metadata", lut.metadata, "HDR10+ metadata (JSON)")
        ->required()
        ->check(CLI::ExistingFile);
    lutCommand->add_option("--frame", lut.frame, "Frame of the file to use (from 0)")
        ->capture_default_str();
    lutCommand->add_option("--target-nits", lut.targetNits, "Peak of the target display, cd/m²")
        ->capture_default_str();
    lutCommand
        ->add_option("--layer-nits", lut.layerNits,
                     "Maximum luminance of the layer, passed on as a host would")
        ->capture_default_str();
    lutCommand->add_option("--format", lut.format, "Output: table, csv or json")
        ->check(CLI::IsMember({"table", "csv", "json"}));
    lutCommand->add_option("--plot", lut.plot, "Draw the curves to a .png or .svg file");
    lutCommand->add_option("--diag-out", lut.diagOut,
                           "Write the library's own output to this file (error lines are "
                           "always shown on standard error)");
    CLI::Option* allFrames =
        lutCommand->add_flag("--all-frames", lut.allFrames,
                             "Every frame: one CSV row each (knee, first anchor, source peak, "
                             "largest interpolation error, time)");
    lutCommand
        ->add_option("--levels", lut.levels,
                     "With --all-frames and --plot: input levels (cd/m²) whose output is drawn "
                     "across the frames (default 1 10 100 1000)")
        ->needs(allFrames)
        ->check(CLI::PositiveNumber);
    lutCommand->get_option("--frame")->excludes(allFrames);

    ReportOptions report;
    report.jumpThreshold = kDefaultJumpThresholdCodes;
    CLI::App* reportCommand = app.add_subcommand(
        "report",
        "A whole clip on one or more target displays, in one self-contained HTML page:\n"
        "timelines, every frame's curve, and the frames inside a scene where the picture\n"
        "jumps. Exit status: 0 when all went well; 1 when the input or output is wrong,\n"
        "a frame was rejected, or frames were flagged with --fail-on-jumps.\n"
        "Examples:\n"
        "  kestrel report clip.json --target-nits 400,600,1000 -o clip-report.html\n"
        "  kestrel report clip.json --target-nits 600 --format json --fail-on-jumps");
    reportCommand->add_option("input", report.input, "HDR10+ metadata (JSON)")
        ->required()
        ->check(CLI::ExistingFile);
    reportCommand
        ->add_option("--target-nits", report.targets,
                     "Peaks of the target displays, cd/m², separated by commas")
        ->delimiter(',')
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    reportCommand
        ->add_option("--layer-nits", report.layerNits,
                     "Maximum luminance of the layer, passed on as a host would")
        ->capture_default_str();
    reportCommand->add_option("--format", report.format, "html (the page) or json (its data)")
        ->check(CLI::IsMember({"html", "json"}))
        ->capture_default_str();
    reportCommand->add_option("-o,--output", report.output,
                              "File to write (default: standard output, which for the page "
                              "must not be a terminal)");
    reportCommand
        ->add_option("--jump-threshold", report.jumpThreshold,
                     "Flag a frame whose output at a fixed input level differs from the "
                     "previous frame's of the same scene by more than this many 10-bit PQ "
                     "codes")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    reportCommand->add_flag("--fail-on-jumps", report.failOnJumps,
                            "Exit with status 1 when a frame is flagged");

    PresetCheckOptions preset;
    CLI::App* presetCommand = app.add_subcommand("preset", "Preset files");
    presetCommand->require_subcommand(1);
    CLI::App* checkCommand = presetCommand->add_subcommand(
        "check", "Load a preset file into a fresh store, show the loader's messages and dumps");
    checkCommand->add_option("file", preset.file, "Preset file (JSON)")->required();
    checkCommand->add_option("--plot", preset.plot, "Draw the EOTF and OETF tables (.png or .svg)");

    CLI11_PARSE(app, argc, argv);

    try {
        if (*frameCommand) return runFrame(frame);
        if (*lutCommand) return runLut(lut);
        if (*reportCommand) return runReport(report);
        if (*checkCommand) return runPresetCheck(preset);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kestrel: %s\n", e.what());
        return 1;
    }
    return 1;
}
