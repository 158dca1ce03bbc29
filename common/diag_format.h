// SPDX-License-Identifier: Apache-2.0
// A small formatter for diagnostic lines: the bytes that the C library's
// printf gives for fixed text and the conversions %s, %d, %hu, %u and %p,
// without printf's run-time interpretation of the format.
//
// A format is split at compile time into pieces of fixed text and the
// conversions between them (makeFormat); an unsupported conversion or a
// wrong argument type does not compile. At run time a line is a sequence of
// copies of known length and integer-to-text conversions into a buffer on
// the caller's stack; LineBatch hands a whole batch of lines to a stream in
// one fwrite, so buffering and redirection stay the stream's own.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <utility>

// A line's code is inlined where it is written: its string arguments are
// literals there, so their lengths and the line's bound become constants
// instead of strlen calls at run time.
#if defined(__GNUC__)
#define KESTREL_DIAG_INLINE inline __attribute__((always_inline))
#else
#define KESTREL_DIAG_INLINE inline
#endif

namespace kestrel::diag {

enum class Conversion : uint8_t { kString, kInt, kUShort, kUInt, kPointer };

// A printf format as pieces of fixed text and conversions: piece i comes
// before conversion i, and one more piece follows the last conversion. Every
// conversion takes at least two characters, so N / 2 + 1 slots suffice.
template <size_t N>
struct Format {
    static_assert(N < 256, "diagnostic formats are short");
    static constexpr size_t kSlots = N / 2 + 1;

    char text[N] = {};  // the format itself, NUL-terminated, as printf takes it
    uint8_t pieceStart[kSlots] = {};
    uint8_t pieceLength[kSlots] = {};
    Conversion conversion[kSlots] = {};
    size_t conversions = 0;
    size_t fixedLength = 0;  // all pieces together
};

// Throwing makes a bad format a compile error when the call is evaluated as
// a constant, as it is for every `constexpr auto x = makeFormat(...)`.
template <size_t N>
constexpr Format<N> makeFormat(const char (&text)[N]) {
    Format<N> f{};
    for (size_t i = 0; i < N; i++) f.text[i] = text[i];
    size_t start = 0;
    size_t i = 0;
    const size_t end = N - 1;  // the NUL
    while (i < end) {
        if (text[i] != '%') {
            i++;
            continue;
        }
        f.pieceStart[f.conversions] = static_cast<uint8_t>(start);
        f.pieceLength[f.conversions] = static_cast<uint8_t>(i - start);
        f.fixedLength += i - start;
        const char c = i + 1 < end ? text[i + 1] : '\0';
        size_t width = 2;
        if (c == 's') {
            f.conversion[f.conversions] = Conversion::kString;
        } else if (c == 'd') {
            f.conversion[f.conversions] = Conversion::kInt;
        } else if (c == 'u') {
            f.conversion[f.conversions] = Conversion::kUInt;
        } else if (c == 'p') {
            f.conversion[f.conversions] = Conversion::kPointer;
        } else if (c == 'h' && i + 2 < end && text[i + 2] == 'u') {
            f.conversion[f.conversions] = Conversion::kUShort;
            width = 3;
        } else {
            throw "unsupported conversion: only %s %d %hu %u %p";
        }
        f.conversions++;
        i += width;
        start = i;
    }
    f.pieceStart[f.conversions] = static_cast<uint8_t>(start);
    f.pieceLength[f.conversions] = static_cast<uint8_t>(end - start);
    f.fixedLength += end - start;
    return f;
}

// What a null pointer prints as under %p. glibc prints "(nil)", bionic
// (Android's C library) "0x0"; any other pointer is "0x" and lowercase hex
// without leading zeros in both.
enum class NullPointerText { kNil, kHexZero };

#if defined(__BIONIC__)
#define KESTREL_DIAG_POINTER_STYLE 1
inline constexpr NullPointerText kLibcNullPointerText = NullPointerText::kHexZero;
#elif defined(__GLIBC__) && !defined(__UCLIBC__)
#define KESTREL_DIAG_POINTER_STYLE 1
inline constexpr NullPointerText kLibcNullPointerText = NullPointerText::kNil;
#else
// Another C library: %p is left to its own snprintf, whatever it prints.
#define KESTREL_DIAG_POINTER_STYLE 0
#endif

// Longest text of one conversion; a string's is its length.
inline constexpr size_t kMaxIntLength = 11;                         // -2147483648
inline constexpr size_t kMaxUShortLength = 5;                       // 65535
inline constexpr size_t kMaxUIntLength = 10;                        // 4294967295
inline constexpr size_t kMaxPointerLength = 2 + 2 * sizeof(void*);  // 0x + every hex digit
inline constexpr char kNullString[] = "(null)";  // %s of a null pointer, in every libc we run on

// The longest line a format gives when no string argument is longer than
// longestString.
template <size_t N>
constexpr size_t maxLineLength(const Format<N>& f, size_t longestString) {
    size_t n = f.fixedLength;
    for (size_t i = 0; i < f.conversions; i++) {
        switch (f.conversion[i]) {
            case Conversion::kString:
                n +=
                    longestString < sizeof kNullString - 1 ? sizeof kNullString - 1 : longestString;
                break;
            case Conversion::kInt:
                n += kMaxIntLength;
                break;
            case Conversion::kUShort:
                n += kMaxUShortLength;
                break;
            case Conversion::kUInt:
                n += kMaxUIntLength;
                break;
            case Conversion::kPointer:
                n += kMaxPointerLength;
                break;
        }
    }
    return n;
}

namespace detail {

template <Conversion C, typename T>
constexpr bool accepts() {
    if constexpr (C == Conversion::kString) {
        return std::is_same_v<T, const char*> || std::is_same_v<T, char*>;
    } else if constexpr (C == Conversion::kInt) {
        return std::is_same_v<T, int>;
    } else if constexpr (C == Conversion::kUShort) {
        return std::is_same_v<T, unsigned short>;
    } else if constexpr (C == Conversion::kUInt) {
        return std::is_same_v<T, unsigned int>;
    } else {
        return std::is_same_v<T, const void*> || std::is_same_v<T, void*>;
    }
}

KESTREL_DIAG_INLINE size_t bound(const char* s) {
    return s != nullptr ? std::strlen(s) : sizeof kNullString - 1;
}
inline constexpr size_t bound(int) { return kMaxIntLength; }
inline constexpr size_t bound(unsigned short) { return kMaxUShortLength; }
inline constexpr size_t bound(unsigned int) { return kMaxUIntLength; }
inline constexpr size_t bound(const void*) { return kMaxPointerLength; }

KESTREL_DIAG_INLINE char* put(char* p, const char* s) {
    if (s == nullptr) s = kNullString;
    const size_t n = std::strlen(s);
    std::memcpy(p, s, n);
    return p + n;
}
// "00" to "99": two digits per division by 100.
inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Two digits of v < 100, a leading zero included.
KESTREL_DIAG_INLINE void putPair(char* p, uint32_t v) { std::memcpy(p, kDigitPairs + 2 * v, 2); }

// Four digits of v < 10^4, leading zeros included: v = 100 h + l.
KESTREL_DIAG_INLINE void putFour(char* p, uint32_t v) {
    const uint32_t h = v / 100u;
    putPair(p, h);
    putPair(p + 2, v - 100u * h);
}

// Eight digits of v < 10^8, leading zeros included: v = 10^4 h + l, and the
// two halves of four digits are independent of each other.
KESTREL_DIAG_INLINE void putEight(char* p, uint32_t v) {
    const uint32_t h = v / 10000u;
    putFour(p, h);
    putFour(p + 4, v - 10000u * h);
}

// The `digits` digits (1 to 4) of v < 10^4 without leading zeros, ending at end.
KESTREL_DIAG_INLINE void putHead(char* end, uint32_t v, size_t digits) {
    if (digits >= 3) {
        const uint32_t h = v / 100u;
        putPair(end - 2, v - 100u * h);
        v = h;
        end -= 2;
        digits -= 2;
    }
    if (digits == 2) {
        putPair(end - 2, v);
    } else {
        end[-1] = static_cast<char>('0' + v);
    }
}

// v in decimal, without leading zeros: the digits are counted first, then
// the number is cut into groups of eight, four and two digits by divisions
// by constants (multiplications), so that the groups are written side by
// side: a chain of divisions by 100, one per pair of digits, made the
// registers' lines the largest cost of a frame. (std::to_chars takes the
// base at run time and is not inlined.)
KESTREL_DIAG_INLINE char* putDecimal(char* p, uint32_t v) {
    const size_t digits = v < 10u           ? 1
                          : v < 100u        ? 2
                          : v < 1000u       ? 3
                          : v < 10000u      ? 4
                          : v < 100000u     ? 5
                          : v < 1000000u    ? 6
                          : v < 10000000u   ? 7
                          : v < 100000000u  ? 8
                          : v < 1000000000u ? 9
                                            : 10;
    char* const end = p + digits;
    if (digits > 8) {
        // At most 42 above the last eight digits.
        const uint32_t h = v / 100000000u;
        putEight(end - 8, v - 100000000u * h);
        putHead(end - 8, h, digits - 8);
    } else if (digits > 4) {
        const uint32_t h = v / 10000u;
        putFour(end - 4, v - 10000u * h);
        putHead(end - 4, h, digits - 4);
    } else {
        putHead(end, v, digits);
    }
    return end;
}

KESTREL_DIAG_INLINE char* put(char* p, int v) {
    if (v >= 0) return putDecimal(p, static_cast<uint32_t>(v));
    *p = '-';
    // The magnitude in unsigned arithmetic, where that of INT_MIN exists.
    return putDecimal(p + 1, 0u - static_cast<uint32_t>(v));
}
KESTREL_DIAG_INLINE char* put(char* p, unsigned short v) { return putDecimal(p, v); }
KESTREL_DIAG_INLINE char* put(char* p, unsigned int v) { return putDecimal(p, v); }

}  // namespace detail

// %p in the given style: "0x" and lowercase hex digits, and for null the
// style's text.
template <NullPointerText Style>
inline char* putPointer(char* p, const void* v) {
    if (v == nullptr) {
        if constexpr (Style == NullPointerText::kNil) {
            std::memcpy(p, "(nil)", 5);
            return p + 5;
        } else {
            std::memcpy(p, "0x0", 3);
            return p + 3;
        }
    }
    p[0] = '0';
    p[1] = 'x';
    return std::to_chars(p + 2, p + kMaxPointerLength, reinterpret_cast<uintptr_t>(v), 16).ptr;
}

namespace detail {

inline char* put(char* p, const void* v) {
#if KESTREL_DIAG_POINTER_STYLE
    return putPointer<kLibcNullPointerText>(p, v);
#else
    char text[kMaxPointerLength + 1];
    int n = std::snprintf(text, sizeof text, "%p", v);
    if (n < 0) n = 0;
    if (static_cast<size_t>(n) > kMaxPointerLength) n = static_cast<int>(kMaxPointerLength);
    std::memcpy(p, text, static_cast<size_t>(n));
    return p + n;
#endif
}

}  // namespace detail

namespace detail {

template <const auto& F, size_t I>
KESTREL_DIAG_INLINE char* piece(char* p) {
// Callers check the whole line's bound before the first copy; GCC 12 with
// AddressSanitizer loses that bound across the fold and warns of an
// overflow into a zero-sized region.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wstringop-overflow"
#endif
    std::memcpy(p, F.text + F.pieceStart[I], F.pieceLength[I]);
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    return p + F.pieceLength[I];
}

template <const auto& F, size_t... I, typename... Args>
KESTREL_DIAG_INLINE char* putPieces(char* p, std::index_sequence<I...>, Args... args) {
    static_assert((accepts<F.conversion[I], Args>() && ...),
                  "argument type does not match its conversion");
    ((p = piece<F, I>(p), p = put(p, args)), ...);
    return piece<F, sizeof...(I)>(p);
}

}  // namespace detail

// One line of format F at p, which must have room for it (maxLineLength of
// F with the longest string argument); returns the line's end.
template <const auto& F, typename... Args>
KESTREL_DIAG_INLINE char* putLine(char* p, Args... args) {
    static_assert(sizeof...(Args) == F.conversions, "one argument per conversion");
    return detail::putPieces<F>(p, std::index_sequence_for<Args...>{}, args...);
}

// Lines formatted one after another into a fixed array.
template <size_t Capacity>
class LineBuffer {
public:
    // Appends one line of format F; false, with the buffer unchanged, when
    // the line might not fit.
    template <const auto& F, typename... Args>
    KESTREL_DIAG_INLINE bool append(Args... args) {
        static_assert(sizeof...(Args) == F.conversions, "one argument per conversion");
        const size_t longest = F.fixedLength + (size_t{0} + ... + detail::bound(args));
        if (longest > Capacity - mSize) return false;
        mSize = static_cast<size_t>(putLine<F>(mData + mSize, args...) - mData);
        return true;
    }

    const char* data() const { return mData; }
    size_t size() const { return mSize; }
    void clear() { mSize = 0; }

private:
    char mData[Capacity];
    size_t mSize = 0;
};

// Lines collected on the stack and written to a stream with one fwrite when
// the batch ends (or when it is full). A line too long for the whole buffer
// (only a string argument can make one) is left to the C library's fprintf.
template <size_t Capacity>
class LineBatch {
public:
    explicit LineBatch(std::FILE* stream) : mStream(stream) {}
    ~LineBatch() { flush(); }
    LineBatch(const LineBatch&) = delete;
    LineBatch& operator=(const LineBatch&) = delete;

    template <const auto& F, typename... Args>
    KESTREL_DIAG_INLINE void line(Args... args) {
        static_assert(F.fixedLength <= Capacity, "the fixed text alone must fit");
        if (mBuffer.template append<F>(args...)) return;
        flush();
        if (mBuffer.template append<F>(args...)) return;
        if constexpr (sizeof...(Args) > 0) std::fprintf(mStream, F.text, args...);
    }

    void flush() {
        if (mBuffer.size() == 0) return;
        std::fwrite(mBuffer.data(), 1, mBuffer.size(), mStream);
        mBuffer.clear();
    }

private:
    std::FILE* mStream;
    LineBuffer<Capacity> mBuffer;
};

}  // namespace kestrel::diag
