// SPDX-License-Identifier: Apache-2.0
// `kestrel preset check`: a good preset passes with its dumps, a preset with
// rejected entries or one that cannot be read fails with the reason shown.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "tool/cli_test_support.h"

namespace kestrel::tool::test {
namespace {

const std::string kData = KESTREL_TEST_DATA;

// A whole LUT entry: `points` x-values 16 * i (the last one 1023 for an
// EOTF), with `x` overriding some of them, and y-values from `y0` up.
// `y` overrides y-values with JSON text ("1.5", "true").
std::string entry(const std::string& function, unsigned luminance, unsigned points, unsigned y0,
                  const std::map<unsigned, unsigned>& x = {},
                  const std::map<unsigned, std::string>& y = {}) {
    std::string xs, ys;
    for (unsigned i = 0; i < points; i++) {
        unsigned value = (points == 65 && i == 64) ? 1023 : 16 * i;
        if (x.count(i)) value = x.at(i);
        xs += (i ? ", " : "") + std::to_string(value);
        ys += (i ? ", " : "") + (y.count(i) ? y.at(i) : std::to_string(y0 + i));
    }
    return R"({"function": ")" + function + R"(", "max_luminance": )" + std::to_string(luminance) +
           R"(, "x-values": [)" + xs + R"(], "y-values": [)" + ys + "]}";
}
std::string pqEntry(unsigned luminance, unsigned y0, const std::map<unsigned, unsigned>& x = {}) {
    return entry("st2084-pq", luminance, 65, y0, x);
}

bool has(const ToolRun& run, const std::string& line) {
    return run.out.find(line) != std::string::npos;
}

TEST(PresetCheck, GoodPresetPassesAndShowsTheDumps) {
    ToolRun run = runTool({"preset", "check", kData + "/test_preset.json"});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("loader messages:\n  (none)\n"), std::string::npos) << run.out;
    for (const char* line : {
             "  EOTF[st2084-pq]: 1000 nit, (0, 1000) - (1023, 1064)\n",
             "  EOTF[st2084-pq]: 4000 nit, (0, 5000) - (1023, 5064)\n",
             "  OETF[srgb]: 500 nit <- 1000 nit, (0, 0) - (65504, 992)\n",
             "  GM[bt2020 -> bt709]:(1, -9)\n",
             "stored: 2 EOTF entries, 1 OETF entries under 1 product peaks, 1 gamut mappings\n",
             "result: OK\n",
         }) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\nin:\n" << run.out;
    }
}

TEST(PresetCheck, RejectedEntriesFailWithTheLoaderMessages) {
    ToolRun run = runTool({"preset", "check", kData + "/rejected_entries_preset.json"});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 1);
    for (const char* line : {
             "  E/liborrin: invalid number of eotf LUT values: 64, 65\n",
             "  E/liborrin: unknown gamut range conversion: bt2020 -> srgb\n",
             // The entry after the rejected one is still stored.
             "  EOTF[st2084-pq]: 4000 nit, (0, 5000) - (1023, 5064)\n",
             "result: FAILED, 2 entries rejected\n",
         }) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\nin:\n" << run.out;
    }
}

TEST(PresetCheck, FilesThatCannotBeLoadedFail) {
    TempDir dir;
    const std::string missing = dir.path("missing.json");
    ToolRun run = runTool({"preset", "check", missing});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("  failed to open '" + missing + "'\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("result: FAILED, the file could not be loaded"), std::string::npos);

    // The loader itself goes on silently with these; the check does not.
    for (const char* text : {"{\"eotf\": [", "{\"eotf\": 5}", "[1, 2]"}) {
        ToolRun broken = runTool({"preset", "check", dir.write("broken.json", text)});
        ASSERT_TRUE(broken.exited) << text;
        EXPECT_EQ(broken.status, 1) << text << "\n" << broken.out;
        EXPECT_NE(broken.out.find("result: FAILED"), std::string::npos) << broken.out;
    }
}

TEST(PresetCheck, PlotsTheTables) {
    TempDir dir;
    for (const char* name : {"tables.png", "tables.svg"}) {
        ToolRun run =
            runTool({"preset", "check", kData + "/test_preset.json", "--plot", dir.path(name)});
        ASSERT_EQ(run.status, 0) << run.out << run.err;
        std::string bytes = readFile(dir.path(name));
        EXPECT_GT(bytes.size(), 20000u) << name;
        if (std::string(name).find(".png") != std::string::npos) {
            EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
        } else {
            EXPECT_NE(bytes.find("</svg>"), std::string::npos);
        }
    }

    // A plot that cannot be written fails the check, and the result line,
    // which is what a gate reads, must not say OK.
    const std::string unwritable = dir.path("no-such-dir/tables.png");
    ToolRun failed =
        runTool({"preset", "check", kData + "/test_preset.json", "--plot", unwritable});
    EXPECT_EQ(failed.status, 1) << failed.out << failed.err;
    EXPECT_NE(failed.out.find("result: FAILED, the plot " + unwritable + " could not be written\n"),
              std::string::npos)
        << failed.out;
    EXPECT_EQ(failed.out.find("result: OK"), std::string::npos) << failed.out;
}

TEST(PresetCheck, FilesThatAreNoPresetFailWithTheReason) {
    TempDir dir;
    std::filesystem::create_directory(dir.path("folder"));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {dir.path("folder"),
         "result: FAILED, " + dir.path("folder") + " is a directory, not a file\n"},
        {dir.write("empty.json", ""), "result: FAILED, " + dir.path("empty.json") + " is empty\n"},
        // HDR10+ metadata and a package.json parse as objects but hold none of the sections.
        {std::string(KESTREL_EXAMPLES) + "/metadata/single-frame-metadata.json",
         "  not a preset file: the top level has none of eotf, oetf and gamut_mapping"},
        {dir.write("package.json", R"({"name": "x", "version": "1.0.0",
            "dependencies": {"left-pad": "1.3.0"}, "files": ["a.js"]})"),
         "other data (2 members holding arrays or objects)"},
        // Only notes: it parses and the loader takes it, but nothing is stored.
        {dir.write("notes.json", R"({"about": "a preset", "eotf": []})"),
         "result: FAILED, nothing was stored\n"},
    };
    for (const auto& [file, line] : cases) {
        ToolRun run = runTool({"preset", "check", file});
        ASSERT_TRUE(run.exited) << file;
        EXPECT_EQ(run.status, 1) << file << "\n" << run.out;
        EXPECT_TRUE(has(run, line)) << line << "\nin:\n" << run.out;
    }
}

TEST(PresetCheck, MisspeltSectionFailsAndNamesTheNearest) {
    TempDir dir;
    ToolRun run =
        runTool({"preset", "check",
                 dir.write("misspelt.json",
                           R"({"about": "notes stay allowed", "eotf": [)" + pqEntry(1000, 0) +
                               R"(], "eotff": [)" + pqEntry(4000, 0) +
                               R"(], "Gamut-Mapping": {}, "oetf_tables": [], "extra": [1]})")});
    EXPECT_EQ(run.status, 1) << run.out;
    for (const char* line : {
             "  \"eotff\" holds an array but is not a section the loader reads (eotf, oetf and "
             "gamut_mapping); did you mean \"eotf\"?\n",
             "  \"Gamut-Mapping\" holds an object but is not a section the loader reads (eotf, "
             "oetf and gamut_mapping); did you mean \"gamut_mapping\"?\n",
             // Too far from every name for a suggestion, but still not a section.
             "  \"extra\" holds an array but is not a section the loader reads (eotf, oetf and "
             "gamut_mapping)\n",
             "result: FAILED, 4 problems with the JSON\n",
         }) {
        EXPECT_TRUE(has(run, line)) << line << "\nin:\n" << run.out;
    }
    EXPECT_FALSE(has(run, "\"about\"")) << run.out;
}

TEST(PresetCheck, XValuesMustRiseAsTheDumpsReadThem) {
    TempDir dir;
    // 1104 is above 80 as a word, but its low 10 bits read 80 again; an OETF
    // reads 16 bits, so 65536 + 16 reads 16 after 16 while 65536 + 40 reads 40. Equal neighbours
    // fail too.
    ToolRun run = runTool(
        {"preset", "check",
         dir.write("unordered.json", R"({"eotf": [)" + pqEntry(1000, 0, {{6, 1104}}) + ", " +
                                         pqEntry(2000, 0, {{6, 1120}}) + ", " +
                                         pqEntry(3000, 0, {{64, 1008}}) + R"(], "oetf": [)" +
                                         entry("srgb", 100, 33, 0, {{2, 65536 + 16}}) + ", " +
                                         entry("srgb", 200, 33, 0, {{2, 65536 + 40}}) + "]}")});
    EXPECT_EQ(run.status, 1) << run.out;
    for (const char* line : {
             "  error: EOTF[st2084-pq] 1000 nit: x-values do not increase: point 6 has x 80 "
             "after 80\n",
             "  error: EOTF[st2084-pq] 3000 nit: x-values do not increase: point 64 has x 1008 "
             "after 1008\n",
             "  error: OETF[srgb] 0 nit <- 100 nit: x-values do not increase: point 2 has x 16 "
             "after 16\n",
             // Words wider than their field fail on their own as well.
             "result: FAILED, 4 tables with values wider than their field, 3 tables whose "
             "x-values do not increase\n",
         }) {
        EXPECT_TRUE(has(run, line)) << line << "\nin:\n" << run.out;
    }
    // 1120 reads 96 and 65536 + 40 reads 40: still rising.
    EXPECT_FALSE(has(run, "2000 nit: x-values do not")) << run.out;
    EXPECT_FALSE(has(run, "200 nit: x-values do not")) << run.out;
}

// A word wider than its field reaches the command block whole, while the
// dumps and the plot show its low bits: the two must never disagree.
TEST(PresetCheck, WordsWiderThanTheirFieldFail) {
    TempDir dir;
    // Each field at its largest value passes: EOTF x 1023 (the last point),
    // EOTF y 65535, OETF x 65535, OETF y 1023.
    ToolRun widest = runTool(
        {"preset", "check",
         dir.write("widest.json", R"({"eotf": [)" + pqEntry(1000, 0, {}) + ", " +
                                      entry("st2084-pq", 2000, 65, 0, {}, {{64, "65535"}}) +
                                      R"(], "oetf": [)" +
                                      entry("srgb", 100, 33, 0, {{32, 65535}}, {{32, "1023"}}) +
                                      "]}")});
    EXPECT_EQ(widest.status, 0) << widest.out;
    EXPECT_TRUE(has(widest, "tables:\n  no problems\n")) << widest.out;

    ToolRun run = runTool(
        {"preset", "check",
         dir.write("wide.json",
                   R"({"eotf": [)" + entry("st2084-pq", 1000, 65, 0, {}, {{64, "70000"}}) + ", " +
                       pqEntry(2000, 0, {{64, 1024}}) + R"(], "oetf": [)" +
                       entry("srgb", 100, 33, 0, {{32, 65536}}) + ", " +
                       entry("srgb", 200, 33, 0, {}, {{32, "1024"}}) + "]}")});
    EXPECT_EQ(run.status, 1) << run.out;
    for (const char* line : {
             "  error: EOTF[st2084-pq] 1000 nit: y-values: point 64 is 70000, wider than the "
             "field's 16 bits (the dumps and the plot read 4464)\n",
             "  error: EOTF[st2084-pq] 2000 nit: x-values: point 64 is 1024, wider than the "
             "field's 10 bits (the dumps and the plot read 0)\n",
             "  error: OETF[srgb] 0 nit <- 100 nit: x-values: point 32 is 65536, wider than the "
             "field's 16 bits (the dumps and the plot read 0)\n",
             "  error: OETF[srgb] 0 nit <- 200 nit: y-values: point 32 is 1024, wider than the "
             "field's 10 bits (the dumps and the plot read 0)\n",
             "result: FAILED, 4 tables with values wider than their field, 2 tables whose "
             "x-values do not increase, 1 table whose y-values fall\n",
         }) {
        EXPECT_TRUE(has(run, line)) << line << "\nin:\n" << run.out;
    }
}

TEST(PresetCheck, FallingYValuesFailAndPlateausPass) {
    TempDir dir;
    std::map<unsigned, std::string> reversed, plateau;
    for (unsigned i = 0; i < 65; i++) reversed[i] = std::to_string(6400 - 100 * i);
    for (unsigned i = 10; i < 65; i++) plateau[i] = "10";
    ToolRun run = runTool(
        {"preset", "check",
         dir.write("falling.json",
                   R"({"eotf": [)" + entry("st2084-pq", 1000, 65, 0, {}, reversed) + ", " +
                       entry("st2084-pq", 2000, 65, 0, {}, plateau) + R"(], "oetf": [)" +
                       entry("srgb", 100, 33, 50, {}, {{5, "54"}}) + ", " +
                       entry("srgb", 200, 33, 50, {}, {{5, "53"}}) + "]}")});
    EXPECT_EQ(run.status, 1) << run.out;
    for (const char* line : {
             "  error: EOTF[st2084-pq] 1000 nit: y-values fall: point 1 has y 6300 after 6400\n",
             // 54 after 54 (the 100 nit table) is flat, 53 after 54 falls.
             "  error: OETF[srgb] 0 nit <- 200 nit: y-values fall: point 5 has y 53 after 54\n",
             "result: FAILED, 2 tables whose y-values fall\n",
         }) {
        EXPECT_TRUE(has(run, line)) << line << "\nin:\n" << run.out;
    }
    EXPECT_FALSE(has(run, "2000 nit: y-values fall")) << run.out;
    EXPECT_FALSE(has(run, "100 nit: y-values fall")) << run.out;
}

// Values the loader takes without a word but changes on the way in.
TEST(PresetCheck, SilentlyConvertedValuesFail) {
    TempDir dir;
    ToolRun run = runTool(
        {"preset", "check",
         dir.write("converted.json",
                   R"({"eotf": [)" +
                       entry("st2084-pq", 1000, 65, 0, {}, {{1, "true"}, {2, "1.5"}, {4, "4.0"}}) +
                       R"(, {"function": "st2084-pq", "max_luminance": 1999.75, "x-values": [)" +
                       [] {
                           std::string xs;
                           for (unsigned i = 0; i < 65; i++)
                               xs += (i ? ", " : "") + std::to_string(i == 64 ? 1023 : 16 * i);
                           return xs;
                       }() +
                       R"(], "y-values": [)" + [] {
                           std::string ys;
                           for (unsigned i = 0; i < 65; i++) ys += (i ? ", " : "") + std::to_string(i);
                           return ys;
                       }() + R"(]}], "gamut_mapping": [{"source": "bt2020", "target": "bt709",
                       "values": [1, 0, 0, 0, -0.5, 0, 0, 0, 1]}]})")});
    EXPECT_EQ(run.status, 1) << run.out;
    for (const char* line : {
             "  eotf entry 0: y-values[2] is 1.5, not a whole number: the loader cuts it to 1\n",
             "  eotf entry 0: y-values[1] is true, not a number: the loader reads it as 1\n",
             "  eotf entry 1: max_luminance is 1999.75, not a whole number: the loader cuts it to "
             "1999\n",
             "  gamut_mapping entry 0: values[4] is -0.5, not a whole number: the loader cuts it "
             "to 0\n",
             "result: FAILED, 4 problems with the JSON\n",
         }) {
        EXPECT_TRUE(has(run, line)) << line << "\nin:\n" << run.out;
    }
    // 4.0 is a whole number written as a fraction: nothing changes.
    EXPECT_FALSE(has(run, "y-values[4]")) << run.out;

    ToolRun flag = runTool(
        {"preset", "check",
         dir.write("default.json", R"({"oetf": [)" + entry("srgb", 100, 33, 0).insert(1, R"("default": 2, )") + "]}")});
    EXPECT_EQ(flag.status, 1) << flag.out;
    EXPECT_TRUE(has(flag, "  oetf entry 0: default is 2, not a boolean: the loader reads it as true\n"))
        << flag.out;
}

TEST(PresetCheck, SectionsThatAreNoArrayFail) {
    TempDir dir;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"({"eotf": {}, "gamut_mapping": [{"source": "bt2020", "target": "bt709",
            "values": [1, 0, 0, 0, 1, 0, 0, 0, 1]}]})",
         "  \"eotf\" holds an object, not an array: the loader takes its members as entries, in "
         "the order of their names\n"},
        // The entry under a name is stored, but the section is still malformed.
        {R"({"eotf": {"b": )" + pqEntry(1000, 0) + "}}",
         "  \"eotf\" holds an object, not an array"},
        {R"({"oetf": "srgb", "eotf": [)" + pqEntry(1000, 0) + "]}",
         "  \"oetf\": not an array, so the loader takes nothing from it\n"},
    };
    for (const auto& [text, line] : cases) {
        ToolRun run = runTool({"preset", "check", dir.write("section.json", text)});
        EXPECT_EQ(run.status, 1) << run.out;
        EXPECT_TRUE(has(run, line)) << line << "\nin:\n" << run.out;
        EXPECT_TRUE(has(run, "result: FAILED, 1 problem with the JSON\n")) << run.out;
    }
}

// The loader keeps the last of two equal keys and stops reading after the
// first value; a strict reader refuses both.
TEST(PresetCheck, RepeatedKeysAndTrailingTextFail) {
    TempDir dir;
    const std::string good = R"({"eotf": [)" + pqEntry(1000, 0) + "]}";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {good + "\n{\"eotf\": []}\n",
         "  not strict JSON (the loader keeps the last of a repeated key and ignores text after "
         "the value): Line 2, Column 1: Extra non-whitespace after JSON value.\n"},
        {R"({"eotf": [], "eotf": [)" + pqEntry(1000, 0) + "]}",
         "  not strict JSON (the loader keeps the last of a repeated key and ignores text after "
         "the value): Line 1, Column 14: Duplicate key: 'eotf'\n"},
        {R"({"eotf": [{"max_luminance": 4000, )" + pqEntry(1000, 0).substr(1) + "]}",
         ": Duplicate key: 'max_luminance'\n"},
    };
    for (const auto& [text, line] : cases) {
        ToolRun run = runTool({"preset", "check", dir.write("strict.json", text)});
        EXPECT_EQ(run.status, 1) << text << "\n" << run.out;
        EXPECT_TRUE(has(run, line)) << line << "\nin:\n" << run.out;
        EXPECT_TRUE(has(run, "result: FAILED, 1 problem with the JSON\n")) << run.out;
    }
    // Whitespace after the value is not text.
    ToolRun spaced = runTool({"preset", "check", dir.write("spaced.json", good + "\n\n  \n")});
    EXPECT_EQ(spaced.status, 0) << spaced.out;
}

TEST(PresetCheck, SharedKeysWithDifferentTablesWarnAndFailOnlyWithStrict) {
    TempDir dir;
    const std::string nine = "[1, 0, 0, 0, 1, 0, 0, 0, 1]";
    const std::string file = dir.write(
        "shared.json",
        R"({"eotf": [)" + pqEntry(1000, 100) + ", " + pqEntry(1000, 200) + ", " +
            pqEntry(4000, 300) + ", " + pqEntry(4000, 300) +
            R"(], "gamut_mapping": [{"source": "bt2020", "target": "bt709", "values": )" + nine +
            R"(}, {"source": "bt2020", "target": "bt709", "values": [2, 0, 0, 0, 1, 0, 0, 0, 1]}]})");
    ToolRun run = runTool({"preset", "check", file});
    EXPECT_EQ(run.status, 0) << run.out;
    for (const char* line : {
             "  warning: EOTF[st2084-pq] 1000 nit: 2 entries with different tables share this "
             "key; lookups use the first in the file\n",
             "  warning: GM[bt2020 -> bt709]: 2 entries with different matrices share this "
             "conversion; lookups use the first in the file\n",
             "result: OK, 2 warnings\n",
         }) {
        EXPECT_TRUE(has(run, line)) << line << "\nin:\n" << run.out;
    }
    // The same table twice decides nothing.
    EXPECT_FALSE(has(run, "4000 nit: 2 entries")) << run.out;

    ToolRun strict = runTool({"preset", "check", file, "--strict"});
    EXPECT_EQ(strict.status, 1) << strict.out;
    EXPECT_TRUE(has(strict, "result: FAILED, 2 warnings (--strict)\n")) << strict.out;
}

}  // namespace
}  // namespace kestrel::tool::test
