// SPDX-License-Identifier: Apache-2.0
// The interface a display-composition host drives, frame by frame.
//
// The host compiles against its own copy of this declaration, so the slot
// order of the virtual operations and their argument types are the ABI:
// do not reorder, add or change them.
#pragma once

#include <cstdint>

#include "common/export.h"
#include "plugin/hdrCoef.h"

class IDPUHdr10CommandWriter {
public:
    virtual ~IDPUHdr10CommandWriter() {}

    // Selects layer `index` for this frame and records its dataspace and peak.
    virtual bool setLayerStaticMetadata(int index, int dataspace, uint32_t min_luminance,
                                        uint32_t max_luminance) = 0;
    // Registers (size 312) or clears (any other size) the layer's HDR10+
    // record. The pointer is kept, not the bytes.
    virtual bool setLayerOpaqueData(int index, void* data, uint64_t size) = 0;
    virtual bool setLayerImageInfo(int index, uint32_t unused, bool alpha_premult) = 0;
    virtual bool setTargetInfo(int dataspace, void* unused) = 0;
    virtual void setTargetDisplayLuminance(uint32_t min_luminance, uint32_t max_luminance) = 0;
    // Converts the selected layers; the writer's block, or null on failure or
    // when no layer is selected. The selection is cleared either way.
    virtual hdrCoef* getParams() = 0;
    // Copies the tone-mapping words (bytes 1124..1387) into the host's block.
    virtual void getTM(hdrCoef* dst) = 0;
    virtual void putParams(hdrCoef* params) = 0;

    KESTREL_EXPORT static IDPUHdr10CommandWriter* createInstance();
};
