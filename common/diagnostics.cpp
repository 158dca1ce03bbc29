#include "common/diagnostics.h"

#include <android/log.h>

#include <cstdio>

#include "plugin/hdrCoef.h"

namespace kestrel::diag {
namespace {

// Room for every function name and word the lines show; the longest is
// "setTargetDisplayLuminance" (25). A longer string still prints whole: the
// batch then hands that line to the C library.
constexpr size_t kWordBound = 32;

template <const auto& F>
using OneLine = LineBatch<maxLineLength(F, kWordBound)>;

}  // namespace

void printSetLayerStaticMetadata(int index, int dataspace, uint32_t minLuminance,
                                 uint32_t maxLuminance) {
    OneLine<kSetLayerStaticMetadataFormat> out(stdout);
    out.line<kSetLayerStaticMetadataFormat>("setLayerStaticMetadata", 466, index, dataspace,
                                            static_cast<int>(minLuminance),
                                            static_cast<int>(maxLuminance));
}

void printSetLayerOpaqueData(const void* data) {
    OneLine<kSetLayerOpaqueDataFormat> out(stdout);
    out.line<kSetLayerOpaqueDataFormat>("setLayerOpaqueData", 481, data);
}

void printSetLayerImageInfo(int index, bool alphaPremult) {
    OneLine<kSetLayerImageInfoFormat> out(stdout);
    out.line<kSetLayerImageInfoFormat>("setLayerImageInfo", 486, index,
                                       alphaPremult ? "true" : "false");
}

void printSetTargetInfo(int dataspace) {
    OneLine<kSetTargetInfoFormat> out(stdout);
    out.line<kSetTargetInfoFormat>("setTargetInfo", 493, dataspace);
}

void printSetTargetDisplayLuminance(uint32_t minLuminance, uint32_t maxLuminance) {
    OneLine<kSetTargetDisplayLuminanceFormat> out(stdout);
    out.line<kSetTargetDisplayLuminanceFormat>("setTargetDisplayLuminance", 499,
                                               static_cast<int>(minLuminance),
                                               static_cast<int>(maxLuminance));
}

void printToneRegisters(const unsigned int* lutX, const unsigned int* lutY, int count) {
    // The 66 lines of a 33-point table in one write (about 2.6 KB, 3.6 KB at
    // the longest values); a longer table flushes as the buffer fills.
    LineBatch<2 * kTonePoints * maxLineLength(kToneRegisterFormat, sizeof "write" - 1)> out(stdout);
    for (int i = 0; i < count; i++) {
        out.line<kToneRegisterFormat>("write", 376, i, static_cast<int>(lutX[i]));
    }
    for (int i = 0; i < count; i++) {
        out.line<kToneRegisterFormat>("write", 376, i, static_cast<int>(lutY[i]));
    }
}

void printMeta2LutCopy(const void* copy) {
    OneLine<kMeta2LutCopyFormat> out(stdout);
    out.line<kMeta2LutCopyFormat>("meta2lut_dtm", 401, copy);
}

void printCurveBeforeAdaptation(uint16_t kneeX, uint16_t kneeY, uint16_t toneMappingFlag) {
    LineBatch<3 * maxLineLength(kToneMappingFlagFormat, kWordBound)> out(stdout);
    out.line<kKneeXBeforeFormat>("meta2meta", 387, kneeX);
    out.line<kKneeYBeforeFormat>("meta2meta", 388, kneeY);
    out.line<kToneMappingFlagFormat>("meta2meta", 389, static_cast<int>(toneMappingFlag));
}

void printCurveAfterAdaptation(uint16_t kneeX, uint16_t kneeY, uint16_t anchorCount,
                               const uint16_t (&anchors)[kMaxBezierAnchors]) {
    LineBatch<2 * maxLineLength(kKneeXAfterFormat, kWordBound) +
              kMaxBezierAnchors * maxLineLength(kAnchorAfterFormat, kWordBound)>
        out(stdout);
    out.line<kKneeXAfterFormat>("meta2meta", 420, kneeX);
    out.line<kKneeYAfterFormat>("meta2meta", 421, kneeY);
    for (int i = 0; i < static_cast<int>(kMaxBezierAnchors); i++) {
        out.line<kAnchorAfterFormat>("meta2meta", 425, static_cast<int>(anchorCount), i,
                                     anchors[i]);
    }
}

void printEotfEntry(const char* transfer, uint32_t luminance, int x0, int y0, int x1, int y1) {
    OneLine<kEotfEntryFormat> out(stdout);
    out.line<kEotfEntryFormat>("showEotf", 177, transfer, static_cast<int>(luminance), x0, y0, x1,
                               y1);
}

void printOetfEntry(const char* transfer, uint32_t productPeak, uint32_t luminance, int x0, int y0,
                    int x1, int y1) {
    OneLine<kOetfEntryFormat> out(stdout);
    out.line<kOetfEntryFormat>("showOetf", 195, transfer, static_cast<int>(productPeak),
                               static_cast<int>(luminance), x0, y0, x1, y1);
}

void printGamutEntry(const char* source, const char* target, int first, int last) {
    OneLine<kGamutEntryFormat> out(stdout);
    out.line<kGamutEntryFormat>("showGM", 211, source, target, first, last);
}

void printOpenFailed(const char* path) {
    // Paths are usually short; a long one goes to fprintf whole.
    LineBatch<512> out(stdout);
    out.line<kOpenFailedFormat>("load", 149, path);
}

void logTooManyConversions() {
    __android_log_print(ANDROID_LOG_ERROR, kLogTag, "Too many HDR conversion required");
}

void logGuidedTargetUnder200() {
    __android_log_print(ANDROID_LOG_ERROR, kLogTag,
                        "Error GuidedOOTF : target peak under 200 nits not supported at this time");
}

void logPresetSource(const char* source) {
    __android_log_print(ANDROID_LOG_DEBUG, kLogTag, "Loading HDR10 preset from %s", source);
}

void logUnsupportedDataspace(unsigned int dataspace, const char* table) {
    __android_log_print(ANDROID_LOG_ERROR, kLogTag, "dataspace %#08x is not supported for %s",
                        dataspace, table);
}

void logNoTable(const char* table, const char* transfer) {
    __android_log_print(ANDROID_LOG_ERROR, kLogTag, "no %s is defined for %s", table, transfer);
}

}  // namespace kestrel::diag
