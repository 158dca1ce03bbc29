// SPDX-License-Identifier: Apache-2.0
// The command writer a host creates through the factory: per-writer frame
// state for up to 16 layers, the target, and the writer's coefficient block.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "metadata/VelmorHdrDynamicInfo.h"
#include "plugin/HDRMatrixWriter.h"
#include "plugin/IDPUHdr10CommandWriter.h"

class DPUHdr10CommandWriter : public IDPUHdr10CommandWriter {
public:
    static constexpr int kMaxLayers = 16;

    // What getParams() did with each layer it configured, by layer index, in
    // the order it configured them.
    using Outcomes = std::vector<std::pair<int, LayerOutcome>>;

    DPUHdr10CommandWriter() = default;
    // A writer whose tables come from `store` and whose getParams() fills
    // `outcomes` (may be null), for callers that explain what a writer did.
    DPUHdr10CommandWriter(Hdr10Lut& store, Outcomes* outcomes)
        : mStore(&store), mOutcomes(outcomes) {}
    ~DPUHdr10CommandWriter() override;
    DPUHdr10CommandWriter(const DPUHdr10CommandWriter&) = delete;
    DPUHdr10CommandWriter& operator=(const DPUHdr10CommandWriter&) = delete;

    bool setLayerStaticMetadata(int index, int dataspace, uint32_t min_luminance,
                                uint32_t max_luminance) override;
    bool setLayerOpaqueData(int index, void* data, uint64_t size) override;
    bool setLayerImageInfo(int index, uint32_t unused, bool alpha_premult) override;
    bool setTargetInfo(int dataspace, void* unused) override;
    void setTargetDisplayLuminance(uint32_t min_luminance, uint32_t max_luminance) override;
    hdrCoef* getParams() override;
    void getTM(hdrCoef* dst) override;
    void putParams(hdrCoef* params) override;

private:
    static bool validIndex(int index) { return index >= 0 && index < kMaxLayers; }

    uint16_t mStaticMetadataLayers = 0;  // bit i: layer i selected this frame
    uint32_t mTargetDataspace = 0x800000;
    int32_t mLayerDataspace[kMaxLayers] = {};
    uint32_t mLayerMaxLuminance[kMaxLayers] = {};
    _VelmorHdrDynamicInfo* mLayerMetadata[kMaxLayers] = {};  // owned by the host
    hdrCoef* mHdrCoef = nullptr;                              // owned by the writer
    uint32_t mTargetMaxLuminance = 100;
    Hdr10Lut* mStore = &gHdr10Lut;
    Outcomes* mOutcomes = nullptr;
};
