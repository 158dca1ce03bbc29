// SPDX-License-Identifier: Apache-2.0
// Loads the plug-in the way a host does: dlopen, then the factory found by
// its mangled name. Nothing else of the library is called directly; the
// writers it makes are driven through their virtual operations only.
#pragma once

#include <string>

#include "common/status.h"
#include "plugin/IDPUHdr10CommandWriter.h"

namespace kestrel::tool {

// IDPUHdr10CommandWriter::createInstance(), as the host resolves it.
constexpr const char* kFactorySymbol = "_ZN22IDPUHdr10CommandWriter14createInstanceEv";
constexpr const char* kPluginFileName = "liborrin_kestrel.so";

// The workbench's copy of the plug-in, for presets loaded at run time, and
// its entry point: bool kestrel_load_runtime_preset(const char* path).
constexpr const char* kRuntimePresetFileName = "libkestrel_runtime_preset.so";
constexpr const char* kRuntimePresetSymbol = "kestrel_load_runtime_preset";

// liborrin_kestrel.so in the directory of the running executable, where the
// build puts it beside the tool, or else in the library folder of the prefix
// the tool is installed in (../lib from bin/).
std::string defaultPluginPath();
// libkestrel_runtime_preset.so beside the tool, or else in the private library
// folder of the prefix the tool is installed in (../lib/kestrel from bin/).
std::string runtimePresetLibraryPath();

// What a plug-in file says about its build (plugin/build_mark.h), read
// from the file without loading it.
struct PluginBuild {
    std::string version;
    std::string preset;  // the compiled-in preset file, or "none"
};

// ErrorKind::Io (the errno as its code) when the file cannot be read, Format
// when it carries no mark (a build from before the mark existed, or not a
// kestrel plug-in).
Result<PluginBuild> readPluginBuild(const std::string& path);

// The "preset: ..." line that names the preset a plug-in was built with,
// read from its mark; without a mark, all that can be said is that it uses
// whatever it was built with.
std::string compiledPresetLine(const std::string& pluginPath);

class Plugin {
public:
    Plugin() = default;
    ~Plugin();  // unloads the library; writers must be deleted before
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    // Loads the library (running its static initialisation) and resolves the
    // factory. On failure dlerror's text: ErrorKind::Io when the library
    // cannot be loaded, Unsupported when it has no factory.
    Status open(const std::string& path);
    void close();

    // A new writer from the factory (null if the factory returned null).
    IDPUHdr10CommandWriter* createWriter() const;

    // Loads a preset file into the global store of the workbench's copy of
    // the plug-in. On failure the reason: ErrorKind::Unsupported when the
    // library has no such entry point, Invalid when the file could not be
    // loaded (the entry point says no more than that).
    Status loadRuntimePreset(const std::string& presetPath) const;

private:
    using Factory = IDPUHdr10CommandWriter* (*)();
    void* mHandle = nullptr;
    Factory mFactory = nullptr;
};

}  // namespace kestrel::tool
