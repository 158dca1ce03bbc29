// SPDX-License-Identifier: Apache-2.0
// What the host loads: the factory, and the library's one preset store,
// constructed by static initialisation when the library is loaded and
// destroyed when it is unloaded.
#include <new>

#include "plugin/DPUHdr10CommandWriter.h"
#include "plugin/build_mark.h"
#include "plugin/global_store.h"

#ifndef KESTREL_VERSION
#define KESTREL_VERSION "unknown"
#endif

#ifdef KESTREL_PRESET_FILE
// A build that names a preset file gives static HDR10 layers real tables.
Hdr10Lut gHdr10Lut(KESTREL_PRESET_FILE);
#define KESTREL_PRESET_MARK KESTREL_PRESET_FILE
#else
Hdr10Lut gHdr10Lut;
#define KESTREL_PRESET_MARK "none"
#endif

// Kept by the linker although nothing refers to it.
[[gnu::used]] static const char kBuildMark[] =
    KESTREL_BUILD_MARK_PREFIX KESTREL_VERSION KESTREL_BUILD_MARK_PRESET KESTREL_PRESET_MARK;

IDPUHdr10CommandWriter* IDPUHdr10CommandWriter::createInstance() {
    return new (std::nothrow) DPUHdr10CommandWriter();
}
