// What the host loads: the factory, and the library's one preset store,
// constructed by static initialisation when the library is loaded and
// destroyed when it is unloaded.
#include <new>

#include "plugin/DPUHdr10CommandWriter.h"
#include "plugin/global_store.h"

#ifdef KESTREL_PRESET_FILE
// A build that names a preset file gives static HDR10 layers real tables.
Hdr10Lut gHdr10Lut(KESTREL_PRESET_FILE);
#else
Hdr10Lut gHdr10Lut;
#endif

IDPUHdr10CommandWriter* IDPUHdr10CommandWriter::createInstance() {
    return new (std::nothrow) DPUHdr10CommandWriter();
}
