// Decides, layer by layer within one getParams() call, which conversion a
// layer needs, numbers the conversions (at most four per call) and writes
// their tables into the coefficient block.
#pragma once

#include <cstdint>

#include "metadata/VelmorHdrDynamicInfo.h"
#include "plugin/hdrCoef.h"
#include "preset/Hdr10Lut.h"

class HDRMatrixWriter {
public:
    // Results of configure().
    static constexpr uint32_t kFailed = 0;
    static constexpr uint32_t kPassThrough = 1;
    static constexpr uint32_t kConverted = 2;
    static constexpr uint32_t kMaxConversions = 4;

    HDRMatrixWriter(uint32_t targetDataspace, hdrCoef* block);

    // A layer without dynamic metadata: tables from the global preset store.
    uint32_t configure(uint32_t dataspace, uint32_t max_luminance, uint32_t target_max_luminance,
                       uint32_t* conversionIndex);
    // A layer with an HDR10+ record: a tone-mapping table computed per frame.
    uint32_t configure(uint32_t dataspace, _VelmorHdrDynamicInfo* meta,
                       uint32_t target_max_luminance, uint32_t max_luminance,
                       uint32_t* conversionIndex);

private:
    // A static conversion written in this call. Two records are the same
    // conversion exactly when both store positions are equal.
    struct ConversionRecord {
        uint32_t number;
        Hdr10Lut::EotfPosition eotf;
        Hdr10Lut::GamutPosition gamut;
    };

    bool tooManyConversions() const;
    uint32_t passThrough(uint32_t* conversionIndex);

    uint32_t mTargetDataspace;
    uint32_t mNumConversions = 0;
    // At most four numbers exist per call, so the records live in place.
    ConversionRecord mConversions[kMaxConversions];
    uint32_t mNumRecords = 0;
    hdrCoef* mHdrCoef;
    int32_t mBypassIndex = -1;
};
