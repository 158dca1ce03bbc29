// kestrel: run frames through the plug-in as a host does, inspect the tone
// mapping the library makes from HDR10+ metadata, and check preset files.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>

#include "tools/kestrel/commands.h"

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
    CLI::Option* pluginOption =
        frameCommand->add_option("--plugin", frame.plugin,
                                 "Plug-in to load (default: liborrin_kestrel.so beside this tool)");
    frameCommand
        ->add_option("--preset", frame.preset,
                     "Load this preset file at run time into the plug-in's store, as a plug-in "
                     "built with it would hold it (uses libkestrel_runtime_preset.so beside "
                     "this tool)")
        ->check(CLI::ExistingFile)
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

    PresetCheckOptions preset;
    CLI::App* presetCommand = app.add_subcommand("preset", "Preset files");
    presetCommand->require_subcommand(1);
    CLI::App* checkCommand = presetCommand->add_subcommand(
        "check", "Load a preset file into a fresh store, show the loader's messages and dumps");
    checkCommand->add_option("file", preset.file, "Preset file (JSON)")->required();
    checkCommand->add_option("--plot", preset.plot, "Draw the EOTF and OETF tables (.png or .svg)");
    checkCommand->add_flag("--strict", preset.strict,
                           "Fail on warnings too (entries that share a key with different tables)");

    CLI11_PARSE(app, argc, argv);

    try {
        if (*frameCommand) return runFrame(frame);
        if (*lutCommand) return runLut(lut);
        if (*checkCommand) return runPresetCheck(preset);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kestrel: %s\n", e.what());
        return 1;
    }
    return 1;
}
