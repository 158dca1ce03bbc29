// SPDX-License-Identifier: Apache-2.0
#include "plugin/DPUHdr10CommandWriter.h"

#include <new>

#include "common/diagnostics.h"
#include "plugin/HDRMatrixWriter.h"

DPUHdr10CommandWriter::~DPUHdr10CommandWriter() { delete mHdrCoef; }

bool DPUHdr10CommandWriter::setLayerStaticMetadata(int index, int dataspace, uint32_t min_luminance,
                                                   uint32_t max_luminance) {
    if (!validIndex(index)) return false;
    kestrel::diag::printSetLayerStaticMetadata(index, dataspace, min_luminance, max_luminance);
    mStaticMetadataLayers = static_cast<uint16_t>(mStaticMetadataLayers | (1u << index));
    mLayerDataspace[index] = dataspace;
    mLayerMaxLuminance[index] = max_luminance;
    return true;
}

bool DPUHdr10CommandWriter::setLayerOpaqueData(int index, void* data, uint64_t size) {
    if (!validIndex(index)) return false;
    if (size != sizeof(_VelmorHdrDynamicInfo)) {
        mLayerMetadata[index] = nullptr;
        return false;
    }
    kestrel::diag::printSetLayerOpaqueData(data);
    mLayerMetadata[index] = static_cast<_VelmorHdrDynamicInfo*>(data);
    return true;
}

bool DPUHdr10CommandWriter::setLayerImageInfo(int index, uint32_t /*unused*/, bool alpha_premult) {
    if (!validIndex(index)) return false;
    kestrel::diag::printSetLayerImageInfo(index, alpha_premult);
    return true;
}

bool DPUHdr10CommandWriter::setTargetInfo(int dataspace, void* /*unused*/) {
    kestrel::diag::printSetTargetInfo(dataspace);
    mTargetDataspace = static_cast<uint32_t>(dataspace);
    return true;
}

void DPUHdr10CommandWriter::setTargetDisplayLuminance(uint32_t min_luminance,
                                                      uint32_t max_luminance) {
    kestrel::diag::printSetTargetDisplayLuminance(min_luminance, max_luminance);
    mTargetMaxLuminance = max_luminance;
}

hdrCoef* DPUHdr10CommandWriter::getParams() {
    if (mOutcomes != nullptr) mOutcomes->clear();
    const uint16_t selected = mStaticMetadataLayers;
    // The selection lives for one frame, whatever the outcome.
    mStaticMetadataLayers = 0;
    if (selected == 0) return nullptr;

    if (mHdrCoef == nullptr) {
        // Zero-filled once; never cleared afterwards, so sections that a call
        // does not write keep what earlier calls left there.
        mHdrCoef = new (std::nothrow) hdrCoef();
        if (mHdrCoef == nullptr) return nullptr;
    }

    HDRMatrixWriter writer(mTargetDataspace, mHdrCoef, *mStore);
    mHdrCoef->coefFlag = 1;
    mHdrCoef->oetfFlag = 1;
    mHdrCoef->eotfFlag = 1;
    mHdrCoef->gamutFlag = 1;
    mHdrCoef->toneFlag = 1;

    for (int index = 0; index < kMaxLayers; index++) {
        if ((selected & (1u << index)) == 0) continue;
        uint32_t conversionIndex = 0;
        uint32_t dataspace = static_cast<uint32_t>(mLayerDataspace[index]);
        LayerOutcome outcome;
        LayerOutcome* explained = mOutcomes != nullptr ? &outcome : nullptr;
        uint32_t result =
            mLayerMetadata[index] != nullptr
                ? writer.configure(dataspace, mLayerMetadata[index], mTargetMaxLuminance,
                                   mLayerMaxLuminance[index], &conversionIndex, explained)
                : writer.configure(dataspace, mLayerMaxLuminance[index], mTargetMaxLuminance,
                                   &conversionIndex, explained);
        if (explained != nullptr) mOutcomes->emplace_back(index, outcome);
        if (result == HDRMatrixWriter::kFailed) return nullptr;
    }
    return mHdrCoef;
}

void DPUHdr10CommandWriter::getTM(hdrCoef* dst) {
    if (dst == nullptr || mHdrCoef == nullptr) return;
    for (unsigned i = 0; i < kestrel::kTonePoints; i++) dst->toneX[i] = mHdrCoef->toneX[i];
    for (unsigned i = 0; i < kestrel::kTonePoints; i++) dst->toneY[i] = mHdrCoef->toneY[i];
}

void DPUHdr10CommandWriter::putParams(hdrCoef* /*params*/) {}
