// SPDX-License-Identifier: Apache-2.0
// A minimal host: loads a built plug-in with dlopen and resolves its factory
// by symbol, as the display-composition host does. Only the public interface
// header is used; nothing of the library is linked in.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "plugin/IDPUHdr10CommandWriter.h"

namespace kestrel_test {

constexpr const char* kFactorySymbol = "_ZN22IDPUHdr10CommandWriter14createInstanceEv";

class LoadedPlugin {
public:
    explicit LoadedPlugin(const std::string& path) {
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) {
            error_ = dlerror();
            return;
        }
        factory_ = reinterpret_cast<IDPUHdr10CommandWriter* (*)()>(dlsym(handle_, kFactorySymbol));
    }
    ~LoadedPlugin() {
        if (handle_ != nullptr) dlclose(handle_);
    }
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    bool ok() const { return handle_ != nullptr && factory_ != nullptr; }
    const std::string& error() const { return error_; }
    void* symbol(const char* name) const { return dlsym(handle_, name); }

    std::unique_ptr<IDPUHdr10CommandWriter> newWriter() const {
        return std::unique_ptr<IDPUHdr10CommandWriter>(factory_());
    }

private:
    void* handle_ = nullptr;
    IDPUHdr10CommandWriter* (*factory_)() = nullptr;
    std::string error_;
};

}  // namespace kestrel_test
