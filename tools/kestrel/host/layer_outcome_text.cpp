// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/host/layer_outcome_text.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "preset/Hdr10Lut.h"

namespace kestrel::tool {

namespace {

using Kind = LayerOutcome::Kind;
using Reason = LayerOutcome::Reason;

std::string transferName(uint32_t dataspace) {
    const unsigned t = (dataspace >> 22) & 0x1f;
    return t < kNumTransfers ? transferNames[t].name : "transfer " + std::to_string(t);
}

// `standard` as the store keeps it: the dataspace's bits 16..21.
std::string standardName(uint32_t standard) {
    const unsigned row = (standard & 0x3f0000) >> 16;
    return row < kNumStandards ? standardNames[row].name : "standard " + std::to_string(row);
}

std::string nits(uint32_t value) { return std::to_string(value) + " nit"; }

// How a "first key not below the request, else the last" lookup came out.
const char* choice(uint32_t key, uint32_t requested) {
    if (key == requested) return "exact";
    return key > requested ? "nearest-above" : "largest";
}

// The note for a key other than the one asked for, or "".
std::string choiceNote(uint32_t key, uint32_t requested, const std::string& whose) {
    if (key == requested) return "";
    if (key > requested) return "nearest above " + whose + " " + nits(requested);
    return "the largest, below " + whose + " " + nits(requested);
}

std::string withNotes(std::string text, const std::vector<std::string>& notes) {
    std::string joined;
    for (const std::string& note : notes) {
        if (note.empty()) continue;
        joined += (joined.empty() ? "" : "; ") + note;
    }
    return joined.empty() ? text : text + " (" + joined + ")";
}

std::string eotfText(const LayerOutcome& o) {
    return withNotes("EOTF[" + transferName(o.layerDataspace) + "] " + nits(o.eotf->luminance),
                     {choiceNote(o.eotf->luminance, o.layerPeak, "the layer's")});
}

std::string gamutText(const LayerOutcome& o) {
    const std::string conversion =
        standardName(o.layerDataspace) + " -> " + standardName(o.targetDataspace);
    if (o.gamut == nullptr) return "no GM " + conversion + " (the matrix is not written)";
    return "GM " + conversion;
}

std::string oetfText(const LayerOutcome& o) {
    const OetfRoot& root = *o.oetfRoot;
    std::string rootNote;
    if (root.productPeak == 0) {
        rootNote = "the default entry";
    } else if (root.productPeak != o.targetPeak) {
        rootNote = root.productPeak > o.targetPeak
                       ? "product peak nearest above the target's " + nits(o.targetPeak)
                       : "the largest product peak, below the target's " + nits(o.targetPeak);
    }
    return withNotes("OETF[" + transferName(o.targetDataspace) + "] " + nits(root.productPeak) +
                         " <- " + nits(o.oetf->luminance),
                     {rootNote, root.productPeak == 0
                                    ? ""
                                    : choiceNote(o.oetf->luminance, o.layerPeak, "the layer's")});
}

std::string failure(const LayerOutcome& o) {
    switch (o.reason) {
        case Reason::kTooManyConversions:
            return "four conversions were numbered already";
        case Reason::kNoEotf:
            return "no EOTF table for " + transferName(o.layerDataspace) + " in the preset";
        case Reason::kNoOetfRoot:
            return "no OETF table for the target's " + transferName(o.targetDataspace) +
                   " in the preset";
        case Reason::kNoOetfEntry:
            return "the OETF root for product peak " + nits(o.oetfRoot->productPeak) +
                   " holds no entry";
        default:
            return "";
    }
}

std::string passThroughReason(const LayerOutcome& o) {
    if (o.reason == Reason::kGammaOnGamma) return "a gamma layer on a gamma target";
    return "the target's transfer, and " + gamutText(o).substr(0, gamutText(o).find(" (")) +
           " in the preset";
}

const char* kindWord(const LayerReport& layer) {
    if (!layer.reached) return "not-reached";
    switch (layer.outcome.kind) {
        case Kind::kPassThrough:
            return "pass-through";
        case Kind::kConverted:
            return "converted";
        case Kind::kRepeated:
            return "repeated";
        case Kind::kToneTable:
            return "tone-table";
        case Kind::kFailed:
            break;
    }
    return "failed";
}

std::string conversion(const LayerOutcome& o) {
    return " (conversion " + std::to_string(o.number) + ")";
}

}  // namespace

std::string describeOutcome(const LayerReport& layer, const std::vector<LayerReport>& frame) {
    if (!layer.reached) return "not reached: getParams() stopped at an earlier layer";
    const LayerOutcome& o = layer.outcome;
    switch (o.kind) {
        case Kind::kFailed:
            return "failed: " + failure(o) + ", so getParams() returns null";
        case Kind::kPassThrough: {
            std::string text = "pass-through" + conversion(o) + ": " + passThroughReason(o);
            if (layer.neededTables) {
                text += "; the layer's " + nits(o.layerPeak) + " are above the target's " +
                        nits(o.targetPeak) + ": it needed tables and got none";
            }
            return text;
        }
        case Kind::kToneTable:
            return "HDR10+ tone table" + conversion(o) + " for a " + nits(o.targetPeak) +
                   " target";
        case Kind::kRepeated: {
            std::string text = "repeated conversion " + std::to_string(o.number);
            for (const LayerReport& earlier : frame) {
                if (earlier.reached && earlier.outcome.kind == Kind::kConverted &&
                    earlier.outcome.number == o.number) {
                    text += " of layer " + std::to_string(earlier.index);
                    break;
                }
            }
            return text + ": " + eotfText(o) + ", " + gamutText(o);
        }
        case Kind::kConverted:
            break;
    }
    return "converted" + conversion(o) + ": " + eotfText(o) + ", " + gamutText(o) + ", " +
           oetfText(o);
}

Json::Value outcomeJson(const LayerReport& layer) {
    Json::Value out(Json::objectValue);
    out["layer"] = layer.index;
    out["outcome"] = kindWord(layer);
    if (!layer.reached) return out;
    const LayerOutcome& o = layer.outcome;
    if (o.kind != Kind::kFailed) out["conversion"] = o.number;
    if (o.kind == Kind::kFailed) out["reason"] = failure(o);
    if (o.kind == Kind::kPassThrough) out["reason"] = passThroughReason(o);
    if (o.eotf != nullptr) {
        Json::Value eotf(Json::objectValue);
        eotf["transfer"] = transferName(o.layerDataspace);
        eotf["luminance"] = o.eotf->luminance;
        eotf["requested"] = o.layerPeak;
        eotf["choice"] = choice(o.eotf->luminance, o.layerPeak);
        out["eotf"] = eotf;
    }
    if (o.eotf != nullptr && o.kind != Kind::kFailed) {
        Json::Value gamut(Json::nullValue);
        if (o.gamut != nullptr) {
            gamut = Json::Value(Json::objectValue);
            gamut["source"] = standardName(o.gamut->source);
            gamut["target"] = standardName(o.gamut->target);
        }
        out["gamut"] = gamut;
    }
    if (o.oetf != nullptr) {
        Json::Value oetf(Json::objectValue);
        oetf["transfer"] = transferName(o.targetDataspace);
        oetf["product_peak"] = o.oetfRoot->productPeak;
        oetf["requested_peak"] = o.targetPeak;
        oetf["luminance"] = o.oetf->luminance;
        oetf["requested"] = o.layerPeak;
        oetf["default"] = o.oetfRoot->productPeak == 0;
        out["oetf"] = oetf;
    }
    out["needed_tables"] = layer.neededTables;
    return out;
}

namespace {

template <typename T, size_t N>
Json::Value array(const T (&words)[N], size_t from, size_t count) {
    Json::Value out(Json::arrayValue);
    for (size_t i = from; i < from + count && i < N; i++) out.append(words[i]);
    return out;
}

}  // namespace

Json::Value blockJson(const hdrCoef& block) {
    Json::Value out(Json::objectValue);
    out["coef_flag"] = block.coefFlag;
    Json::Value oetf(Json::objectValue);
    oetf["flag"] = block.oetfFlag;
    oetf["x"] = array(block.oetfTable, 0, 33);
    oetf["y"] = array(block.oetfTable, 33, 33);
    out["oetf"] = oetf;
    Json::Value eotf(Json::objectValue);
    eotf["flag"] = block.eotfFlag;
    eotf["x"] = array(block.eotfTable, 0, 65);
    eotf["y"] = array(block.eotfTable, 65, 65);
    out["eotf"] = eotf;
    Json::Value gamut(Json::objectValue);
    gamut["flag"] = block.gamutFlag;
    gamut["matrix"] = array(block.gamutMatrix, 0, 9);
    out["gamut"] = gamut;
    Json::Value tone(Json::objectValue);
    tone["flag"] = block.toneFlag;
    tone["x"] = array(block.toneX, 0, 33);
    tone["y"] = array(block.toneY, 0, 33);
    out["tone"] = tone;
    return out;
}

void writeBlockCArray(std::ostream& out, const hdrCoef& block, const std::string& name) {
    struct Field {
        size_t word;
        const char* name;
    };
    // Word offsets from the structure itself, so that they cannot drift.
    static const Field kFields[] = {
        {offsetof(hdrCoef, coefFlag) / 4, "coefFlag"},
        {offsetof(hdrCoef, reserved0) / 4, "reserved0"},
        {offsetof(hdrCoef, oetfFlag) / 4, "oetfFlag"},
        {offsetof(hdrCoef, oetfTable) / 4, "oetfTable: 33 x, then 33 y"},
        {offsetof(hdrCoef, reserved1) / 4, "reserved1"},
        {offsetof(hdrCoef, eotfFlag) / 4, "eotfFlag"},
        {offsetof(hdrCoef, eotfTable) / 4, "eotfTable: 65 x, then 65 y"},
        {offsetof(hdrCoef, reserved2) / 4, "reserved2"},
        {offsetof(hdrCoef, gamutFlag) / 4, "gamutFlag"},
        {offsetof(hdrCoef, gamutMatrix) / 4, "gamutMatrix, row-major (int32_t words)"},
        {offsetof(hdrCoef, reserved3) / 4, "reserved3"},
        {offsetof(hdrCoef, toneFlag) / 4, "toneFlag"},
        {offsetof(hdrCoef, toneX) / 4, "toneX"},
        {offsetof(hdrCoef, toneY) / 4, "toneY"},
        {offsetof(hdrCoef, reserved4) / 4, "reserved4"},
    };
    constexpr size_t kWords = sizeof(hdrCoef) / 4;
    uint32_t words[kWords];
    static_assert(sizeof words == sizeof block, "the block is whole words");
    std::memcpy(words, &block, sizeof words);
    out << "static const uint32_t " << name << "[" << kWords << "] = {\n";
    for (size_t f = 0; f < std::size(kFields); f++) {
        const size_t end = f + 1 < std::size(kFields) ? kFields[f + 1].word : kWords;
        out << "    /* " << kFields[f].word << ": " << kFields[f].name << " */\n";
        for (size_t w = kFields[f].word; w < end; w += 8) {
            out << "   ";
            for (size_t i = w; i < end && i < w + 8; i++) {
                char text[16];
                std::snprintf(text, sizeof text, " 0x%08xu,", static_cast<unsigned>(words[i]));
                out << text;
            }
            out << "\n";
        }
    }
    out << "};\n";
}

}  // namespace kestrel::tool
