// Loads the plug-in the way a host does: dlopen, then the factory found by
// its mangled name. Nothing else of the library is called directly; the
// writers it makes are driven through their virtual operations only.
#pragma once

#include <string>

#include "plugin/IDPUHdr10CommandWriter.h"

namespace kestrel::tool {

// IDPUHdr10CommandWriter::createInstance(), as the host resolves it.
constexpr const char* kFactorySymbol = "_ZN22IDPUHdr10CommandWriter14createInstanceEv";
constexpr const char* kPluginFileName = "liborrin_kestrel.so";

// liborrin_kestrel.so in the directory of the running executable, where the
// build puts it beside the tool, or else in the library folder of the prefix
// the tool is installed in (../lib from bin/).
std::string defaultPluginPath();

class Plugin {
public:
    Plugin() = default;
    ~Plugin();  // unloads the library; writers must be deleted before
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    // Loads the library (running its static initialisation) and resolves the
    // factory. False with dlerror's text on failure.
    bool open(const std::string& path, std::string& error);
    void close();

    // A new writer from the factory (null if the factory returned null).
    IDPUHdr10CommandWriter* createWriter() const;

private:
    using Factory = IDPUHdr10CommandWriter* (*)();
    void* mHandle = nullptr;
    Factory mFactory = nullptr;
};

}  // namespace kestrel::tool
