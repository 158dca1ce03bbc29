// SPDX-License-Identifier: Apache-2.0
#include "common/diagnostics.h"

#include <android/log.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/diagnostic_sink.h"

#include "plugin/hdrCoef.h"

namespace kestrel::diag {

static_assert(static_cast<int>(Priority::kDebug) == ANDROID_LOG_DEBUG &&
                  static_cast<int>(Priority::kInfo) == ANDROID_LOG_INFO &&
                  static_cast<int>(Priority::kWarn) == ANDROID_LOG_WARN &&
                  static_cast<int>(Priority::kError) == ANDROID_LOG_ERROR,
              "a record's priority is the log's own number");

// --- The sink ----------------------------------------------------------------

namespace {

// A trivially constructed pointer: no per-thread constructor runs, in the
// plug-in or in a program, until a scope is made.
thread_local const DiagnosticScope* tCurrentScope = nullptr;

}  // namespace

DiagnosticScope::DiagnosticScope(Receiver receive)
    : mReceive(std::move(receive)), mOuter(tCurrentScope) {
    tCurrentScope = this;
}

DiagnosticScope::~DiagnosticScope() { tCurrentScope = mOuter; }

const DiagnosticScope* DiagnosticScope::current() { return tCurrentScope; }

void DiagnosticScope::deliver(const Record& record) const noexcept {
    try {
        if (mReceive) mReceive(record);
    } catch (...) {
        // Library code between the caller and here is not all exception-safe.
    }
}

namespace {

// Room for every function name and word the lines show; the longest is
// "setTargetDisplayLuminance" (25). A longer string still prints whole: the
// batch then hands that line to the C library.
constexpr size_t kWordBound = 32;

// printf's text for a null %s, which is undefined for the C library itself.
template <typename T>
T definedForPrintf(T v) {
    return v;
}
const char* definedForPrintf(const char* s) { return s != nullptr ? s : kNullString; }

// The standard-output lines of one call. With no scope on the thread they
// are collected into one fwrite to stdout (flushed as Capacity fills, and
// when the call ends); with a scope, each line is one record.
template <size_t Capacity>
class StdoutLines {
public:
    StdoutLines() : mScope(DiagnosticScope::current()), mBatch(stdout) {}

    template <const auto& F, typename... Args>
    KESTREL_DIAG_INLINE void line(const char* function, int sourceLine, Args... args) {
        static_assert(F.text[0] == '%' && F.text[1] == 's' && F.text[2] == '(' &&
                          F.text[3] == '%' && F.text[4] == 'd' && F.text[5] == ')',
                      "a standard-output line starts with its origin, \"%s(%d)\"");
        if (mScope == nullptr) {
            mBatch.template line<F>(function, sourceLine, args...);
            return;
        }
        // "name(" + digits + ")"
        char digits[16];
        const int digitCount = std::snprintf(digits, sizeof digits, "%d", sourceLine);
        mOriginLength = std::strlen(definedForPrintf(function)) + 2 +
                        static_cast<size_t>(digitCount > 0 ? digitCount : 0);
        LineBuffer<maxLineLength(F, kWordBound)> one;
        if (one.template append<F>(function, sourceLine, args...)) {
            send(std::string_view(one.data(), one.size()));
            return;
        }
        // Only a string argument longer than the bound gets here. Without
        // memory for it the line is dropped: nothing throws from here into
        // the library's callers.
        const int n = std::snprintf(nullptr, 0, F.text, definedForPrintf(function), sourceLine,
                                    definedForPrintf(args)...);
        if (n < 0) return;
        std::string text;
        try {
            text.resize(static_cast<size_t>(n) + 1);
        } catch (...) {
            return;
        }
        std::snprintf(text.data(), text.size(), F.text, definedForPrintf(function), sourceLine,
                      definedForPrintf(args)...);
        text.resize(static_cast<size_t>(n));
        send(text);
    }

private:
    void send(std::string_view text) {
        if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
        mScope->deliver(Record{RecordKind::kStdoutLine, Priority::kInfo, text,
                               std::min(mOriginLength, text.size())});
    }

    const DiagnosticScope* mScope;
    size_t mOriginLength = 0;
    LineBatch<Capacity> mBatch;
};

template <const auto& F>
using OneLine = StdoutLines<maxLineLength(F, kWordBound)>;

// One message to the log: the thread's scope when there is one, else the
// Android log, which receives the finished text (the same bytes it would
// have formatted itself).
__attribute__((format(printf, 2, 3))) void logLine(Priority priority, const char* format, ...) {
    char stackText[512];
    char* text = stackText;
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(stackText, sizeof stackText, format, args);
    va_end(args);
    if (n < 0) return;
    if (static_cast<size_t>(n) >= sizeof stackText) {
        // No exception from here: hosts call through this. A message that
        // finds no memory is dropped, as the log's own formatting would.
        text = static_cast<char*>(std::malloc(static_cast<size_t>(n) + 1));
        if (text == nullptr) return;
        va_start(args, format);
        std::vsnprintf(text, static_cast<size_t>(n) + 1, format, args);
        va_end(args);
    }
    if (const DiagnosticScope* scope = DiagnosticScope::current()) {
        scope->deliver(
            Record{RecordKind::kLogLine, priority, std::string_view(text, static_cast<size_t>(n))});
    } else {
        __android_log_print(static_cast<int>(priority), kLogTag, "%s", text);
    }
    if (text != stackText) std::free(text);
}

}  // namespace

// --- Standard output -----------------------------------------------------------

void printSetLayerStaticMetadata(int index, int dataspace, uint32_t minLuminance,
                                 uint32_t maxLuminance) {
    OneLine<kSetLayerStaticMetadataFormat> out;
    out.line<kSetLayerStaticMetadataFormat>("setLayerStaticMetadata", 466, index, dataspace,
                                            static_cast<int>(minLuminance),
                                            static_cast<int>(maxLuminance));
}

void printSetLayerOpaqueData(const void* data) {
    OneLine<kSetLayerOpaqueDataFormat> out;
    out.line<kSetLayerOpaqueDataFormat>("setLayerOpaqueData", 481, data);
}

void printSetLayerImageInfo(int index, bool alphaPremult) {
    OneLine<kSetLayerImageInfoFormat> out;
    out.line<kSetLayerImageInfoFormat>("setLayerImageInfo", 486, index,
                                       alphaPremult ? "true" : "false");
}

void printSetTargetInfo(int dataspace) {
    OneLine<kSetTargetInfoFormat> out;
    out.line<kSetTargetInfoFormat>("setTargetInfo", 493, dataspace);
}

void printSetTargetDisplayLuminance(uint32_t minLuminance, uint32_t maxLuminance) {
    OneLine<kSetTargetDisplayLuminanceFormat> out;
    out.line<kSetTargetDisplayLuminanceFormat>("setTargetDisplayLuminance", 499,
                                               static_cast<int>(minLuminance),
                                               static_cast<int>(maxLuminance));
}

namespace {

// The function and source line every register line names.
constexpr char kToneRegisterFunction[] = "write";
constexpr int kToneRegisterLine = 376;

// The text of a register line before its value, "write(376)coef_regs[i] : ",
// for each register i of a table, made at compile time from the line's
// format; a line is then one copy of fixed size, the value's decimal and
// the format's last piece.
struct ToneRegisterPrefixes {
    static constexpr size_t kSlot = 32;  // every prefix fits, and one copy moves it whole
    char text[kTonePoints][kSlot] = {};
    uint8_t length[kTonePoints] = {};
};

constexpr size_t appendDecimal(char* out, size_t at, unsigned v) {
    char digits[10] = {};
    size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + v % 10u);
        v /= 10u;
    } while (v != 0);
    while (n > 0) out[at++] = digits[--n];
    return at;
}

template <const auto& F>
constexpr size_t appendPiece(char* out, size_t at, size_t piece) {
    for (size_t k = 0; k < F.pieceLength[piece]; k++) out[at++] = F.text[F.pieceStart[piece] + k];
    return at;
}

template <size_t N>
constexpr size_t appendText(char* out, size_t at, const char (&text)[N]) {
    for (size_t k = 0; k + 1 < N; k++) out[at++] = text[k];
    return at;
}

constexpr ToneRegisterPrefixes makeToneRegisterPrefixes() {
    constexpr const auto& f = kToneRegisterFormat;
    if (f.conversions != 4 || f.conversion[0] != Conversion::kString ||
        f.conversion[1] != Conversion::kInt || f.conversion[2] != Conversion::kInt ||
        f.conversion[3] != Conversion::kInt) {
        throw "a register line is an origin, an index and a value";
    }
    ToneRegisterPrefixes p{};
    for (unsigned i = 0; i < kTonePoints; i++) {
        size_t at = appendPiece<f>(p.text[i], 0, 0);
        at = appendText(p.text[i], at, kToneRegisterFunction);
        at = appendPiece<f>(p.text[i], at, 1);
        at = appendDecimal(p.text[i], at, static_cast<unsigned>(kToneRegisterLine));
        at = appendPiece<f>(p.text[i], at, 2);
        at = appendDecimal(p.text[i], at, i);
        at = appendPiece<f>(p.text[i], at, 3);
        if (at > ToneRegisterPrefixes::kSlot) throw "a register line's prefix outgrew its slot";
        p.length[i] = static_cast<uint8_t>(at);
    }
    return p;
}

constexpr ToneRegisterPrefixes kToneRegisterPrefixes = makeToneRegisterPrefixes();

// The longest register line, and the room one needs while it is written: the
// prefix is copied as a whole slot.
constexpr size_t kToneRegisterLineBound =
    maxLineLength(kToneRegisterFormat, sizeof kToneRegisterFunction - 1);
static_assert(ToneRegisterPrefixes::kSlot <= kToneRegisterLineBound,
              "a slot's copy stays within its line's room");

KESTREL_DIAG_INLINE char* putToneRegisterLine(char* p, unsigned i, unsigned int value) {
    std::memcpy(p, kToneRegisterPrefixes.text[i], ToneRegisterPrefixes::kSlot);
    p += kToneRegisterPrefixes.length[i];
    // Shown with %d, as printf shows an unsigned register reinterpreted as int.
    p = detail::put(p, static_cast<int>(value));
    constexpr size_t kLast = kToneRegisterFormat.conversions;
    std::memcpy(p, kToneRegisterFormat.text + kToneRegisterFormat.pieceStart[kLast],
                kToneRegisterFormat.pieceLength[kLast]);
    return p + kToneRegisterFormat.pieceLength[kLast];
}

}  // namespace

void printToneRegisters(const unsigned int* lutX, const unsigned int* lutY, int count) {
    if (count >= 0 && static_cast<unsigned>(count) <= kTonePoints &&
        DiagnosticScope::current() == nullptr) {
        // The lines of a table of at most the hardware's size (about 2.6 KB
        // for 33 points, 3.6 KB at the longest values) in one write.
        char text[2 * kTonePoints * kToneRegisterLineBound];
        char* p = text;
        for (unsigned i = 0; i < static_cast<unsigned>(count); i++) {
            p = putToneRegisterLine(p, i, lutX[i]);
        }
        for (unsigned i = 0; i < static_cast<unsigned>(count); i++) {
            p = putToneRegisterLine(p, i, lutY[i]);
        }
        if (p != text) std::fwrite(text, 1, static_cast<size_t>(p - text), stdout);
        return;
    }
    // A caller's scope, or a longer table (flushed as the buffer fills).
    StdoutLines<2 * kTonePoints * kToneRegisterLineBound> out;
    for (int i = 0; i < count; i++) {
        out.line<kToneRegisterFormat>(kToneRegisterFunction, kToneRegisterLine, i,
                                      static_cast<int>(lutX[i]));
    }
    for (int i = 0; i < count; i++) {
        out.line<kToneRegisterFormat>(kToneRegisterFunction, kToneRegisterLine, i,
                                      static_cast<int>(lutY[i]));
    }
}

void printMeta2LutCopy(const void* copy) {
    OneLine<kMeta2LutCopyFormat> out;
    out.line<kMeta2LutCopyFormat>("meta2lut_dtm", 401, copy);
}

void printCurveBeforeAdaptation(uint16_t kneeX, uint16_t kneeY, uint16_t toneMappingFlag) {
    StdoutLines<3 * maxLineLength(kToneMappingFlagFormat, kWordBound)> out;
    out.line<kKneeXBeforeFormat>("meta2meta", 387, kneeX);
    out.line<kKneeYBeforeFormat>("meta2meta", 388, kneeY);
    out.line<kToneMappingFlagFormat>("meta2meta", 389, static_cast<int>(toneMappingFlag));
}

namespace {

// The function and source lines of the curve after adaptation.
constexpr char kCurveAdaptationFunction[] = "meta2meta";
constexpr int kKneeXAfterLine = 420;
constexpr int kKneeYAfterLine = 421;
constexpr int kAnchorAfterLine = 425;

// An anchor line is "meta2meta(425)order : " (fixed), the anchor count (the
// same on every line of a call), " after meta bezier_curve_anchors[" (fixed),
// "i]: " (fixed per slot), the anchor and the last piece. The fixed texts
// are made at compile time from the line's format; a call writes the part
// up to the slot once, and each line copies it whole.
struct AnchorLineTexts {
    static constexpr size_t kSuffixSlot = 8;  // "15]: " and every shorter one
    char origin[32] = {};                     // "meta2meta(425)order : "
    size_t originLength = 0;
    char middle[48] = {};  // " after meta bezier_curve_anchors["
    size_t middleLength = 0;
    char suffix[kAnchorSlotsInOneWrite][kSuffixSlot] = {};
    uint8_t suffixLength[kAnchorSlotsInOneWrite] = {};
};

constexpr AnchorLineTexts makeAnchorLineTexts() {
    constexpr const auto& f = kAnchorAfterFormat;
    if (f.conversions != 5 || f.conversion[0] != Conversion::kString ||
        f.conversion[1] != Conversion::kInt || f.conversion[2] != Conversion::kInt ||
        f.conversion[3] != Conversion::kInt || f.conversion[4] != Conversion::kUShort) {
        throw "an anchor line is an origin, the count, a slot and an anchor";
    }
    AnchorLineTexts t{};
    size_t at = appendPiece<f>(t.origin, 0, 0);
    at = appendText(t.origin, at, kCurveAdaptationFunction);
    at = appendPiece<f>(t.origin, at, 1);
    at = appendDecimal(t.origin, at, static_cast<unsigned>(kAnchorAfterLine));
    t.originLength = appendPiece<f>(t.origin, at, 2);
    t.middleLength = appendPiece<f>(t.middle, 0, 3);
    for (unsigned i = 0; i < kAnchorSlotsInOneWrite; i++) {
        const size_t n = appendPiece<f>(t.suffix[i], appendDecimal(t.suffix[i], 0, i), 4);
        if (n > AnchorLineTexts::kSuffixSlot) throw "a slot's text outgrew its room";
        t.suffixLength[i] = static_cast<uint8_t>(n);
    }
    return t;
}

constexpr AnchorLineTexts kAnchorLineTexts = makeAnchorLineTexts();

// The longest text before an anchor line's slot, with the longest count.
constexpr size_t kAnchorLeadBound =
    kAnchorLineTexts.originLength + kMaxIntLength + kAnchorLineTexts.middleLength;
constexpr size_t kAnchorLineBound = maxLineLength(kAnchorAfterFormat, kWordBound);
static_assert(kAnchorLeadBound + AnchorLineTexts::kSuffixSlot <= kAnchorLineBound,
              "the copies of a line stay within its room");

}  // namespace

void printCurveAfterAdaptation(uint16_t kneeX, uint16_t kneeY, uint16_t anchorCount,
                               const uint16_t* anchors, size_t slots) {
    constexpr size_t kKneeLineBound = maxLineLength(kKneeXAfterFormat, kWordBound);
    static_assert(kKneeLineBound == maxLineLength(kKneeYAfterFormat, kWordBound), "");
    if (slots <= kAnchorSlotsInOneWrite && DiagnosticScope::current() == nullptr) {
        char text[2 * kKneeLineBound + kAnchorSlotsInOneWrite * kAnchorLineBound];
        char* p = putLine<kKneeXAfterFormat>(text, kCurveAdaptationFunction, kKneeXAfterLine, kneeX);
        p = putLine<kKneeYAfterFormat>(p, kCurveAdaptationFunction, kKneeYAfterLine, kneeY);
        // Zero-filled: every line copies the lead's whole room.
        char lead[kAnchorLeadBound] = {};
        char* q = lead;
        std::memcpy(q, kAnchorLineTexts.origin, kAnchorLineTexts.originLength);
        q = detail::put(q + kAnchorLineTexts.originLength, static_cast<int>(anchorCount));
        std::memcpy(q, kAnchorLineTexts.middle, kAnchorLineTexts.middleLength);
        const size_t leadLength = static_cast<size_t>(q - lead) + kAnchorLineTexts.middleLength;
        constexpr size_t kLast = kAnchorAfterFormat.conversions;
        for (size_t i = 0; i < slots; i++) {
            std::memcpy(p, lead, kAnchorLeadBound);
            p += leadLength;
            std::memcpy(p, kAnchorLineTexts.suffix[i], AnchorLineTexts::kSuffixSlot);
            p = detail::put(p + kAnchorLineTexts.suffixLength[i], anchors[i]);
            p = detail::piece<kAnchorAfterFormat, kLast>(p);
        }
        std::fwrite(text, 1, static_cast<size_t>(p - text), stdout);
        return;
    }
    // A caller's scope, or more slots than one write holds.
    StdoutLines<2 * kKneeLineBound + kAnchorSlotsInOneWrite * kAnchorLineBound> out;
    out.line<kKneeXAfterFormat>(kCurveAdaptationFunction, kKneeXAfterLine, kneeX);
    out.line<kKneeYAfterFormat>(kCurveAdaptationFunction, kKneeYAfterLine, kneeY);
    for (int i = 0; i < static_cast<int>(slots); i++) {
        out.line<kAnchorAfterFormat>(kCurveAdaptationFunction, kAnchorAfterLine,
                                     static_cast<int>(anchorCount), i, anchors[i]);
    }
}

void printEotfEntry(const char* transfer, uint32_t luminance, int x0, int y0, int x1, int y1) {
    OneLine<kEotfEntryFormat> out;
    out.line<kEotfEntryFormat>("showEotf", 177, transfer, static_cast<int>(luminance), x0, y0, x1,
                               y1);
}

void printOetfEntry(const char* transfer, uint32_t productPeak, uint32_t luminance, int x0, int y0,
                    int x1, int y1) {
    OneLine<kOetfEntryFormat> out;
    out.line<kOetfEntryFormat>("showOetf", 195, transfer, static_cast<int>(productPeak),
                               static_cast<int>(luminance), x0, y0, x1, y1);
}

void printGamutEntry(const char* source, const char* target, int first, int last) {
    OneLine<kGamutEntryFormat> out;
    out.line<kGamutEntryFormat>("showGM", 211, source, target, first, last);
}

void printOpenFailed(const char* path) {
    // Paths are usually short; a long one goes to fprintf whole.
    StdoutLines<512> out;
    out.line<kOpenFailedFormat>("load", 149, path);
}

// --- Android log ---------------------------------------------------------------

void logTooManyConversions() { logLine(Priority::kError, "Too many HDR conversion required"); }

void logGuidedTargetUnder200() {
    logLine(Priority::kError,
            "Error GuidedOOTF : target peak under 200 nits not supported at this time");
}

void logPresetSource(const char* source) {
    logLine(Priority::kDebug, "Loading HDR10 preset from %s", source);
}

void logUnsupportedDataspace(unsigned int dataspace, const char* table) {
    logLine(Priority::kError, "dataspace %#08x is not supported for %s", dataspace, table);
}

void logNoTable(const char* table, const char* transfer) {
    logLine(Priority::kError, "no %s is defined for %s", table, transfer);
}

void logPresetParseFailed(const char* path, const char* parserErrors) {
    logLine(Priority::kError, "failed to parse '%s': %s", path, parserErrors);
}

void logPresetTopLevelNotObject(const char* path) {
    logLine(Priority::kError, "the top level of '%s' is not an object", path);
}

void logPresetLoadInterrupted(const char* path, const char* reason) {
    logLine(Priority::kError, "failed to load '%s': %s", path, reason);
}

void logPresetLoadInterrupted(const char* path) {
    logLine(Priority::kError, "failed to load '%s'", path);
}

void logEntryNotObject(const char* section) {
    logLine(Priority::kError, "an entry of '%s' is not an object", section);
}

void logMemberNotString(const char* key, const char* section) {
    logLine(Priority::kError, "'%s' of an entry of '%s' is not a string", key, section);
}

void logMemberNotConvertible(const char* key, const char* section, const char* kind) {
    logLine(Priority::kError, "'%s' of an entry of '%s' is not %s", key, section, kind);
}

void logElementNotConvertible(const char* key, unsigned int position, const char* section,
                              const char* kind) {
    logLine(Priority::kError, "'%s'[%u] of an entry of '%s' is not %s", key, position, section,
            kind);
}

void logEntryWithoutFunction(const char* section) {
    logLine(Priority::kError, "an entry of '%s' does not have 'function'", section);
}

void logWrongLutPointCount(const char* section, unsigned int xCount, unsigned int yCount) {
    logLine(Priority::kError, "invalid number of %s LUT values: %u, %u", section, xCount, yCount);
}

void logUnknownTransfer(const char* name) {
    logLine(Priority::kError, "unknown Transfer %s", name);
}

void logGamutSourceOrTargetMissing() {
    logLine(Priority::kError, "source or target is not specified in gamut_mapping");
}

void logUnknownGamutConversion(const char* source, const char* target) {
    logLine(Priority::kError, "unknown gamut range conversion: %s -> %s", source, target);
}

void logWrongGamutValueCount(const char* source, const char* target) {
    logLine(Priority::kError, "invalid number of values in: %s -> %s", source, target);
}

}  // namespace kestrel::diag
