// SPDX-License-Identifier: Apache-2.0
// kestrel frame: the plug-in loaded with dlopen and driven through its
// virtual interface exactly as a host drives it, one scripted frame at a time.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "clip/json_file.h"
#include "tools/kestrel/cli/command.h"
#include "tools/kestrel/cli/commands.h"
#include "tools/kestrel/cli/counted.h"
#include "tools/kestrel/cli/exit_status_help.h"
#include "tools/kestrel/cli/output_file.h"
#include "tools/kestrel/cli/progress.h"
#include "tools/kestrel/gate/preset_gate.h"
#include "tools/kestrel/host/block_decode.h"
#include "tools/kestrel/host/conversion_explainer.h"
#include "tools/kestrel/host/dataspace_names.h"
#include "tools/kestrel/host/descriptor_capture.h"
#include "tools/kestrel/host/frame_script.h"
#include "tools/kestrel/host/layer_outcome_text.h"
#include "tools/kestrel/host/plugin_loader.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

namespace {

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

// Where the plug-in's own lines go: shown inline, marked with "  | ",
// appended to a file, or (quiet) nowhere. Its error lines are also shown on
// standard error in every case, since they say why a frame got no block.
class PluginOutput {
public:
    Status open(const std::string& path, bool quiet) {
        mQuiet = quiet;
        if (path.empty()) return {};
        return openOutputFile(mFile, path);
    }
    void show(const std::string& text) {
        const std::vector<std::string> lines = splitLines(text);
        for (const std::string& line : lines) {
            if (isErrorLogLine(line))
                std::fprintf(stderr, "kestrel frame: plug-in: %s\n", line.c_str());
        }
        if (mFile.is_open()) {
            mFile << text;
            mFile.flush();
        } else if (!mQuiet) {
            for (const std::string& line : lines) std::cout << "  | " << line << "\n";
        }
    }

private:
    std::ofstream mFile;
    bool mQuiet = false;
};

std::string luminanceRange(uint32_t min, uint32_t max) {
    return std::to_string(min) + " to " + std::to_string(max) + " cd/m²";
}

void describeLayer(const ScriptLayer& layer) {
    std::cout << "  layer " << layer.index << ": " << describeDataspace(layer.dataspace) << ", "
              << luminanceRange(layer.minLuminance, layer.maxLuminance);
    if (layer.hasAlpha)
        std::cout << ", alpha " << (layer.alphaPremult ? "premultiplied" : "straight");
    std::cout << "\n";
    const LayerMetadata& meta = layer.metadata;
    if (meta.kind == LayerMetadata::Kind::Record) {
        std::cout << "    HDR10+: " << meta.source;
        if (meta.size != sizeof(_VelmorHdrDynamicInfo))
            std::cout << ", passed as " << meta.size << " bytes";
        std::cout << "\n";
    } else if (meta.kind == LayerMetadata::Kind::Clear) {
        std::cout << "    HDR10+: cleared\n";
    }
}

Status writeBlock(const std::string& pattern, size_t frame, const hdrCoef& block) {
    std::string path = pattern;
    const std::string marker = "{frame}";
    for (size_t at; (at = path.find(marker)) != std::string::npos;) {
        path.replace(at, marker.size(), std::to_string(frame));
    }
    errno = 0;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(&block), sizeof block);
    if (!out) {
        const int number = errno;
        const Status failed = Status::failure(
            ErrorKind::Io, path + ": cannot write the block: " +
                               (number != 0 ? std::strerror(number) : "write failed"));
        return number != 0 ? failed.withCode(number) : failed;
    }
    return {};
}

int runFrame(const FrameOptions& options) {
    FrameScript script;
    TerminalReadProgress progress;
    if (const Status loaded = loadFrameScript(options.script, script, OpenOptions{&progress});
        !loaded) {
        std::fprintf(stderr, "kestrel frame: %s\n", loaded.message().c_str());
        return 1;
    }
    if (!options.preset.empty()) {
        // The loader would only say that the file could not be loaded; what
        // it finds inside the file it reports itself.
        if (Status readable = readableFile(options.preset); !readable) {
            std::fprintf(stderr, "kestrel frame: --preset %s\n", readable.message().c_str());
            return 1;
        }
        // The loader passes over sections it does not read, so a misspelt
        // section or a file that is no preset at all would run silently with
        // an empty store; the run goes on as a build with the file would.
        if (Result<Json::Value> root = readJsonFile(options.preset)) {
            for (const std::string& line : unknownSections(*root)) {
                std::fprintf(stderr, "kestrel frame: warning: --preset %s: %s\n",
                             options.preset.c_str(), line.c_str());
            }
        }
    }
    const bool asText = options.format == "text";
    PluginOutput pluginOutput;
    // JSON and C go to standard output whole: the plug-in's lines do not.
    if (const Status opened = pluginOutput.open(options.diagOut, options.quiet || !asText);
        !opened) {
        std::fprintf(stderr, "kestrel frame: %s\n", opened.message().c_str());
        return 1;
    }

    // With --preset the plug-in's code comes from the workbench's copy of
    // it, whose global store takes the file at run time; otherwise the
    // plug-in runs with whatever preset it was built with.
    const bool runtimePreset = !options.preset.empty();
    const std::string path = runtimePreset            ? runtimePresetLibraryPath()
                             : options.plugin.empty() ? defaultPluginPath()
                                                      : options.plugin;
    if (asText) {
        std::cout << "plug-in: " << path << "\n";
        if (runtimePreset) {
            std::cout << "preset: " << options.preset
                      << ", loaded at run time into its global store\n";
        } else {
            std::cout << compiledPresetLine(path) << "\n";
        }
    }
    Plugin plugin;
    Status opened;
    pluginOutput.show(captureOutput([&] { opened = plugin.open(path); }));
    if (!opened) {
        std::fprintf(stderr, "kestrel frame: %s\n", opened.message().c_str());
        return 1;
    }
    if (runtimePreset) {
        Status loaded;
        pluginOutput.show(
            captureOutput([&] { loaded = plugin.loadRuntimePreset(options.preset); }));
        if (!loaded) {
            std::fprintf(stderr, "kestrel frame: %s\n", loaded.message().c_str());
            return 1;
        }
    }
    IDPUHdr10CommandWriter* writer = nullptr;
    pluginOutput.show(captureOutput([&] { writer = plugin.createWriter(); }));
    if (writer == nullptr) {
        std::fprintf(stderr, "kestrel frame: %s: the factory returned no writer\n", path.c_str());
        return 1;
    }

    // The explainer's store holds what the plug-in's holds: the file given
    // at run time, or the one its build mark names (a file it could not
    // load leaves both stores empty alike).
    ConversionExplainer explainer;
    std::string presetInUse;
    std::string unexplained;
    if (runtimePreset) {
        presetInUse = options.preset;
    } else {
        const Result<PluginBuild> build = readPluginBuild(path);
        if (!build) {
            unexplained = "the plug-in names no preset (" + build.status().message() + ")";
        } else if (build->preset != "none") {
            presetInUse = build->preset;
        }
    }
    if (unexplained.empty()) explainer.loadPreset(presetInUse);
    if (asText && !unexplained.empty()) std::cout << "layer outcomes: unknown: " << unexplained << "\n";

    Json::Value document(Json::objectValue);
    document["version"] = 1;
    document["script"] = options.script;
    document["plugin"] = path;
    document["preset"] = presetInUse.empty() ? Json::Value() : Json::Value(presetInUse);
    Json::Value frames(Json::arrayValue);
    if (options.format == "c") {
        std::cout << "/* kestrel frame " << options.script << ": the hdrCoef block of each frame "
                  << "as " << path << " returned it */\n#include <stdint.h>\n";
    }

    hdrCoef previous;
    bool havePrevious = false;
    size_t framesWithoutBlock = 0;
    size_t layersNeedingTables = 0;
    int status = 0;
    for (size_t f = 0; f < script.frames.size() && status == 0; f++) {
        const ScriptFrame& frame = script.frames[f];
        if (asText) std::cout << "\nframe " << f << ":\n";
        const bool setsTarget = frame.setsTarget || (f == 0 && script.setsTarget);
        const TargetSettings& target = frame.setsTarget ? frame.target : script.target;
        if (asText && setsTarget) {
            std::cout << "  target: " << describeDataspace(target.dataspace) << ", "
                      << luminanceRange(target.minLuminance, target.maxLuminance) << "\n";
        }
        if (asText) {
            for (const ScriptLayer& layer : frame.layers) describeLayer(layer);
        }

        // The same calls for the plug-in and the explainer; the setters'
        // answers ("no") are the plug-in's.
        std::vector<std::string> refusals;
        std::vector<int> selected;
        auto feed = [&](IDPUHdr10CommandWriter& w, bool record) {
            if (setsTarget) {
                w.setTargetInfo(static_cast<int>(target.dataspace), nullptr);
                w.setTargetDisplayLuminance(target.minLuminance, target.maxLuminance);
            }
            for (const ScriptLayer& layer : frame.layers) {
                const std::string which = "layer " + std::to_string(layer.index);
                if (!w.setLayerStaticMetadata(layer.index, static_cast<int>(layer.dataspace),
                                              layer.minLuminance, layer.maxLuminance)) {
                    if (record) {
                        refusals.push_back("setLayerStaticMetadata for " + which +
                                           " returned false");
                    }
                } else if (record) {
                    selected.push_back(layer.index);
                }
                const LayerMetadata& meta = layer.metadata;
                if (meta.kind != LayerMetadata::Kind::Keep &&
                    !w.setLayerOpaqueData(layer.index, meta.record, meta.size) &&
                    meta.kind == LayerMetadata::Kind::Record && record) {
                    refusals.push_back(
                        "setLayerOpaqueData for " + which + " with " + std::to_string(meta.size) +
                        " bytes returned false: the layer has no HDR10+ metadata now");
                }
                if (layer.hasAlpha && !w.setLayerImageInfo(layer.index, 0, layer.alphaPremult) &&
                    record) {
                    refusals.push_back("setLayerImageInfo for " + which + " returned false");
                }
            }
        };
        hdrCoef* block = nullptr;
        pluginOutput.show(captureOutput([&] {
            feed(*writer, true);
            block = writer->getParams();
        }));
        std::vector<LayerReport> layers;
        bool outcomesMatch = true;
        if (unexplained.empty()) {
            explainer.feed([&](IDPUHdr10CommandWriter& w) { feed(w, false); });
            const hdrCoef* expected = explainer.getParams(selected, layers);
            outcomesMatch = (expected == nullptr) == (block == nullptr) &&
                            (block == nullptr || std::memcmp(expected, block, sizeof *block) == 0);
            for (const LayerReport& layer : layers) layersNeedingTables += layer.neededTables;
        }
        if (!outcomesMatch) {
            std::fprintf(stderr,
                         "kestrel frame: warning: frame %zu: the plug-in's block differs from the "
                         "one its preset's lookups give here: its layer outcomes are unknown\n",
                         f);
        }

        Json::Value frameJson(Json::objectValue);
        frameJson["frame"] = static_cast<Json::UInt64>(f);
        Json::Value refused(Json::arrayValue);
        for (const std::string& refusal : refusals) refused.append(refusal);
        frameJson["refusals"] = refused;
        frameJson["block_returned"] = block != nullptr;
        Json::Value outcomes(Json::nullValue);
        if (unexplained.empty() && outcomesMatch) {
            outcomes = Json::Value(Json::arrayValue);
            for (const LayerReport& layer : layers) outcomes.append(outcomeJson(layer));
        }
        frameJson["layers"] = outcomes;
        frameJson["block"] = block != nullptr ? blockJson(*block) : Json::Value();

        if (asText) {
            for (const std::string& refusal : refusals) std::cout << "  " << refusal << "\n";
            std::cout << (block != nullptr ? "getParams(): returned the block\n"
                                           : "getParams(): returned null, no block for this frame\n");
            if (unexplained.empty() && outcomesMatch) {
                for (const LayerReport& layer : layers) {
                    std::cout << "  outcome of layer " << layer.index << ": "
                              << describeOutcome(layer, layers) << "\n";
                }
            } else if (unexplained.empty()) {
                std::cout << "  layer outcomes: unknown: this block differs from the one the "
                             "preset's lookups give\n";
            }
        }
        if (options.format == "c") {
            if (block != nullptr) {
                std::cout << "\n/* frame " << f << " */\n";
                writeBlockCArray(std::cout, *block, "kestrel_frame" + std::to_string(f) + "_block");
            } else {
                std::cout << "\n/* frame " << f << ": getParams() returned null */\n";
            }
        }
        frames.append(frameJson);

        if (block == nullptr) {
            framesWithoutBlock++;
            continue;
        }
        if (asText) describeBlock(std::cout, *block, havePrevious ? &previous : nullptr);
        previous = *block;
        havePrevious = true;
        if (!options.blockOut.empty()) {
            if (const Status written = writeBlock(options.blockOut, f, *block); !written) {
                std::fprintf(stderr, "kestrel frame: %s\n", written.message().c_str());
                status = 1;
            }
        }
    }

    pluginOutput.show(captureOutput([&] {
        delete writer;
        plugin.close();
    }));
    if (asText) {
        std::cout << "\n"
                  << counted(script.frames.size(), "frame", "frames") << ", "
                  << framesWithoutBlock << " without a block\n";
        if (layersNeedingTables > 0) {
            std::cout << counted(layersNeedingTables, "layer", "layers")
                      << " passed through that needed tables (brighter than the target)\n";
        }
    } else if (options.format == "json") {
        document["frames"] = frames;
        document["frames_without_block"] = static_cast<Json::UInt64>(framesWithoutBlock);
        document["layers_needing_tables"] = static_cast<Json::UInt64>(layersNeedingTables);
        std::cout << prettyJson(document);
    }
    if (status == 0 && options.requireBlock && (framesWithoutBlock > 0 || layersNeedingTables > 0)) {
        std::fprintf(stderr,
                     "kestrel frame: --require-block: %s without a block, %s passed through "
                     "that needed tables\n",
                     counted(framesWithoutBlock, "frame", "frames").c_str(),
                     counted(layersNeedingTables, "layer", "layers").c_str());
        status = 3;
    }
    return status;
}

}  // namespace

namespace {

const char* kFrameExamples =
    "Examples:\n"
    "  kestrel frame examples/frames/demo.json\n"
    "  kestrel frame examples/frames/demo.json --preset examples/presets/example_preset.json "
    "--quiet\n"
    "  kestrel frame script.json --block-out block-{frame}.bin --require-block\n"
    "  kestrel frame script.json --format json --require-block > frames.json\n"
    "  kestrel frame script.json --format c > blocks.h";

class FrameCommand : public Command {
public:
    CLI::App* define(CLI::App& app) override {
        FrameOptions& frame = mOptions;
        CLI::App* frameCommand = app.add_subcommand(
            "frame", "Load the plug-in and run the frames of a frame script through it");
        // Files are opened by the command, which names what is wrong with them
        // and exits with status 1 as every other command does for its inputs.
        frameCommand->add_option("script", frame.script, "Frame script (JSON)")->required();
        CLI::Option* pluginOption = frameCommand->add_option(
            "--plugin", frame.plugin,
            "Plug-in to load (default: liborrin_kestrel.so beside this tool)");
        frameCommand
            ->add_option("--preset", frame.preset,
                         "Load this preset file at run time into the plug-in's store, as a "
                         "plug-in built with it would hold it (uses libkestrel_runtime_preset.so "
                         "beside this tool)")
            ->excludes(pluginOption);
        frameCommand->add_option("--diag-out", frame.diagOut,
                                 "Write the plug-in's own output to this file instead of showing "
                                 "it (its error lines are always shown on standard error)");
        frameCommand->add_flag("--quiet", frame.quiet,
                               "Do not show the plug-in's own output (its error lines are still "
                               "shown on standard error)");
        frameCommand->add_option("--block-out", frame.blockOut,
                                 "Write the 1416-byte block of each frame that has one to this "
                                 "file (\"{frame}\" in the name becomes the frame number)");
        frameCommand->add_flag("--require-block", frame.requireBlock,
                               "Exit with status 3 when getParams() returns null for a frame, or "
                               "passes through a layer that needed tables (not a gamma layer, "
                               "and brighter than the target)");
        frameCommand
            ->add_option("--format", frame.format,
                         "text (default); json: each frame's layer outcomes and block; c: each "
                         "block as a C array of its 354 words")
            ->check(CLI::IsMember({"text", "json", "c"}));
        frameCommand->footer(
            std::string(kFrameExamples) + "\n\n" +
            exitStatusHelp("the script, the plug-in or the preset could not be used (the message\n"
                           "     says which), or a frame failed in the plug-in",
                           "\n  3  --require-block: a frame got no block, or a layer that needed "
                           "tables\n     got none"));
        return frameCommand;
    }
    int run() override { return runFrame(mOptions); }

private:
    FrameOptions mOptions;
};

}  // namespace

std::unique_ptr<Command> makeFrameCommand() { return std::make_unique<FrameCommand>(); }

}  // namespace kestrel::tool
