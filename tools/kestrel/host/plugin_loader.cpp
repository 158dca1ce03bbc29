// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/host/plugin_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>

#include "plugin/build_mark.h"

namespace kestrel::tool {

#ifndef KESTREL_LIBDIR_FROM_BINDIR
#define KESTREL_LIBDIR_FROM_BINDIR "../lib"
#endif
#ifndef KESTREL_PRIVATE_LIBDIR_FROM_BINDIR
#define KESTREL_PRIVATE_LIBDIR_FROM_BINDIR "../lib/kestrel"
#endif

namespace {

// The build tree keeps the libraries beside the tool; an installed tree
// keeps the tool in bin/ and each library in its folder, at the same
// relative path under any prefix. When neither has the file, the place
// beside the tool names it in the error message.
std::string findForTool(const char* fileName, const char* installedFolder) {
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return fileName;  // left to the dynamic loader's search
    std::string path(self, static_cast<size_t>(n));
    std::string folder = path.substr(0, path.rfind('/') + 1);
    std::string beside = folder + fileName;
    if (access(beside.c_str(), F_OK) == 0) return beside;
    std::string installed = folder + installedFolder + "/" + fileName;
    if (access(installed.c_str(), F_OK) == 0) return installed;
    return beside;
}

}  // namespace

std::string defaultPluginPath() { return findForTool(kPluginFileName, KESTREL_LIBDIR_FROM_BINDIR); }

std::string runtimePresetLibraryPath() {
    return findForTool(kRuntimePresetFileName, KESTREL_PRIVATE_LIBDIR_FROM_BINDIR);
}

Result<PluginBuild> readPluginBuild(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int number = errno;
        return Status::failure(ErrorKind::Io, path + ": cannot open: " + std::strerror(number))
            .withCode(number);
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string prefix = KESTREL_BUILD_MARK_PREFIX;
    const size_t at = bytes.find(prefix);
    if (at == std::string::npos) {
        return Status::failure(ErrorKind::Format,
                               path + ": no build mark (not a kestrel plug-in, or one built "
                                      "before plug-ins carried it)");
    }
    // The mark is a C string: it ends at the next NUL.
    const size_t start = at + prefix.size();
    const std::string mark = bytes.substr(start, bytes.find('\0', start) - start);
    const size_t preset = mark.find(KESTREL_BUILD_MARK_PRESET);
    PluginBuild build;
    build.version = mark.substr(0, preset);
    build.preset = preset == std::string::npos
                       ? "unknown"
                       : mark.substr(preset + std::strlen(KESTREL_BUILD_MARK_PRESET));
    return build;
}

std::string compiledPresetLine(const std::string& pluginPath) {
    const Result<PluginBuild> build = readPluginBuild(pluginPath);
    if (!build) return "preset: the one the plug-in was built with, if any";
    if (build->preset == "none")
        return "preset: none compiled in (static HDR10 layers get no tables)";
    return "preset: " + build->preset + ", compiled in";
}

Plugin::~Plugin() { close(); }

Status Plugin::open(const std::string& path) {
    close();
    // RTLD_LOCAL: the plug-in's symbols stay its own, as in a host process
    // that loads several plug-ins.
    mHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (mHandle == nullptr) {
        const char* message = dlerror();
        return Status::failure(ErrorKind::Io,
                               std::string("cannot load the plug-in: ") + (message ? message : path));
    }
    dlerror();
    void* symbol = dlsym(mHandle, kFactorySymbol);
    if (symbol == nullptr) {
        const char* message = dlerror();
        const Status failed = Status::failure(
            ErrorKind::Unsupported,
            path + ": no factory " + kFactorySymbol + (message ? std::string(": ") + message : ""));
        close();
        return failed;
    }
    mFactory = reinterpret_cast<Factory>(symbol);
    return {};
}

void Plugin::close() {
    if (mHandle != nullptr) dlclose(mHandle);
    mHandle = nullptr;
    mFactory = nullptr;
}

IDPUHdr10CommandWriter* Plugin::createWriter() const {
    return mFactory != nullptr ? mFactory() : nullptr;
}

Status Plugin::loadRuntimePreset(const std::string& presetPath) const {
    using LoadPreset = bool (*)(const char*);
    void* symbol = mHandle != nullptr ? dlsym(mHandle, kRuntimePresetSymbol) : nullptr;
    if (symbol == nullptr) {
        return Status::failure(ErrorKind::Unsupported,
                               std::string("the library has no ") + kRuntimePresetSymbol);
    }
    if (!reinterpret_cast<LoadPreset>(symbol)(presetPath.c_str()))
        return Status::failure(ErrorKind::Invalid, presetPath + ": the preset could not be loaded");
    return {};
}

}  // namespace kestrel::tool
