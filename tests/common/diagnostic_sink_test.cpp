// SPDX-License-Identifier: Apache-2.0
// The library's lines through a caller's scope: each line one record of the
// right kind and priority, in the order the library wrote them, with the
// same text the default sink shows, and nothing on the process's descriptors
// meanwhile. Scopes belong to their thread and nest.
#include "common/diagnostic_sink.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/diagnostics.h"
#include "metadata/tone_curve_adaptation.h"
#include "preset/Hdr10Lut.h"
#include "support/capture.h"
#include "support/knee_example.h"

using kestrel::diag::DiagnosticScope;
using kestrel::diag::Priority;
using kestrel::diag::Record;
using kestrel::diag::RecordKind;

namespace {

struct Line {
    RecordKind kind;
    Priority priority;
    std::string text;
    size_t originLength;
};

// What a scope received, copied out of the records.
struct Received {
    std::vector<Line> lines;
    DiagnosticScope::Receiver receiver() {
        return [this](const Record& r) {
            lines.push_back({r.kind, r.priority, std::string(r.text), r.originLength});
        };
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> t;
        for (const Line& l : lines) t.push_back(l.text);
        return t;
    }
};

// `origin`: the "function(line)" a standard-output line starts with; log
// lines have none.
void expectLine(const Line& line, RecordKind kind, Priority priority, const std::string& text,
                const std::string& origin = "") {
    EXPECT_EQ(line.kind, kind) << text;
    EXPECT_EQ(line.priority, priority) << text;
    EXPECT_EQ(line.text, text);
    EXPECT_EQ(line.text.substr(0, line.originLength), origin) << text;
}

}  // namespace

// The example of diagnostic_sink.h: a preset file's complaints collected
// by a caller instead of read back from stderr.
TEST(DiagnosticSink, PresetLoaderLinesArriveAsRecordsAndNothingIsPrinted) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("kestrel-sink-" + std::to_string(getpid()) + ".json"))
                                 .string();
    std::ofstream(path) << R"({"eotf": [1, {"function": 3}], "gamut_mapping": [{"source": "x"}]})";
    const std::string missing = path + ".absent";

    Received got;
    kestrel_test::CapturedText printed = kestrel_test::captureText([&] {
        DiagnosticScope scope(got.receiver());
        Hdr10Lut store;
        store.load(path.c_str());
        store.load(missing.c_str());
        store.getEotf(0xffc00000u, 100);  // a transfer field beyond the named ones
    });
    std::filesystem::remove(path);

    EXPECT_EQ(printed.out, "");
    EXPECT_EQ(printed.err, "");
    ASSERT_EQ(got.lines.size(), 6u) << testing::PrintToString(got.texts());
    expectLine(got.lines[0], RecordKind::kLogLine, Priority::kDebug,
               "Loading HDR10 preset from no hdr10 preset file");
    expectLine(got.lines[1], RecordKind::kLogLine, Priority::kError,
               "an entry of 'eotf' is not an object");
    expectLine(got.lines[2], RecordKind::kLogLine, Priority::kError,
               "invalid number of eotf LUT values: 0, 0");
    expectLine(got.lines[3], RecordKind::kLogLine, Priority::kError,
               "source or target is not specified in gamut_mapping");
    expectLine(got.lines[4], RecordKind::kStdoutLine, Priority::kInfo,
               "load(149)failed to open '" + missing + "'", "load(149)");
    expectLine(got.lines[5], RecordKind::kLogLine, Priority::kError,
               "dataspace 0xffc00000 is not supported for EOTF");
}

TEST(DiagnosticSink, CurveAdaptationKeepsTheOrderOfStdoutAndLogLines) {
    // Under a 200 cd/m² target the guided curve refuses between the curve
    // in and the curve out.
    _VelmorHdrDynamicInfo record = kestrel_test::kneeExampleRecord();
    Received got;
    {
        DiagnosticScope scope(got.receiver());
        meta2meta(199, 1000, record);
    }
    ASSERT_EQ(got.lines.size(), 3u + 1u + 2u + 15u);
    expectLine(got.lines[0], RecordKind::kStdoutLine, Priority::kInfo,
               "meta2meta(387)meta knee_pointx : 1000", "meta2meta(387)");
    expectLine(got.lines[1], RecordKind::kStdoutLine, Priority::kInfo,
               "meta2meta(388)meta knee_pointy : 1500", "meta2meta(388)");
    expectLine(got.lines[2], RecordKind::kStdoutLine, Priority::kInfo,
               "meta2meta(389)meta tone_mapping_flag : 1", "meta2meta(389)");
    expectLine(got.lines[3], RecordKind::kLogLine, Priority::kError,
               "Error GuidedOOTF : target peak under 200 nits not supported at this time");
    expectLine(got.lines[4], RecordKind::kStdoutLine, Priority::kInfo,
               "meta2meta(420)after meta knee_pointx : 0", "meta2meta(420)");
    expectLine(got.lines[5], RecordKind::kStdoutLine, Priority::kInfo,
               "meta2meta(421)after meta knee_pointy : 0", "meta2meta(421)");
    for (int i = 0; i < 15; i++) {
        const std::string head =
            "meta2meta(425)order : 9 after meta bezier_curve_anchors[" + std::to_string(i) + "]: ";
        EXPECT_EQ(got.lines[6 + i].text.rfind(head, 0), 0u) << got.lines[6 + i].text;
        EXPECT_EQ(got.lines[6 + i].kind, RecordKind::kStdoutLine);
    }

    // The default sink shows the same lines, the log's with its prefix.
    record = kestrel_test::kneeExampleRecord();
    kestrel_test::Captured printed = kestrel_test::capture([&] { meta2meta(199, 1000, record); });
    std::vector<std::string> stdoutLines;
    std::vector<std::string> logLines;
    for (const Line& l : got.lines) {
        (l.kind == RecordKind::kStdoutLine ? stdoutLines : logLines).push_back(l.text);
    }
    EXPECT_EQ(printed.out, stdoutLines);
    ASSERT_EQ(printed.err.size(), 1u);
    EXPECT_EQ(printed.err[0], "E/liborrin: " + logLines[0]);
}

TEST(DiagnosticSink, LinesLongerThanTheirStackBufferArriveWhole) {
    // The open-failure line formats into 512 bytes and a log message into
    // 512; longer ones take the C library's way, in both sinks.
    for (size_t length : {size_t{400}, size_t{600}, size_t{5000}}) {
        const std::string path = "/data/" + std::string(length, 'q') + ".json";
        Received got;
        {
            DiagnosticScope scope(got.receiver());
            kestrel::diag::printOpenFailed(path.c_str());
            kestrel::diag::logPresetTopLevelNotObject(path.c_str());
        }
        ASSERT_EQ(got.lines.size(), 2u) << length;
        expectLine(got.lines[0], RecordKind::kStdoutLine, Priority::kInfo,
                   "load(149)failed to open '" + path + "'", "load(149)");
        expectLine(got.lines[1], RecordKind::kLogLine, Priority::kError,
                   "the top level of '" + path + "' is not an object");

        kestrel_test::CapturedText printed = kestrel_test::captureText(
            [&] { kestrel::diag::logPresetTopLevelNotObject(path.c_str()); });
        EXPECT_EQ(printed.err, "E/liborrin: the top level of '" + path + "' is not an object\n")
            << length;
    }
}

TEST(DiagnosticSink, EveryLogMessageOfThePresetLoaderAsTheLogShowsIt) {
    // Each log message of the loader, through the scope and through the
    // default sink: the text after "E/liborrin: " is the record's text.
    using namespace kestrel::diag;
    auto emit = [] {
        logPresetParseFailed("/p.json", "* Line 1, Column 1 Syntax error");
        logPresetLoadInterrupted("/p.json", "std::bad_alloc");
        logPresetLoadInterrupted("/p.json");
        logMemberNotString("function", "oetf");
        logMemberNotConvertible("default", "oetf", "a boolean");
        logElementNotConvertible("y-values", 4294967295u, "eotf", "an unsigned 32-bit integer");
        logEntryWithoutFunction("oetf");
        logWrongLutPointCount("oetf", 33, 4294967295u);
        logUnknownTransfer("HLG2");
        logUnknownGamutConversion("BT2020", "P3x");
        logWrongGamutValueCount("BT709", "BT2020");
        logNoTable("OETF", "ST2084");
        logUnsupportedDataspace(0xffffffffu, "OETF");
        logTooManyConversions();
    };
    const std::vector<std::string> expected = {
        "failed to parse '/p.json': * Line 1, Column 1 Syntax error",
        "failed to load '/p.json': std::bad_alloc",
        "failed to load '/p.json'",
        "'function' of an entry of 'oetf' is not a string",
        "'default' of an entry of 'oetf' is not a boolean",
        "'y-values'[4294967295] of an entry of 'eotf' is not an unsigned 32-bit integer",
        "an entry of 'oetf' does not have 'function'",
        "invalid number of oetf LUT values: 33, 4294967295",
        "unknown Transfer HLG2",
        "unknown gamut range conversion: BT2020 -> P3x",
        "invalid number of values in: BT709 -> BT2020",
        "no OETF is defined for ST2084",
        "dataspace 0xffffffff is not supported for OETF",
        "Too many HDR conversion required",
    };
    Received got;
    {
        DiagnosticScope scope(got.receiver());
        emit();
    }
    EXPECT_EQ(got.texts(), expected);
    for (const Line& l : got.lines) EXPECT_EQ(l.priority, Priority::kError) << l.text;

    kestrel_test::Captured printed = kestrel_test::capture(emit);
    ASSERT_EQ(printed.err.size(), expected.size());
    for (size_t i = 0; i < expected.size(); i++) {
        EXPECT_EQ(printed.err[i], "E/liborrin: " + expected[i]);
    }
}

TEST(DiagnosticSink, ScopesNestAndTheDefaultSinkReturnsAfterTheLast) {
    Received outer;
    Received inner;
    kestrel_test::CapturedText printed = kestrel_test::captureText([&] {
        {
            DiagnosticScope a(outer.receiver());
            kestrel::diag::printSetTargetInfo(1);
            {
                DiagnosticScope b(inner.receiver());
                EXPECT_EQ(DiagnosticScope::current(), &b);
                kestrel::diag::printSetTargetInfo(2);
            }
            EXPECT_EQ(DiagnosticScope::current(), &a);
            kestrel::diag::printSetTargetInfo(3);
        }
        EXPECT_EQ(DiagnosticScope::current(), nullptr);
        kestrel::diag::printSetTargetInfo(4);
    });
    EXPECT_EQ(outer.texts(), (std::vector<std::string>{"setTargetInfo(493)mTargetDataspace : 1",
                                                       "setTargetInfo(493)mTargetDataspace : 3"}));
    EXPECT_EQ(inner.texts(), (std::vector<std::string>{"setTargetInfo(493)mTargetDataspace : 2"}));
    EXPECT_EQ(printed.out, "setTargetInfo(493)mTargetDataspace : 4\n");
}

TEST(DiagnosticSink, AThrowingReceiverLosesItsLineButNotTheCall) {
    int calls = 0;
    unsigned int lutX[33] = {};
    unsigned int lutY[33] = {};
    {
        DiagnosticScope scope([&](const Record&) {
            calls++;
            throw std::runtime_error("receiver failed");
        });
        EXPECT_NO_THROW(kestrel::diag::printToneRegisters(lutX, lutY, 33));
        EXPECT_NO_THROW(kestrel::diag::logTooManyConversions());
    }
    EXPECT_EQ(calls, 66 + 1);
}

TEST(DiagnosticSinkThreads, TwoThreadsWithTheirOwnScopesSeeOnlyTheirOwnLines) {
    // Each thread writes lines that name it; a scope shared between threads
    // or a process-wide hook would give one thread the other's lines, and
    // anything on stdout or stderr means a line escaped its scope.
    // Both scopes are alive before either thread writes and until both
    // have written, so the two scopes always overlap.
    constexpr int kCalls = 200;
    std::atomic<int> scopesMade{0};
    std::atomic<int> threadsDone{0};
    auto waitFor = [](const std::atomic<int>& count) {
        while (count.load() < 2) std::this_thread::yield();
    };
    auto run = [&](int dataspace, Received& got) {
        DiagnosticScope scope(got.receiver());
        scopesMade++;
        waitFor(scopesMade);
        for (int c = 0; c < kCalls; c++) {
            kestrel::diag::printSetTargetInfo(dataspace);
            kestrel::diag::logUnknownTransfer(dataspace == 1 ? "one" : "two");
        }
        threadsDone++;
        waitFor(threadsDone);
    };
    Received first;
    Received second;
    kestrel_test::CapturedText printed = kestrel_test::captureText([&] {
        std::thread a(run, 1, std::ref(first));
        std::thread b(run, 2, std::ref(second));
        a.join();
        b.join();
    });
    EXPECT_EQ(printed.out, "");
    EXPECT_EQ(printed.err, "");
    for (auto [got, dataspace, name] :
         {std::make_tuple(&first, 1, "one"), std::make_tuple(&second, 2, "two")}) {
        ASSERT_EQ(got->lines.size(), 2u * kCalls);
        for (size_t i = 0; i < got->lines.size(); i += 2) {
            EXPECT_EQ(got->lines[i].text,
                      "setTargetInfo(493)mTargetDataspace : " + std::to_string(dataspace));
            EXPECT_EQ(got->lines[i + 1].text, std::string("unknown Transfer ") + name);
        }
    }
}
