#include "tools/kestrel/plugin_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace kestrel::tool {

#ifndef KESTREL_LIBDIR_FROM_BINDIR
#define KESTREL_LIBDIR_FROM_BINDIR "../lib"
#endif

std::string defaultPluginPath() {
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return kPluginFileName;  // left to the dynamic loader's search
    std::string path(self, static_cast<size_t>(n));
    std::string folder = path.substr(0, path.rfind('/') + 1);
    // The build tree keeps the tool beside the plug-in; an installed tree
    // keeps it in bin/, the plug-in in the library folder.
    std::string beside = folder + kPluginFileName;
    if (access(beside.c_str(), F_OK) == 0) return beside;
    std::string installed = folder + KESTREL_LIBDIR_FROM_BINDIR + "/" + kPluginFileName;
    if (access(installed.c_str(), F_OK) == 0) return installed;
    return beside;  // names the expected place when neither is there
}

Plugin::~Plugin() { close(); }

bool Plugin::open(const std::string& path, std::string& error) {
    close();
    // RTLD_LOCAL: the plug-in's symbols stay its own, as in a host process
    // that loads several plug-ins.
    mHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (mHandle == nullptr) {
        const char* message = dlerror();
        error = std::string("cannot load the plug-in: ") + (message ? message : path);
        return false;
    }
    dlerror();
    void* symbol = dlsym(mHandle, kFactorySymbol);
    if (symbol == nullptr) {
        const char* message = dlerror();
        error =
            path + ": no factory " + kFactorySymbol + (message ? std::string(": ") + message : "");
        close();
        return false;
    }
    mFactory = reinterpret_cast<Factory>(symbol);
    return true;
}

void Plugin::close() {
    if (mHandle != nullptr) dlclose(mHandle);
    mHandle = nullptr;
    mFactory = nullptr;
}

IDPUHdr10CommandWriter* Plugin::createWriter() const {
    return mFactory != nullptr ? mFactory() : nullptr;
}

}  // namespace kestrel::tool
