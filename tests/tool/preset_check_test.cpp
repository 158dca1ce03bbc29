// `kestrel preset check`: a good preset passes with its dumps, a preset with
// rejected entries or one that cannot be read fails with the reason shown.
#include <gtest/gtest.h>

#include "tool/cli_test_support.h"

namespace kestrel::tool::test {
namespace {

const std::string kData = KESTREL_TEST_DATA;

TEST(PresetCheck, GoodPresetPassesAndShowsTheDumps) {
    ToolRun run = runTool({"preset", "check", kData + "/test_preset.json"});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("loader messages:\n  (none)\n"), std::string::npos) << run.out;
    for (const char* line : {
             "  showEotf(177)EOTF[st2084-pq]: 1000 nit, (0, 1000) - (1023, 1064)\n",
             "  showEotf(177)EOTF[st2084-pq]: 4000 nit, (0, 5000) - (1023, 5064)\n",
             "  showOetf(195)OETF[srgb]: 500 nit <- 1000 nit, (0, 0) - (65504, 992)\n",
             "  showGM(211)GM[bt2020 -> bt709]:(1, -9)\n",
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
             "  showEotf(177)EOTF[st2084-pq]: 4000 nit, (0, 5000) - (1023, 5064)\n",
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
    EXPECT_NE(run.out.find("  load(149)failed to open '" + missing + "'\n"), std::string::npos)
        << run.out;
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
}

}  // namespace
}  // namespace kestrel::tool::test
