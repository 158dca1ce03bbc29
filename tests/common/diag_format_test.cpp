// SPDX-License-Identifier: Apache-2.0
// The diagnostic formatter against the C library: every line format of the
// library, fed values at every edge in every argument position, must give
// the bytes that snprintf gives for the same format and arguments. Batches
// must reach their stream whole and in one write.
#include "common/diag_format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/diagnostic_sink.h"
#include "common/diagnostics.h"
#include "support/capture.h"

using namespace kestrel::diag;

namespace {

const std::string kLongString(300, 'L');

// Edge values per conversion. Strings include a '%' that must be copied as
// text, and the texts that null pointers print as.
const char* const kStrings[] = {"", "x", "write", "%d%s", "(nil)", nullptr, kLongString.c_str()};
const int kInts[] = {0, -1, 1, INT_MIN, INT_MAX, 9, 10, -10, 65535, 65536, 376};
const unsigned short kUShorts[] = {0, 1, 9, 10, 4095, 32767, 32768, 65535};
const unsigned int kUInts[] = {0u, 1u, 9u, 10u, 65535u, 2147483647u, 2147483648u, UINT32_MAX};
const void* const kPointers[] = {
    nullptr,
    reinterpret_cast<const void*>(uintptr_t{1}),
    reinterpret_cast<const void*>(uintptr_t{0xf}),
    reinterpret_cast<const void*>(uintptr_t{0x10}),
    reinterpret_cast<const void*>(uintptr_t{0xffffffffu}),
    reinterpret_cast<const void*>(~uintptr_t{0} >> 1),
    reinterpret_cast<const void*>(~(~uintptr_t{0} >> 1)),  // only the top bit
    reinterpret_cast<const void*>(~uintptr_t{0}),
    &kLongString,
};

template <typename T, size_t N>
constexpr size_t countOf(const T (&)[N]) {
    return N;
}

template <Conversion C>
auto edgeValue(size_t k) {
    if constexpr (C == Conversion::kString) {
        return kStrings[k % countOf(kStrings)];
    } else if constexpr (C == Conversion::kInt) {
        return kInts[k % countOf(kInts)];
    } else if constexpr (C == Conversion::kUShort) {
        return kUShorts[k % countOf(kUShorts)];
    } else if constexpr (C == Conversion::kUInt) {
        return kUInts[k % countOf(kUInts)];
    } else {
        return kPointers[k % countOf(kPointers)];
    }
}

// Passing null for %s is undefined for the C library (glibc happens to
// print "(null)"), so its side gets the text that null stands for.
template <typename T>
T definedForPrintf(T v) {
    return v;
}
const char* definedForPrintf(const char* s) { return s != nullptr ? s : "(null)"; }

template <const auto& F, typename... Args>
void expectSameAsPrintf(Args... args) {
    LineBuffer<2048> ours;
    ASSERT_TRUE(ours.append<F>(args...)) << F.text;
    char theirs[2048];
    int n = std::snprintf(theirs, sizeof theirs, F.text, definedForPrintf(args)...);
    ASSERT_GE(n, 0);
    EXPECT_EQ(std::string(ours.data(), ours.size()), std::string(theirs, static_cast<size_t>(n)))
        << "format: " << F.text;
}

// Round r gives argument j the value r + 3j of its list, so every value
// reaches every position and neighbouring arguments differ.
template <const auto& F, size_t... I>
void compareRound(size_t r, std::index_sequence<I...>) {
    expectSameAsPrintf<F>(edgeValue<F.conversion[I]>(r + 3 * I)...);
}

template <const auto& F>
void compareAtEveryEdge() {
    for (size_t r = 0; r < 4 * countOf(kInts); r++) {
        compareRound<F>(r, std::make_index_sequence<F.conversions>{});
    }
}

}  // namespace

// Every digit count and its edges, in each integer conversion, against the
// C library: the decimal writer counts digits before it writes them.
TEST(DiagFormat, EveryDigitCountAndItsEdgesMatchPrintf) {
    static constexpr auto kInt = makeFormat("[%d]");
    static constexpr auto kUInt = makeFormat("[%u]");
    static constexpr auto kUShort = makeFormat("[%hu]");
    for (uint64_t power = 1; power <= 10000000000ull; power *= 10) {
        for (uint64_t v : {power - 1, power, power + 1, 2 * power - 1, 9 * power + 1}) {
            if (v <= UINT32_MAX) expectSameAsPrintf<kUInt>(static_cast<unsigned int>(v));
            if (v <= INT_MAX) {
                expectSameAsPrintf<kInt>(static_cast<int>(v));
                expectSameAsPrintf<kInt>(-static_cast<int>(v));
            }
            if (v <= 65535) expectSameAsPrintf<kUShort>(static_cast<unsigned short>(v));
        }
    }
}

// The writer cuts a number into groups of eight, four and two digits: zeros
// inside a group and whole groups of zeros, at every digit count, and
// numbers drawn from every digit count.
TEST(DiagFormat, ZerosInsideTheDigitGroupsAndDrawnNumbersMatchPrintf) {
    static constexpr auto kInt = makeFormat("[%d]");
    static constexpr auto kUInt = makeFormat("[%u]");
    for (unsigned int v :
         {100u,        101u,        1000u,       1009u,       10001u,      100000u,
          100100u,     1000001u,    10000000u,   10000099u,   100000000u,  100000001u,
          100010000u,  123000045u,  1000000000u, 1000000001u, 1010101010u, 4000000000u,
          4000000009u, 4294967295u, 134217728u,  1048575u}) {
        expectSameAsPrintf<kUInt>(v);
    }
    std::mt19937 rng(376);
    for (int i = 0; i < 20000; i++) {
        // Shifted by 0 to 31 bits: magnitudes spread over every digit count.
        const int shift = std::uniform_int_distribution<int>(0, 31)(rng);
        const uint32_t v = static_cast<uint32_t>(rng()) >> shift;
        expectSameAsPrintf<kUInt>(v);
        expectSameAsPrintf<kInt>(static_cast<int>(v));
    }
}

TEST(DiagnosticFormat, EveryLineFormatGivesThePrintfBytesAtEveryEdge) {
    compareAtEveryEdge<kSetLayerStaticMetadataFormat>();
    compareAtEveryEdge<kSetLayerOpaqueDataFormat>();
    compareAtEveryEdge<kSetLayerImageInfoFormat>();
    compareAtEveryEdge<kSetTargetInfoFormat>();
    compareAtEveryEdge<kSetTargetDisplayLuminanceFormat>();
    compareAtEveryEdge<kToneRegisterFormat>();
    compareAtEveryEdge<kMeta2LutCopyFormat>();
    compareAtEveryEdge<kKneeXBeforeFormat>();
    compareAtEveryEdge<kKneeYBeforeFormat>();
    compareAtEveryEdge<kToneMappingFlagFormat>();
    compareAtEveryEdge<kKneeXAfterFormat>();
    compareAtEveryEdge<kKneeYAfterFormat>();
    compareAtEveryEdge<kAnchorAfterFormat>();
    compareAtEveryEdge<kEotfEntryFormat>();
    compareAtEveryEdge<kOetfEntryFormat>();
    compareAtEveryEdge<kGamutEntryFormat>();
    compareAtEveryEdge<kOpenFailedFormat>();
}

namespace {
constexpr auto kUnsignedFormat = makeFormat("[%u]");
constexpr auto kTextOnlyFormat = makeFormat("fixed text only\n");
constexpr auto kBracketedFormat = makeFormat("<%s>\n");
}  // namespace

TEST(DiagnosticFormat, UnsignedAndTextOnlyFormatsMatchToo) {
    // No line uses %u or lacks a conversion today; both are supported.
    for (unsigned int v : kUInts) expectSameAsPrintf<kUnsignedFormat>(v);
    LineBuffer<64> text;
    ASSERT_TRUE(text.append<kTextOnlyFormat>());
    EXPECT_EQ(std::string(text.data(), text.size()), "fixed text only\n");
}

TEST(DiagnosticFormat, NullPointerTextOfEachCLibrary) {
    // The C library at hand is checked against its own snprintf above; these
    // are the two texts for null a build can choose at compile time.
    char text[kMaxPointerLength];
    const void* p = reinterpret_cast<const void*>(uintptr_t{0xdeadbeef});
    EXPECT_EQ(std::string(text, putPointer<NullPointerText::kNil>(text, nullptr)), "(nil)");
    EXPECT_EQ(std::string(text, putPointer<NullPointerText::kHexZero>(text, nullptr)), "0x0");
    EXPECT_EQ(std::string(text, putPointer<NullPointerText::kNil>(text, p)), "0xdeadbeef");
    EXPECT_EQ(std::string(text, putPointer<NullPointerText::kHexZero>(text, p)), "0xdeadbeef");
}

TEST(DiagnosticFormat, BufferRefusesALineThatMightNotFitAndKeepsWhatItHas) {
    // "<" + 7 characters + ">\n" is exactly 10 bytes.
    LineBuffer<10> exact;
    EXPECT_TRUE(exact.append<kBracketedFormat>("1234567"));
    EXPECT_EQ(std::string(exact.data(), exact.size()), "<1234567>\n");

    LineBuffer<10> short1;
    EXPECT_FALSE(short1.append<kBracketedFormat>("12345678"));
    EXPECT_EQ(short1.size(), 0u);

    LineBuffer<16> partly;
    ASSERT_TRUE(partly.append<kBracketedFormat>("ab"));
    EXPECT_FALSE(partly.append<kBracketedFormat>("abcdefghij"));
    EXPECT_EQ(std::string(partly.data(), partly.size()), "<ab>\n");
}

namespace {

// A stream without a buffer of its own that records each write it receives.
struct RecordingStream {
    std::vector<std::string> writes;
    std::FILE* file = nullptr;

    RecordingStream() {
        cookie_io_functions_t io{};
        io.write = [](void* cookie, const char* data, size_t size) -> ssize_t {
            static_cast<RecordingStream*>(cookie)->writes.emplace_back(data, size);
            return static_cast<ssize_t>(size);
        };
        file = fopencookie(this, "w", io);
        if (file != nullptr) setvbuf(file, nullptr, _IONBF, 0);
    }
    ~RecordingStream() {
        if (file != nullptr) std::fclose(file);
    }
    std::string all() const {
        std::string s;
        for (const std::string& w : writes) s += w;
        return s;
    }
};

}  // namespace

TEST(DiagnosticFormat, BatchReachesItsStreamInOneWriteWhenItEnds) {
    RecordingStream stream;
    ASSERT_NE(stream.file, nullptr);
    {
        LineBatch<256> batch(stream.file);
        batch.line<kToneRegisterFormat>("write", 376, 0, 134217728);
        batch.line<kToneRegisterFormat>("write", 376, 1, -56933);
        batch.line<kKneeXAfterFormat>("meta2meta", 420, static_cast<unsigned short>(4095));
        EXPECT_TRUE(stream.writes.empty());
    }
    ASSERT_EQ(stream.writes.size(), 1u);
    EXPECT_EQ(stream.writes[0],
              "write(376)coef_regs[0] : 134217728\n"
              "write(376)coef_regs[1] : -56933\n"
              "meta2meta(420)after meta knee_pointx : 4095\n");
}

TEST(DiagnosticFormat, FullBatchWritesWhatItHasAndATooLongLineStillPrintsWhole) {
    RecordingStream stream;
    ASSERT_NE(stream.file, nullptr);
    const std::string longPath(100, 'p');
    {
        // Room for one bracketed line of 10 characters, not two.
        LineBatch<16> batch(stream.file);
        batch.line<kBracketedFormat>("0123456789");
        batch.line<kBracketedFormat>("abcdefghij");
        EXPECT_EQ(stream.writes.size(), 1u);  // the first line, to make room
        batch.line<kBracketedFormat>(longPath.c_str());
    }
    EXPECT_EQ(stream.all(), "<0123456789>\n<abcdefghij>\n<" + longPath + ">\n");
}

TEST(DiagnosticLines, OpenFailureShowsAPathOfAnyLengthWhole) {
    // A path longer than the line's stack buffer takes the C library's path.
    for (size_t length : {size_t{10}, size_t{480}, size_t{2000}}) {
        const std::string path = "/data/" + std::string(length, 'q') + ".json";
        kestrel_test::CapturedText c =
            kestrel_test::captureText([&] { printOpenFailed(path.c_str()); });
        EXPECT_EQ(c.out, "load(149)failed to open '" + path + "'\n") << length;
    }
}

TEST(DiagnosticLines, UnsignedLuminancesShowAsPrintfShowsThemWithPercentD) {
    // Above INT_MAX an unsigned luminance reads back as a negative int.
    kestrel_test::Captured c = kestrel_test::capture([] {
        printSetTargetDisplayLuminance(UINT32_MAX, 2147483648u);
        printSetLayerStaticMetadata(15, INT_MIN, 2147483647u, 4000u);
    });
    ASSERT_EQ(c.out.size(), 2u);
    EXPECT_EQ(c.out[0],
              "setTargetDisplayLuminance(499)min_luminance : -1, max_luminance : -2147483648");
    EXPECT_EQ(c.out[1],
              "setLayerStaticMetadata(466)index : 15, dataspace : -2147483648, min_luminance : "
              "2147483647, max_luminance : 4000");
}

TEST(DiagnosticLines, AllToneRegistersOfAFrameInOrder) {
    unsigned int lutX[33];
    unsigned int lutY[33];
    for (unsigned int i = 0; i < 33; i++) {
        lutX[i] = i * 4194304u;
        lutY[i] = UINT32_MAX - i;  // shown as -1, -2, ...
    }
    kestrel_test::Captured c = kestrel_test::capture([&] { printToneRegisters(lutX, lutY, 33); });
    ASSERT_EQ(c.out.size(), 66u);
    EXPECT_EQ(c.out[0], "write(376)coef_regs[0] : 0");
    EXPECT_EQ(c.out[32], "write(376)coef_regs[32] : 134217728");
    EXPECT_EQ(c.out[33], "write(376)coef_regs[0] : -1");
    EXPECT_EQ(c.out[65], "write(376)coef_regs[32] : -33");
}

TEST(DiagnosticLinesThreads, ConcurrentCallsKeepTheirLinesTogether) {
    // Each call formats on its own stack and writes once, so the 66 lines of
    // one call never mix with another thread's; a buffer shared between
    // threads would garble or interleave them.
    constexpr int kCalls = 100;
    auto run = [](unsigned int base) {
        unsigned int lutX[33];
        unsigned int lutY[33];
        for (unsigned int i = 0; i < 33; i++) {
            lutX[i] = base + i;
            lutY[i] = base + 100 + i;
        }
        for (int c = 0; c < kCalls; c++) printToneRegisters(lutX, lutY, 33);
    };
    kestrel_test::Captured c = kestrel_test::capture([&] {
        std::thread a(run, 1000u);
        std::thread b(run, 5000u);
        a.join();
        b.join();
    });
    ASSERT_EQ(c.out.size(), 2u * kCalls * 66);
    for (size_t call = 0; call < 2 * kCalls; call++) {
        const std::string& first = c.out[call * 66];
        const unsigned int base = first.find(": 1000") != std::string::npos ? 1000u : 5000u;
        for (unsigned int i = 0; i < 66; i++) {
            const unsigned int value = i < 33 ? base + i : base + 100 + (i - 33);
            EXPECT_EQ(c.out[call * 66 + i], "write(376)coef_regs[" + std::to_string(i % 33) +
                                                "] : " + std::to_string(value))
                << "call " << call << ", line " << i;
        }
    }
}

namespace {

// printf's text of the register lines of a table, the reference for both of
// the writer's paths.
std::string registerLinesByPrintf(const unsigned int* lutX, const unsigned int* lutY, int count) {
    std::string text;
    char line[64];
    for (const unsigned int* lut : {lutX, lutY}) {
        for (int i = 0; i < count; i++) {
            std::snprintf(line, sizeof line, "write(376)coef_regs[%d] : %d\n", i,
                          static_cast<int>(lut[i]));
            text += line;
        }
    }
    return text;
}

// Register values at the edges of the decimal writer and of %d: digit counts,
// the signed range's ends as unsigned registers, and the stored fall of a
// last segment.
const unsigned int kRegisterValues[] = {0u,         9u,          10u,         99u,
                                        100u,       99999u,      100000u,     1048575u,
                                        99999999u,  100000000u,  134217728u,  999999999u,
                                        1000000000u, 2147483647u, 2147483648u, 4294967295u,
                                        4294681468u /* -285828 */};

}  // namespace

// Every register index once with every edge value in both halves; X and Y
// differ at each index, so a swapped or shifted half shows.
TEST(DiagnosticLines, ToneRegistersMatchPrintfAtEveryIndexAndEdgeValue) {
    constexpr int kCount = 33;
    for (size_t shift = 0; shift < countOf(kRegisterValues); shift++) {
        unsigned int lutX[kCount];
        unsigned int lutY[kCount];
        for (size_t i = 0; i < kCount; i++) {
            lutX[i] = kRegisterValues[(i + shift) % countOf(kRegisterValues)];
            lutY[i] = kRegisterValues[(i + shift + 5) % countOf(kRegisterValues)];
        }
        kestrel_test::CapturedText c =
            kestrel_test::captureText([&] { printToneRegisters(lutX, lutY, kCount); });
        EXPECT_EQ(c.out, registerLinesByPrintf(lutX, lutY, kCount)) << "shift " << shift;
    }
}

// The counts at which the writer changes its path: none, one, the
// hardware's 33 (one write from the stack), 34 and beyond (batches that
// flush as they fill), and a negative count, which writes nothing.
TEST(DiagnosticLines, ToneRegistersAtEveryCountBoundary) {
    constexpr int kMost = 200;
    unsigned int lutX[kMost];
    unsigned int lutY[kMost];
    for (int i = 0; i < kMost; i++) {
        lutX[i] = static_cast<unsigned int>(i) * 671088u;
        lutY[i] = 4294967295u - static_cast<unsigned int>(i) * 21474836u;
    }
    for (int count : {-1, 0, 1, 32, 33, 34, kMost}) {
        kestrel_test::CapturedText c =
            kestrel_test::captureText([&] { printToneRegisters(lutX, lutY, count); });
        EXPECT_EQ(c.out, registerLinesByPrintf(lutX, lutY, count < 0 ? 0 : count))
            << "count " << count;
    }
}

// A caller's scope receives the lines that standard output would get, one
// record per line without its newline, each naming its origin "write(376)".
TEST(DiagnosticLines, ToneRegistersThroughAScopeAreTheLinesStandardOutputGets) {
    unsigned int lutX[33];
    unsigned int lutY[33];
    for (size_t i = 0; i < 33; i++) {
        lutX[i] = kRegisterValues[i % countOf(kRegisterValues)];
        lutY[i] = kRegisterValues[(i + 7) % countOf(kRegisterValues)];
    }
    std::string received;
    size_t origins = 0;
    kestrel_test::CapturedText c = kestrel_test::captureText([&] {
        DiagnosticScope scope([&](const Record& r) {
            received.append(r.text.data(), r.text.size()).push_back('\n');
            if (r.originLength == sizeof "write(376)" - 1) origins++;
        });
        printToneRegisters(lutX, lutY, 33);
    });
    EXPECT_EQ(c.out, "");
    EXPECT_EQ(received, registerLinesByPrintf(lutX, lutY, 33));
    EXPECT_EQ(origins, 66u);
}

namespace {

std::string curveAfterByPrintf(uint16_t kneeX, uint16_t kneeY, uint16_t count,
                               const uint16_t* anchors, size_t slots) {
    char line[128];
    std::snprintf(line, sizeof line, "meta2meta(420)after meta knee_pointx : %hu\n", kneeX);
    std::string text = line;
    std::snprintf(line, sizeof line, "meta2meta(421)after meta knee_pointy : %hu\n", kneeY);
    text += line;
    for (size_t i = 0; i < slots; i++) {
        std::snprintf(line, sizeof line,
                      "meta2meta(425)order : %d after meta bezier_curve_anchors[%d]: %hu\n",
                      static_cast<int>(count), static_cast<int>(i), anchors[i]);
        text += line;
    }
    return text;
}

const uint16_t kAnchorValues[] = {0, 9, 10, 99, 100, 999, 1000, 1023, 9999, 10000, 65535};

}  // namespace

// The anchor count, written once per call and copied into every line, at
// its digit-count edges; every slot with every edge anchor; slot counts on
// both sides of the one-write room (16), where the lines take the batch.
TEST(DiagnosticLines, CurveAfterAdaptationMatchesPrintfAtEveryCountSlotAndAnchor) {
    uint16_t anchors[40];
    for (uint16_t count : {uint16_t{0}, uint16_t{9}, uint16_t{10}, uint16_t{15}, uint16_t{99},
                           uint16_t{100}, uint16_t{65535}}) {
        for (size_t shift = 0; shift < countOf(kAnchorValues); shift++) {
            for (size_t i = 0; i < countOf(anchors); i++) {
                anchors[i] = kAnchorValues[(i + shift) % countOf(kAnchorValues)];
            }
            const uint16_t kneeX = kAnchorValues[shift];
            const uint16_t kneeY = kAnchorValues[(shift + 3) % countOf(kAnchorValues)];
            for (size_t slots : {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{17},
                                 size_t{40}}) {
                kestrel_test::CapturedText c = kestrel_test::captureText(
                    [&] { printCurveAfterAdaptation(kneeX, kneeY, count, anchors, slots); });
                EXPECT_EQ(c.out, curveAfterByPrintf(kneeX, kneeY, count, anchors, slots))
                    << "count " << count << ", shift " << shift << ", slots " << slots;
            }
        }
    }
}

TEST(DiagnosticLines, CurveAfterAdaptationThroughAScopeIsWhatStandardOutputGets) {
    uint16_t anchors[15];
    for (size_t i = 0; i < 15; i++) anchors[i] = kAnchorValues[i % countOf(kAnchorValues)];
    std::string received;
    kestrel_test::CapturedText c = kestrel_test::captureText([&] {
        DiagnosticScope scope([&](const Record& r) {
            received.append(r.text.data(), r.text.size()).push_back('\n');
        });
        printCurveAfterAdaptation(191, 800, 9, anchors);
    });
    EXPECT_EQ(c.out, "");
    EXPECT_EQ(received, curveAfterByPrintf(191, 800, 9, anchors, 15));
}
