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

void printToneRegisters(const unsigned int* lutX, const unsigned int* lutY, int count) {
    // The 66 lines of a 33-point table in one write (about 2.6 KB, 3.6 KB at
    // the longest values); a longer table flushes as the buffer fills.
    StdoutLines<2 * kTonePoints * maxLineLength(kToneRegisterFormat, sizeof "write" - 1)> out;
    for (int i = 0; i < count; i++) {
        out.line<kToneRegisterFormat>("write", 376, i, static_cast<int>(lutX[i]));
    }
    for (int i = 0; i < count; i++) {
        out.line<kToneRegisterFormat>("write", 376, i, static_cast<int>(lutY[i]));
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

void printCurveAfterAdaptation(uint16_t kneeX, uint16_t kneeY, uint16_t anchorCount,
                               const uint16_t* anchors, size_t slots) {
    StdoutLines<2 * maxLineLength(kKneeXAfterFormat, kWordBound) +
                kAnchorSlotsInOneWrite * maxLineLength(kAnchorAfterFormat, kWordBound)>
        out;
    out.line<kKneeXAfterFormat>("meta2meta", 420, kneeX);
    out.line<kKneeYAfterFormat>("meta2meta", 421, kneeY);
    for (int i = 0; i < static_cast<int>(slots); i++) {
        out.line<kAnchorAfterFormat>("meta2meta", 425, static_cast<int>(anchorCount), i,
                                     anchors[i]);
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
