// SPDX-License-Identifier: Apache-2.0
// Every diagnostic line of the library in one place: the formats of the
// lines on standard output, the Android log's tag and messages, and one
// function per kind of line. Each function hands its lines to the calling
// thread's sink (common/diagnostic_sink.h); what follows describes the
// default sink, which is what hosts get.
//
// Standard output lines are headed "%s(%d)": the writing function's name and
// a fixed number, which readers of existing logs search for. Unsigned values
// that the lines show with %d are reinterpreted as int, as printf would show
// them. Each print function formats its lines on the stack and hands them to
// stdout in one fwrite, the FILE the host's own printf uses, so its buffering
// and redirection apply unchanged; nothing silences them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/diag_format.h"

namespace kestrel::diag {

// The Android log tag of every error and notice of the library.
inline constexpr char kLogTag[] = "liborrin";

// --- Standard output: the formats -------------------------------------------

// Command writer setters.
inline constexpr auto kSetLayerStaticMetadataFormat =
    makeFormat("%s(%d)index : %d, dataspace : %d, min_luminance : %d, max_luminance : %d\n");
inline constexpr auto kSetLayerOpaqueDataFormat = makeFormat("%s(%d)meta@@ : %p\n");
inline constexpr auto kSetLayerImageInfoFormat =
    makeFormat("%s(%d)index : %d, alpha_premult : %s\n");
inline constexpr auto kSetTargetInfoFormat = makeFormat("%s(%d)mTargetDataspace : %d\n");
inline constexpr auto kSetTargetDisplayLuminanceFormat =
    makeFormat("%s(%d)min_luminance : %d, max_luminance : %d\n");

// Conversion writer: one line per tone-mapping register.
inline constexpr auto kToneRegisterFormat = makeFormat("%s(%d)coef_regs[%d] : %d\n");

// Metadata-to-table entry: the address of its private copy of the record.
inline constexpr auto kMeta2LutCopyFormat = makeFormat("%s(%d)meta : %p\n");

// Curve adaptation: the curve as it comes in and as it goes out.
inline constexpr auto kKneeXBeforeFormat = makeFormat("%s(%d)meta knee_pointx : %hu\n");
inline constexpr auto kKneeYBeforeFormat = makeFormat("%s(%d)meta knee_pointy : %hu\n");
inline constexpr auto kToneMappingFlagFormat = makeFormat("%s(%d)meta tone_mapping_flag : %d\n");
inline constexpr auto kKneeXAfterFormat = makeFormat("%s(%d)after meta knee_pointx : %hu\n");
inline constexpr auto kKneeYAfterFormat = makeFormat("%s(%d)after meta knee_pointy : %hu\n");
inline constexpr auto kAnchorAfterFormat =
    makeFormat("%s(%d)order : %d after meta bezier_curve_anchors[%d]: %hu\n");

// Preset store: the dumps and the loader's open failure.
inline constexpr auto kEotfEntryFormat =
    makeFormat("%s(%d)EOTF[%s]: %d nit, (%d, %d) - (%d, %d)\n");
inline constexpr auto kOetfEntryFormat =
    makeFormat("%s(%d)OETF[%s]: %d nit <- %d nit, (%d, %d) - (%d, %d)\n");
inline constexpr auto kGamutEntryFormat = makeFormat("%s(%d)GM[%s -> %s]:(%d, %d)\n");
inline constexpr auto kOpenFailedFormat = makeFormat("%s(%d)failed to open '%s'\n");

// --- Standard output: one function per kind of line -------------------------

void printSetLayerStaticMetadata(int index, int dataspace, uint32_t minLuminance,
                                 uint32_t maxLuminance);
void printSetLayerOpaqueData(const void* data);
void printSetLayerImageInfo(int index, bool alphaPremult);
void printSetTargetInfo(int dataspace);
void printSetTargetDisplayLuminance(uint32_t minLuminance, uint32_t maxLuminance);

// The tone-mapping registers as written: count lines for lutX, then count
// lines for lutY, each numbered from 0.
void printToneRegisters(const unsigned int* lutX, const unsigned int* lutY, int count);

void printMeta2LutCopy(const void* copy);

// The curve before adaptation (three lines), and after it (knee point and
// every anchor slot of the record, valid or not, with the anchor count).
void printCurveBeforeAdaptation(uint16_t kneeX, uint16_t kneeY, uint16_t toneMappingFlag);

// The after-adaptation lines reach standard output in one write when the
// record has at most this many anchor slots.
inline constexpr size_t kAnchorSlotsInOneWrite = 16;
void printCurveAfterAdaptation(uint16_t kneeX, uint16_t kneeY, uint16_t anchorCount,
                               const uint16_t* anchors, size_t slots);
template <size_t Slots>
void printCurveAfterAdaptation(uint16_t kneeX, uint16_t kneeY, uint16_t anchorCount,
                               const uint16_t (&anchors)[Slots]) {
    static_assert(Slots <= kAnchorSlotsInOneWrite, "every anchor line in one write");
    printCurveAfterAdaptation(kneeX, kneeY, anchorCount, anchors, Slots);
}

// One stored table entry each: first and last points of a LUT, or the
// corner coefficients of a gamut matrix.
void printEotfEntry(const char* transfer, uint32_t luminance, int x0, int y0, int x1, int y1);
void printOetfEntry(const char* transfer, uint32_t productPeak, uint32_t luminance, int x0, int y0,
                    int x1, int y1);
void printGamutEntry(const char* source, const char* target, int first, int last);
void printOpenFailed(const char* path);

// --- Android log ------------------------------------------------------------
// Error priority unless said otherwise.

void logTooManyConversions();
void logGuidedTargetUnder200();
void logPresetSource(const char* source);  // debug priority
void logUnsupportedDataspace(unsigned int dataspace, const char* table);
void logNoTable(const char* table, const char* transfer);

// The preset loader: the file as a whole.
void logPresetParseFailed(const char* path, const char* parserErrors);
void logPresetTopLevelNotObject(const char* path);
void logPresetLoadInterrupted(const char* path, const char* reason);
void logPresetLoadInterrupted(const char* path);

// The preset loader: one entry of a section.
void logEntryNotObject(const char* section);
void logMemberNotString(const char* key, const char* section);
// `kind` reads as the end of a sentence: "an unsigned 32-bit integer".
void logMemberNotConvertible(const char* key, const char* section, const char* kind);
void logElementNotConvertible(const char* key, unsigned int position, const char* section,
                              const char* kind);
void logEntryWithoutFunction(const char* section);
void logWrongLutPointCount(const char* section, unsigned int xCount, unsigned int yCount);
void logUnknownTransfer(const char* name);
void logGamutSourceOrTargetMissing();
void logUnknownGamutConversion(const char* source, const char* target);
void logWrongGamutValueCount(const char* source, const char* target);

}  // namespace kestrel::diag
