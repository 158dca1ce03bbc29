#include "plugin/HDRMatrixWriter.h"

#include "common/diagnostics.h"
#include "dtm/meta2lut.h"
#include "plugin/dataspace.h"
#include "plugin/global_store.h"

HDRMatrixWriter::HDRMatrixWriter(uint32_t targetDataspace, hdrCoef* block)
    : mTargetDataspace(targetDataspace), mHdrCoef(block) {}

// Checked first by both overloads: once four numbers are out, every further
// layer fails, even one that would pass through or repeat a conversion.
bool HDRMatrixWriter::tooManyConversions() const {
    if (mNumConversions < kMaxConversions) return false;
    kestrel::diag::logTooManyConversions();
    return true;
}

// All pass-through layers of a call share the number given to the first.
uint32_t HDRMatrixWriter::passThrough(uint32_t* conversionIndex) {
    if (mBypassIndex < 0) {
        mBypassIndex = static_cast<int32_t>(mNumConversions);
        mNumConversions++;
    }
    *conversionIndex = static_cast<uint32_t>(mBypassIndex);
    return kPassThrough;
}

uint32_t HDRMatrixWriter::configure(uint32_t dataspace, uint32_t max_luminance,
                                    uint32_t target_max_luminance, uint32_t* conversionIndex) {
    if (tooManyConversions()) return kFailed;

    if (kestrel::isGammaTransfer(mTargetDataspace) && kestrel::isGammaTransfer(dataspace)) {
        return passThrough(conversionIndex);
    }

    Hdr10Lut& store = gHdr10Lut;
    Hdr10Lut::EotfPosition eotf = store.getEotf(dataspace, max_luminance);
    if (eotf == store.eotfNoMatch()) return kFailed;

    Hdr10Lut::GamutPosition gamut = store.getGamutMapping(dataspace, mTargetDataspace);
    bool gamutMatched = gamut != store.gamutNoMatch();
    if (!gamutMatched &&
        kestrel::transferField(dataspace) == kestrel::transferField(mTargetDataspace)) {
        return passThrough(conversionIndex);
    }

    // The same EOTF and gamut entries as an earlier layer: share its number.
    // The OETF takes no part in this test.
    for (uint32_t i = 0; i < mNumRecords; i++) {
        if (mConversions[i].eotf == eotf && mConversions[i].gamut == gamut) {
            *conversionIndex = mConversions[i].number;
            return kConverted;
        }
    }

    Hdr10Lut::OetfRootPosition root = store.getOetfRoot(mTargetDataspace, target_max_luminance);
    if (root == store.oetfNoMatch()) return kFailed;
    Hdr10Lut::EotfPosition oetf = store.getOetf(root, max_luminance);
    // A loaded root always holds an entry; a root left empty in a store
    // filled by hand yields none, and fails before anything is written.
    if (oetf == root->entries.end()) return kFailed;

    // The store's entries are validated at load time to hold exactly the
    // section's words; the bounds below also keep a hand-filled store from
    // writing past a section.
    constexpr size_t kEotfWords = 2 * kestrel::kEotfPoints;
    constexpr size_t kOetfWords = 2 * kestrel::kOetfPoints;
    const size_t eotfWords = eotf->values.size() < kEotfWords ? eotf->values.size() : kEotfWords;
    for (size_t i = 0; i < eotfWords; i++) mHdrCoef->eotfTable[i] = eotf->values[i];
    if (gamutMatched) {
        for (size_t i = 0; i < 9; i++) mHdrCoef->gamutMatrix[i] = gamut->matrix[i];
    }
    const size_t oetfWords = oetf->values.size() < kOetfWords ? oetf->values.size() : kOetfWords;
    for (size_t i = 0; i < oetfWords; i++) mHdrCoef->oetfTable[i] = oetf->values[i];

    mConversions[mNumRecords++] = ConversionRecord{mNumConversions, eotf, gamut};
    *conversionIndex = mNumConversions;
    mNumConversions++;
    return kConverted;
}

uint32_t HDRMatrixWriter::configure(uint32_t /*dataspace*/, _VelmorHdrDynamicInfo* meta,
                                    uint32_t target_max_luminance, uint32_t max_luminance,
                                    uint32_t* conversionIndex) {
    if (tooManyConversions()) return kFailed;

    constexpr unsigned kPoints = kestrel::kTonePoints;
    unsigned int lutX[kPoints] = {};
    unsigned int lutY[kPoints] = {};
    meta2lut_dtm(target_max_luminance, max_luminance, meta, lutX, lutY, kPoints);

    for (unsigned i = 0; i < kPoints; i++) mHdrCoef->toneX[i] = lutX[i];
    for (unsigned i = 0; i < kPoints; i++) mHdrCoef->toneY[i] = lutY[i];
    kestrel::diag::printToneRegisters(lutX, lutY, kPoints);

    *conversionIndex = mNumConversions;
    mNumConversions++;
    return kConverted;
}
