// SPDX-License-Identifier: Apache-2.0
// The one entry point that the workbench's copy of the plug-in adds to the
// plug-in's own code: it loads a preset file into the library's global
// store at run time, where a plug-in built with a preset file loads it at
// start-up. The store is then the same, so the blocks are too. Never part
// of the plug-in that hosts load.
#include "common/export.h"
#include "plugin/global_store.h"

extern "C" KESTREL_EXPORT bool kestrel_load_runtime_preset(const char* path) {
    const bool loaded = gHdr10Lut.load(path);
    // What a plug-in built with the file shows after loading it.
    gHdr10Lut.showEotf();
    gHdr10Lut.showOetf();
    gHdr10Lut.showGM();
    return loaded;
}
