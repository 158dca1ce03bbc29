// kestrel frame: the plug-in loaded with dlopen and driven through its
// virtual interface exactly as a host drives it, one scripted frame at a time.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "analysis/output_capture.h"
#include "clip/json_file.h"
#include "tools/kestrel/cli/commands.h"
#include "tools/kestrel/cli/progress.h"
#include "tools/kestrel/gate/preset_gate.h"
#include "tools/kestrel/host/block_decode.h"
#include "tools/kestrel/host/dataspace_names.h"
#include "tools/kestrel/host/frame_script.h"
#include "tools/kestrel/host/plugin_loader.h"

namespace kestrel::tool {

namespace {

// Where the plug-in's own lines go: shown inline, marked with "  | ",
// appended to a file, or (quiet) nowhere. Its error lines are also shown on
// standard error in every case, since they say why a frame got no block.
class PluginOutput {
public:
    bool open(const std::string& path, bool quiet, std::string& error) {
        mQuiet = quiet;
        if (path.empty()) return true;
        mFile.open(path, std::ios::out | std::ios::trunc);
        if (!mFile) error = path + ": cannot write";
        return static_cast<bool>(mFile);
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

bool writeBlock(const std::string& pattern, size_t frame, const hdrCoef& block,
                std::string& error) {
    std::string path = pattern;
    const std::string marker = "{frame}";
    for (size_t at; (at = path.find(marker)) != std::string::npos;) {
        path.replace(at, marker.size(), std::to_string(frame));
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(&block), sizeof block);
    if (!out) {
        error = path + ": cannot write the block";
        return false;
    }
    return true;
}

}  // namespace

int runFrame(const FrameOptions& options) {
    FrameScript script;
    std::string error;
    TerminalReadProgress progress;
    if (!loadFrameScript(options.script, script, error, OpenOptions{&progress})) {
        std::fprintf(stderr, "kestrel frame: %s\n", error.c_str());
        return 1;
    }
    if (!options.preset.empty()) {
        // The loader would only say that the file could not be loaded; what
        // it finds inside the file it reports itself.
        if (!readableFile(options.preset, error)) {
            std::fprintf(stderr, "kestrel frame: --preset %s\n", error.c_str());
            return 1;
        }
        // The loader passes over sections it does not read, so a misspelt
        // section or a file that is no preset at all would run silently with
        // an empty store; the run goes on as a build with the file would.
        Json::Value root;
        if (readJsonFile(options.preset, root, error)) {
            for (const std::string& line : unknownSections(root)) {
                std::fprintf(stderr, "kestrel frame: warning: --preset %s: %s\n",
                             options.preset.c_str(), line.c_str());
            }
        }
    }
    PluginOutput pluginOutput;
    if (!pluginOutput.open(options.diagOut, options.quiet, error)) {
        std::fprintf(stderr, "kestrel frame: %s\n", error.c_str());
        return 1;
    }

    // With --preset the plug-in's code comes from the workbench's copy of
    // it, whose global store takes the file at run time; otherwise the
    // plug-in runs with whatever preset it was built with.
    const bool runtimePreset = !options.preset.empty();
    const std::string path = runtimePreset            ? runtimePresetLibraryPath()
                             : options.plugin.empty() ? defaultPluginPath()
                                                      : options.plugin;
    std::cout << "plug-in: " << path << "\n";
    if (runtimePreset) {
        std::cout << "preset: " << options.preset << ", loaded at run time into its global store\n";
    } else {
        std::cout << compiledPresetLine(path) << "\n";
    }
    Plugin plugin;
    bool opened = false;
    pluginOutput.show(captureOutput([&] { opened = plugin.open(path, error); }));
    if (!opened) {
        std::fprintf(stderr, "kestrel frame: %s\n", error.c_str());
        return 1;
    }
    if (runtimePreset) {
        bool loaded = false;
        pluginOutput.show(
            captureOutput([&] { loaded = plugin.loadRuntimePreset(options.preset, error); }));
        if (!loaded) {
            std::fprintf(stderr, "kestrel frame: %s\n", error.c_str());
            return 1;
        }
    }
    IDPUHdr10CommandWriter* writer = nullptr;
    pluginOutput.show(captureOutput([&] { writer = plugin.createWriter(); }));
    if (writer == nullptr) {
        std::fprintf(stderr, "kestrel frame: %s: the factory returned no writer\n", path.c_str());
        return 1;
    }

    hdrCoef previous;
    bool havePrevious = false;
    size_t framesWithoutBlock = 0;
    int status = 0;
    for (size_t f = 0; f < script.frames.size() && status == 0; f++) {
        const ScriptFrame& frame = script.frames[f];
        std::cout << "\nframe " << f << ":\n";
        const bool setsTarget = frame.setsTarget || (f == 0 && script.setsTarget);
        const TargetSettings& target = frame.setsTarget ? frame.target : script.target;
        if (setsTarget) {
            std::cout << "  target: " << describeDataspace(target.dataspace) << ", "
                      << luminanceRange(target.minLuminance, target.maxLuminance) << "\n";
        }
        for (const ScriptLayer& layer : frame.layers) describeLayer(layer);

        // What the setters answered, when it was "no".
        std::vector<std::string> refusals;
        hdrCoef* block = nullptr;
        pluginOutput.show(captureOutput([&] {
            if (setsTarget) {
                writer->setTargetInfo(static_cast<int>(target.dataspace), nullptr);
                writer->setTargetDisplayLuminance(target.minLuminance, target.maxLuminance);
            }
            for (const ScriptLayer& layer : frame.layers) {
                const std::string which = "layer " + std::to_string(layer.index);
                if (!writer->setLayerStaticMetadata(layer.index, static_cast<int>(layer.dataspace),
                                                    layer.minLuminance, layer.maxLuminance)) {
                    refusals.push_back("setLayerStaticMetadata for " + which + " returned false");
                }
                const LayerMetadata& meta = layer.metadata;
                if (meta.kind != LayerMetadata::Kind::Keep &&
                    !writer->setLayerOpaqueData(layer.index, meta.record, meta.size) &&
                    meta.kind == LayerMetadata::Kind::Record) {
                    refusals.push_back(
                        "setLayerOpaqueData for " + which + " with " + std::to_string(meta.size) +
                        " bytes returned false: the layer has no HDR10+ metadata now");
                }
                if (layer.hasAlpha &&
                    !writer->setLayerImageInfo(layer.index, 0, layer.alphaPremult)) {
                    refusals.push_back("setLayerImageInfo for " + which + " returned false");
                }
            }
            block = writer->getParams();
        }));
        for (const std::string& refusal : refusals) std::cout << "  " << refusal << "\n";

        if (block == nullptr) {
            std::cout << "getParams(): returned null, no block for this frame\n";
            framesWithoutBlock++;
            continue;
        }
        std::cout << "getParams(): returned the block\n";
        describeBlock(std::cout, *block, havePrevious ? &previous : nullptr);
        previous = *block;
        havePrevious = true;
        if (!options.blockOut.empty() && !writeBlock(options.blockOut, f, *block, error)) {
            std::fprintf(stderr, "kestrel frame: %s\n", error.c_str());
            status = 1;
        }
    }

    pluginOutput.show(captureOutput([&] {
        delete writer;
        plugin.close();
    }));
    std::cout << "\n"
              << script.frames.size() << " frame(s), " << framesWithoutBlock
              << " without a block\n";
    if (status == 0 && options.requireBlock && framesWithoutBlock > 0) status = 3;
    return status;
}

}  // namespace kestrel::tool
