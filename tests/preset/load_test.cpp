// SPDX-License-Identifier: Apache-2.0
// Loading well-formed preset files: defaults, sort orders, shared OETF roots,
// default entries, and the messages of the entries the loader skips.
#include <gtest/gtest.h>

#include "preset/Hdr10Lut.h"
#include "preset_files.h"
#include "store_fill.h"
#include "support/capture.h"

using kestrel_test::CapturedText;
using kestrel_test::captureText;

namespace {

class Load : public testing::Test {
protected:
    // Loads `json` into the store and returns what it printed and logged.
    CapturedText load(const std::string& json, bool expected = true) {
        const std::string path = dir.write("preset.json", json);
        return captureText([&] { EXPECT_EQ(store->load(path.c_str()), expected) << json; });
    }
    TempDir dir;
    std::unique_ptr<Hdr10Lut> store = quietStore();
};

TEST_F(Load, EotfEntryKeepsFileWordsXThenYAndDefaultsTo4000Nits) {
    CapturedText c = load("{\"eotf\": [" + eotf(1, "\"function\": \"st2084-pq\"") + "]}");
    EXPECT_EQ(c.err, "");
    EXPECT_EQ(c.out, "");
    ASSERT_EQ(store->eotfTables[7].size(), 1u);
    const LutEntry& e = store->eotfTables[7][0];
    EXPECT_EQ(e.luminance, 4000u);
    ASSERT_EQ(e.values.size(), 130u);
    EXPECT_EQ(e.values[0], 1000u);
    EXPECT_EQ(e.values[64], 1064u);
    EXPECT_EQ(e.values[65], 1500u);
    EXPECT_EQ(e.values[129], 1564u);
    EXPECT_EQ(tagOf(e), 1);
}

TEST_F(Load, EotfTablesAscendByLuminanceAcrossTransfers) {
    load(R"({"eotf": [)" + eotf(1, R"("function": "st2084-pq", "max_luminance": 4000)") + ", " +
         eotf(2, R"("function": "hlg", "max_luminance": 1000)") + ", " +
         eotf(3, R"("function": "st2084-pq", "max_luminance": 1000)") + ", " +
         eotf(4, R"("function": "st2084-pq", "max_luminance": 2000)") + "]}");
    EXPECT_EQ(describe(*store),
              "eotf st2084-pq 1000 tag3/65\n"
              "eotf st2084-pq 2000 tag4/65\n"
              "eotf st2084-pq 4000 tag1/65\n"
              "eotf hlg 1000 tag2/65\n");
}

TEST_F(Load, OetfDefaultsToRootZeroAndLuminanceZero) {
    CapturedText c = load(R"({"oetf": [)" + oetf(1, R"("function": "srgb")") + "]}");
    EXPECT_EQ(c.err, "");
    EXPECT_EQ(describe(*store), "oetf srgb 0 0 tag1/33\n");
}

TEST_F(Load, OetfRootsAscendAndEntriesOrderByLuminanceThenWords) {
    // Same function and peak share a root; equal luminances are both kept,
    // the smaller words first whatever the file order.
    load(R"({"oetf": [)" +
         oetf(5, R"("function": "gamma2.2", "product_peak": 1000, "max_luminance": 4000)") + ", " +
         oetf(4, R"("function": "gamma2.2", "product_peak": 500, "max_luminance": 4000)") + ", " +
         oetf(3, R"("function": "gamma2.2", "product_peak": 500, "max_luminance": 1000)") + ", " +
         oetf(2, R"("function": "gamma2.2", "product_peak": 500, "max_luminance": 4000)") + "]}");
    EXPECT_EQ(store->oetfTables[4].size(), 2u);
    EXPECT_EQ(describe(*store),
              "oetf gamma2.2 500 1000 tag3/33\n"
              "oetf gamma2.2 500 4000 tag2/33\n"
              "oetf gamma2.2 500 4000 tag4/33\n"
              "oetf gamma2.2 1000 4000 tag5/33\n");
}

TEST_F(Load, EqualLuminanceWordsCompareAsUnsignedWithPrefixFirst) {
    // 4000000000 is above INT_MAX: a signed comparison would put it first.
    auto table = [](const std::string& x0) {
        std::string xs = "[" + x0;
        for (int i = 1; i < 33; i++) xs += ", 1";
        return xs + "]";
    };
    const std::string ys = words(0, 33, 0);
    load(R"({"oetf": [{"function": "srgb", "x-values": )" + table("4000000000") +
         R"(, "y-values": )" + ys + R"(}, {"function": "srgb", "x-values": )" + table("7") +
         R"(, "y-values": )" + ys + "}]}");
    const std::vector<LutEntry>& entries = store->oetfTables[2][0].entries;
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].values[0], 7u);
    EXPECT_EQ(entries[1].values[0], 4000000000u);
}

TEST_F(Load, DefaultOetfEntryIsFiledUnderRootZeroAndItsOwnKeys) {
    load(
        R"({"oetf": [)" +
        oetf(1,
             R"("function": "srgb", "default": true, "product_peak": 500, "max_luminance": 1000)") +
        ", " + oetf(2, R"("function": "srgb", "default": true)") + ", " +
        oetf(3, R"("function": "srgb", "default": false, "product_peak": 500)") + "]}");
    // The second default has both keys 0, so root 0 gets it twice.
    EXPECT_EQ(describe(*store),
              "oetf srgb 0 0 tag1/33\n"
              "oetf srgb 0 0 tag2/33\n"
              "oetf srgb 0 0 tag2/33\n"
              "oetf srgb 500 0 tag3/33\n"
              "oetf srgb 500 1000 tag1/33\n");
}

TEST_F(Load, GamutMappingsKeepFileOrderAndDuplicates) {
    CapturedText c = load(
        R"({"gamut_mapping": [)" + gamut("bt2020", "bt709", "[1, -2, 3, -4, 5, -6, 7, -8, 9]") +
        ", " + gamut("bt2020", "dci-p3", "[2147483647, 0, 0, 0, 0, 0, 0, 0, -2147483648]") + ", " +
        gamut("bt2020", "bt709", "[9, 8, 7, 6, 5, 4, 3, 2, 1]") + "]}");
    EXPECT_EQ(c.err, "");
    EXPECT_EQ(describe(*store),
              "gm 0x60000 0x10000 1 -2 3 -4 5 -6 7 -8 9\n"
              "gm 0x60000 0xa0000 2147483647 0 0 0 0 0 0 0 -2147483648\n"
              "gm 0x60000 0x10000 9 8 7 6 5 4 3 2 1\n");
}

TEST_F(Load, SectionsMayBeObjectsOfEntriesOrAbsentOrScalar) {
    CapturedText c = load(R"({"eotf": {"a": )" + eotf(1, R"("function": "hlg")") + R"(, "b": )" +
                          eotf(2, R"("function": "hlg", "max_luminance": 1000)") +
                          R"(}, "oetf": 5, "gamut_mapping": null, "other": [1, 2]})");
    EXPECT_EQ(c.err, "");
    EXPECT_EQ(describe(*store), "eotf hlg 1000 tag2/65\neotf hlg 4000 tag1/65\n");
}

TEST_F(Load, RejectedLutEntriesAreReportedAndLaterEntriesStillStored) {
    const std::string pq = R"("function": "st2084-pq")";
    std::string shortX = eotf(1, pq);
    shortX.replace(shortX.find(", 1064]"), 7, "]");  // 64 x-values, 65 y-values
    CapturedText c =
        load(R"({"eotf": [)" + shortX + ", " + eotf(2, R"("function": "ST2084-PQ")") + ", " +
             R"({"x-values": [1], "y-values": []}, )" + R"({"function": "hlg", "x-values": )" +
             words(3, 65, 0) + "}, " + eotf(4, pq + R"(, "max_luminance": 1000)") + "], " +
             R"("oetf": [)" + eotf(5, R"("function": "srgb")") + ", null, " +
             oetf(6, R"("function": "Srgb")") + ", " + oetf(7, R"("function": "srgb")") + "]}");
    EXPECT_EQ(c.err,
              "E/liborrin: invalid number of eotf LUT values: 64, 65\n"
              "E/liborrin: unknown Transfer ST2084-PQ\n"
              "E/liborrin: an entry of 'eotf' does not have 'function'\n"
              "E/liborrin: invalid number of eotf LUT values: 65, 0\n"
              "E/liborrin: invalid number of oetf LUT values: 65, 65\n"
              "E/liborrin: an entry of 'oetf' does not have 'function'\n"
              "E/liborrin: unknown Transfer Srgb\n");
    EXPECT_EQ(describe(*store), "eotf st2084-pq 1000 tag4/65\noetf srgb 0 0 tag7/33\n");
}

TEST_F(Load, RejectedGamutEntriesAreReportedAndLaterEntriesStillStored) {
    const std::string nine = "[1, 0, 0, 0, 1, 0, 0, 0, 1]";
    CapturedText c = load(R"({"gamut_mapping": [{"source": "bt2020", "values": )" + nine + "}, " +
                          gamut("bt2020", "srgb", nine) + ", " + gamut("BT2020", "bt709", nine) +
                          ", " + gamut("bt2020", "bt709", "[1, 0, 0, 0, 1, 0, 0, 0]") + ", " +
                          gamut("bt2020", "bt709", "7") + ", null, " +
                          gamut("adobe rgb", "bt601-625 unadjusted", nine) + "]}");
    EXPECT_EQ(c.err,
              "E/liborrin: source or target is not specified in gamut_mapping\n"
              "E/liborrin: unknown gamut range conversion: bt2020 -> srgb\n"
              "E/liborrin: unknown gamut range conversion: BT2020 -> bt709\n"
              "E/liborrin: invalid number of values in: bt2020 -> bt709\n"
              "E/liborrin: invalid number of values in: bt2020 -> bt709\n"
              "E/liborrin: source or target is not specified in gamut_mapping\n");
    EXPECT_EQ(describe(*store), "gm 0xb0000 0x30000 1 0 0 0 1 0 0 0 1\n");
}

TEST_F(Load, LoadingTwiceDoublesEntriesButNotRoots) {
    const std::string json =
        R"({"eotf": [)" + eotf(1, R"("function": "hlg")") + R"(], "oetf": [)" +
        oetf(2, R"("function": "srgb", "product_peak": 500, "default": true)") +
        R"(], "gamut_mapping": [)" + gamut("bt2020", "bt709", "[1, 2, 3, 4, 5, 6, 7, 8, 9]") + "]}";
    load(json);
    load(json);
    EXPECT_EQ(store->oetfTables[2].size(), 2u);
    EXPECT_EQ(describe(*store),
              "eotf hlg 4000 tag1/65\n"
              "eotf hlg 4000 tag1/65\n"
              "oetf srgb 0 0 tag2/33\n"
              "oetf srgb 0 0 tag2/33\n"
              "oetf srgb 500 0 tag2/33\n"
              "oetf srgb 500 0 tag2/33\n"
              "gm 0x60000 0x10000 1 2 3 4 5 6 7 8 9\n"
              "gm 0x60000 0x10000 1 2 3 4 5 6 7 8 9\n");
}

TEST_F(Load, MissingFilePrintsOneLineAndReturnsFalse) {
    const std::string path = dir.path("absent.json");
    CapturedText c = captureText([&] { EXPECT_FALSE(store->load(path.c_str())); });
    EXPECT_EQ(c.out, "load(149)failed to open '" + path + "'\n");
    EXPECT_EQ(c.err, "");
    EXPECT_EQ(describe(*store), "");
}

// A rejection as a test writes it: section, position, reason, key.
std::string describe(const PresetLoadReport& report) {
    static const char* const kReasons[] = {
        "not an object",    "missing",         "not a string",       "point count",
        "unknown transfer", "not convertible", "unknown conversion", "value count"};
    std::string text;
    for (const PresetRejection& r : report.rejected) {
        text += std::string(presetSectionKey(r.section)) + "[" + std::to_string(r.index) + "] " +
                kReasons[static_cast<int>(r.reason)] + " " + r.key + "\n";
    }
    return text;
}

TEST_F(Load, ReportCountsStoredEntriesAndNamesEachRejection) {
    const std::string pq = R"("function": "st2084-pq")";
    const std::string nine = "[1, 0, 0, 0, 1, 0, 0, 0, 1]";
    const std::string path = dir.write(
        "preset.json",
        R"({"eotf": [)" + eotf(1, pq) + ", " + eotf(2, R"("function": "PQ")") + ", 7, " +
            lut(3, 64, pq) + ", " + eotf(4, pq + R"(, "max_luminance": -2)") + R"(], "oetf": [)" +
            oetf(5, R"("function": "srgb", "default": true)") + ", " + oetf(6, "") + ", " +
            oetf(7, R"("function": 5)") + ", " + oetf(8, R"("function": "srgb", "default": [])") +
            R"(], "gamut_mapping": [{"target": "bt709", "values": )" + nine + "}, " +
            gamut("bt2020", "bt709", "[1, 2]") + ", " + gamut("bt2020", "xyz", nine) + ", " +
            gamut("bt2020", "bt709", "[1, 0, 0, 0, 1, 0, 0, 0, true, 1]") + ", " +
            gamut("bt2020", "bt709", "[1, 0, 0, 0, 1, 0, 0, 0, \"1\"]") + ", " +
            gamut("bt709", "bt2020", nine) + "]}");
    PresetLoadReport report;
    captureText([&] { EXPECT_TRUE(store->loadReporting(path.c_str(), report)); });
    EXPECT_EQ(report.outcome, PresetLoadOutcome::kLoaded);
    // A default OETF entry is filed twice but counts once.
    EXPECT_EQ(report.stored[0], 1u);
    EXPECT_EQ(report.stored[1], 1u);
    EXPECT_EQ(report.stored[2], 1u);
    EXPECT_EQ(describe(report),
              "eotf[1] unknown transfer function\n"
              "eotf[2] not an object \n"
              "eotf[3] point count x-values\n"
              "eotf[4] not convertible max_luminance\n"
              "oetf[1] missing function\n"
              "oetf[2] not a string function\n"
              "oetf[3] not convertible default\n"
              "gamut_mapping[0] missing source\n"
              "gamut_mapping[1] value count values\n"
              "gamut_mapping[2] unknown conversion target\n"
              "gamut_mapping[3] value count values\n"
              "gamut_mapping[4] not convertible values\n");
}

TEST_F(Load, ReportGivesTheOutcomeOfAFileThatStoresNothing) {
    PresetLoadReport report;
    const std::string absent = dir.path("absent.json");
    const std::string list = dir.write("list.json", "[1]");
    const std::string broken = dir.write("broken.json", "{");
    captureText([&] {
        EXPECT_FALSE(store->loadReporting(absent.c_str(), report));
        EXPECT_EQ(report.outcome, PresetLoadOutcome::kCannotOpen);
        EXPECT_FALSE(store->loadReporting(broken.c_str(), report));
        EXPECT_EQ(report.outcome, PresetLoadOutcome::kCannotParse);
        EXPECT_FALSE(store->loadReporting(list.c_str(), report));
        EXPECT_EQ(report.outcome, PresetLoadOutcome::kNotAnObject);
        EXPECT_FALSE(store->loadReporting(nullptr, report));
        EXPECT_EQ(report.outcome, PresetLoadOutcome::kNoPath);
    });
    EXPECT_EQ(report.storedTotal(), 0u);
    EXPECT_TRUE(report.rejected.empty());
}

TEST(LoadingConstructor, LogsThePathLoadsAndDumps) {
    TempDir dir;
    const std::string path = dir.write(
        "p.json", R"({"eotf": [)" + eotf(1, R"("function": "hlg", "max_luminance": 1000)") +
                      R"(], "oetf": [)" + oetf(2, R"("function": "srgb", "product_peak": 500)") +
                      R"(], "gamut_mapping": [)" +
                      gamut("bt2020", "dci-p3", "[1, 0, 0, 0, 1, 0, 0, 0, -3]") + "]}");
    std::unique_ptr<Hdr10Lut> store;
    CapturedText c = captureText([&] { store = std::make_unique<Hdr10Lut>(path.c_str()); });
    EXPECT_EQ(c.err, "D/liborrin: Loading HDR10 preset from " + path + "\n");
    EXPECT_EQ(c.out,
              "showEotf(177)EOTF[hlg]: 1000 nit, (1000, 1500) - (40, 1564)\n"
              "showOetf(195)OETF[srgb]: 500 nit <- 0 nit, (2000, 452) - (2032, 484)\n"
              "showGM(211)GM[bt2020 -> dci-p3]:(1, -3)\n");
}

}  // namespace
