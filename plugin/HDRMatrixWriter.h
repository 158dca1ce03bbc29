// SPDX-License-Identifier: Apache-2.0
// Decides, layer by layer within one getParams() call, which conversion a
// layer needs, numbers the conversions (at most four per call) and writes
// their tables into the coefficient block.
#pragma once

#include <cstdint>

#include "metadata/VelmorHdrDynamicInfo.h"
#include "plugin/global_store.h"
#include "plugin/hdrCoef.h"
#include "preset/Hdr10Lut.h"

// What configure() did with one layer and why, for callers that explain a
// block: the block's flag words are always set, so they cannot tell. The
// pointers are the entries the store's lookups returned (null where none was
// looked up or none matched) and live as long as the store is not reloaded.
struct LayerOutcome {
    enum class Kind {
        kFailed,       // getParams() returns null
        kPassThrough,  // nothing written for this layer
        kConverted,    // EOTF, OETF and (when found) gamut tables written
        kRepeated,     // the number of an earlier layer with the same EOTF and gamut entries
        kToneTable,    // an HDR10+ tone-mapping table written
    };
    enum class Reason {
        kNone,
        kTooManyConversions,   // failed: four numbers were given out already
        kNoEotf,               // failed: no EOTF table for the layer's transfer
        kNoOetfRoot,           // failed: no OETF table for the target's transfer
        kNoOetfEntry,          // failed: the OETF root chosen holds no entry
        kGammaOnGamma,         // passed through: a gamma layer on a gamma target
        kSameTransferNoGamut,  // passed through: the target's transfer, no gamut mapping
    };
    Kind kind = Kind::kFailed;
    Reason reason = Reason::kNone;
    uint32_t number = 0;  // the conversion number, unless failed
    // What the lookups were asked with.
    uint32_t layerDataspace = 0;
    uint32_t targetDataspace = 0;
    uint32_t layerPeak = 0;   // the layer's max luminance, cd/m²
    uint32_t targetPeak = 0;  // the target's max luminance, cd/m²
    const LutEntry* eotf = nullptr;
    const GamutMappingEntry* gamut = nullptr;
    const OetfRoot* oetfRoot = nullptr;
    const LutEntry* oetf = nullptr;
};

class HDRMatrixWriter {
public:
    // Results of configure().
    static constexpr uint32_t kFailed = 0;
    static constexpr uint32_t kPassThrough = 1;
    static constexpr uint32_t kConverted = 2;
    static constexpr uint32_t kMaxConversions = 4;

    // Tables come from `store`; the plug-in's writers use its global store.
    HDRMatrixWriter(uint32_t targetDataspace, hdrCoef* block, Hdr10Lut& store);
    HDRMatrixWriter(uint32_t targetDataspace, hdrCoef* block)
        : HDRMatrixWriter(targetDataspace, block, gHdr10Lut) {}

    // A layer without dynamic metadata: tables from the preset store.
    // `outcome`, when given, says what was done and with which entries.
    uint32_t configure(uint32_t dataspace, uint32_t max_luminance, uint32_t target_max_luminance,
                       uint32_t* conversionIndex, LayerOutcome* outcome = nullptr);
    // A layer with an HDR10+ record: a tone-mapping table computed per frame.
    uint32_t configure(uint32_t dataspace, _VelmorHdrDynamicInfo* meta,
                       uint32_t target_max_luminance, uint32_t max_luminance,
                       uint32_t* conversionIndex, LayerOutcome* outcome = nullptr);

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

    Hdr10Lut& mStore;
    uint32_t mTargetDataspace;
    uint32_t mNumConversions = 0;
    // At most four numbers exist per call, so the records live in place.
    ConversionRecord mConversions[kMaxConversions];
    uint32_t mNumRecords = 0;
    hdrCoef* mHdrCoef;
    int32_t mBypassIndex = -1;
};
