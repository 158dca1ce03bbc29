// SPDX-License-Identifier: Apache-2.0
#include "plugin/HDRMatrixWriter.h"

#include <cstring>

#include "common/diagnostics.h"
#include "dtm/meta2lut.h"
#include "plugin/dataspace.h"

HDRMatrixWriter::HDRMatrixWriter(uint32_t targetDataspace, hdrCoef* block, Hdr10Lut& store)
    : mStore(store), mTargetDataspace(targetDataspace), mHdrCoef(block) {}

namespace {

using Kind = LayerOutcome::Kind;
using Reason = LayerOutcome::Reason;

void noteRequest(LayerOutcome* outcome, uint32_t dataspace, uint32_t target, uint32_t layerPeak,
                 uint32_t targetPeak) {
    if (outcome == nullptr) return;
    *outcome = LayerOutcome{};
    outcome->layerDataspace = dataspace;
    outcome->targetDataspace = target;
    outcome->layerPeak = layerPeak;
    outcome->targetPeak = targetPeak;
}

uint32_t report(LayerOutcome* outcome, Kind kind, Reason reason, uint32_t result) {
    if (outcome != nullptr) {
        outcome->kind = kind;
        outcome->reason = reason;
    }
    return result;
}

}  // namespace

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
                                    uint32_t target_max_luminance, uint32_t* conversionIndex,
                                    LayerOutcome* outcome) {
    noteRequest(outcome, dataspace, mTargetDataspace, max_luminance, target_max_luminance);
    if (tooManyConversions()) {
        return report(outcome, Kind::kFailed, Reason::kTooManyConversions, kFailed);
    }

    if (kestrel::isGammaTransfer(mTargetDataspace) && kestrel::isGammaTransfer(dataspace)) {
        passThrough(conversionIndex);
        if (outcome != nullptr) outcome->number = *conversionIndex;
        return report(outcome, Kind::kPassThrough, Reason::kGammaOnGamma, kPassThrough);
    }

    Hdr10Lut& store = mStore;
    Hdr10Lut::EotfPosition eotf = store.getEotf(dataspace, max_luminance);
    if (eotf == store.eotfNoMatch()) return report(outcome, Kind::kFailed, Reason::kNoEotf, kFailed);
    if (outcome != nullptr) outcome->eotf = &*eotf;

    Hdr10Lut::GamutPosition gamut = store.getGamutMapping(dataspace, mTargetDataspace);
    bool gamutMatched = gamut != store.gamutNoMatch();
    if (outcome != nullptr && gamutMatched) outcome->gamut = &*gamut;
    if (!gamutMatched &&
        kestrel::transferField(dataspace) == kestrel::transferField(mTargetDataspace)) {
        passThrough(conversionIndex);
        if (outcome != nullptr) outcome->number = *conversionIndex;
        return report(outcome, Kind::kPassThrough, Reason::kSameTransferNoGamut, kPassThrough);
    }

    // The same EOTF and gamut entries as an earlier layer: share its number.
    // The OETF takes no part in this test.
    for (uint32_t i = 0; i < mNumRecords; i++) {
        if (mConversions[i].eotf == eotf && mConversions[i].gamut == gamut) {
            *conversionIndex = mConversions[i].number;
            if (outcome != nullptr) outcome->number = *conversionIndex;
            return report(outcome, Kind::kRepeated, Reason::kNone, kConverted);
        }
    }

    Hdr10Lut::OetfRootPosition root = store.getOetfRoot(mTargetDataspace, target_max_luminance);
    if (root == store.oetfNoMatch()) {
        return report(outcome, Kind::kFailed, Reason::kNoOetfRoot, kFailed);
    }
    if (outcome != nullptr) outcome->oetfRoot = &*root;
    Hdr10Lut::EotfPosition oetf = store.getOetf(root, max_luminance);
    // A loaded root always holds an entry; a root left empty in a store
    // filled by hand yields none, and fails before anything is written.
    if (oetf == root->entries.end()) {
        return report(outcome, Kind::kFailed, Reason::kNoOetfEntry, kFailed);
    }
    if (outcome != nullptr) outcome->oetf = &*oetf;

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
    if (outcome != nullptr) outcome->number = *conversionIndex;
    return report(outcome, Kind::kConverted, Reason::kNone, kConverted);
}

uint32_t HDRMatrixWriter::configure(uint32_t dataspace, _VelmorHdrDynamicInfo* meta,
                                    uint32_t target_max_luminance, uint32_t max_luminance,
                                    uint32_t* conversionIndex, LayerOutcome* outcome) {
    noteRequest(outcome, dataspace, mTargetDataspace, max_luminance, target_max_luminance);
    if (tooManyConversions()) {
        return report(outcome, Kind::kFailed, Reason::kTooManyConversions, kFailed);
    }

    // The table goes straight into the block. Entries the table leaves
    // unwritten (a curve whose range ran out of points, or no table at all)
    // read 0, never what an earlier frame left there.
    constexpr unsigned kPoints = kestrel::kTonePoints;
    std::memset(mHdrCoef->toneX, 0, sizeof mHdrCoef->toneX);
    std::memset(mHdrCoef->toneY, 0, sizeof mHdrCoef->toneY);
    meta2lut_dtm(target_max_luminance, max_luminance, meta, mHdrCoef->toneX, mHdrCoef->toneY,
                 kPoints);
    kestrel::diag::printToneRegisters(mHdrCoef->toneX, mHdrCoef->toneY, kPoints);

    *conversionIndex = mNumConversions;
    mNumConversions++;
    if (outcome != nullptr) outcome->number = *conversionIndex;
    return report(outcome, Kind::kToneTable, Reason::kNone, kConverted);
}
