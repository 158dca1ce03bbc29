// SPDX-License-Identifier: Apache-2.0
// Preset files that are broken or of the wrong JSON types. None may throw,
// abort or store part of a rejected entry; a file that is not a JSON object
// stores nothing at all and fails.
#include <gtest/gtest.h>

#include "preset/Hdr10Lut.h"
#include "preset_files.h"
#include "store_fill.h"
#include "support/capture.h"

using kestrel_test::CapturedText;
using kestrel_test::captureText;

namespace {

const std::string kPq = R"("function": "st2084-pq")";
const std::string kSrgb = R"("function": "srgb")";
const std::string kNine = "[1, 0, 0, 0, 1, 0, 0, 0, 1]";

class Hostile : public testing::Test {
protected:
    void SetUp() override {
        // Something already stored, which no rejected file may disturb.
        const std::string path = dir.write(
            "before.json", R"({"eotf": [)" + eotf(9, R"("function": "hlg")") + R"(], "oetf": [)" +
                               oetf(8, R"("function": "srgb", "product_peak": 500)") +
                               R"(], "gamut_mapping": [)" + gamut("bt709", "bt2020", kNine) + "]}");
        captureText([&] { ASSERT_TRUE(store->load(path.c_str())); });
        ASSERT_EQ(describe(*store), kBefore);
    }

    CapturedText load(const std::string& text, bool expected) {
        path = dir.write("hostile.json", text);
        return captureText([&] { EXPECT_EQ(store->load(path.c_str()), expected); });
    }

    const std::string kBefore =
        "eotf hlg 4000 tag9/65\n"
        "oetf srgb 500 0 tag8/33\n"
        "gm 0x10000 0x60000 1 0 0 0 1 0 0 0 1\n";
    TempDir dir;
    std::string path;
    std::unique_ptr<Hdr10Lut> store = quietStore();
};

TEST_F(Hostile, SyntaxErrorStoresNothingEvenBeforeTheErrorAndFails) {
    // The first entry is complete; the file breaks after it.
    CapturedText c = load(R"({"eotf": [)" + eotf(1, kPq) + ", }", false);
    EXPECT_EQ(c.err.rfind("E/liborrin: failed to parse '" + path + "': * Line 1, Column ", 0), 0u)
        << c.err;
    EXPECT_EQ(std::count(c.err.begin(), c.err.end(), '\n'), 1) << "one log line";
    EXPECT_EQ(c.out, "");
    EXPECT_EQ(describe(*store), kBefore);
}

TEST_F(Hostile, EmptyFileAndUnparsableBytesFail) {
    for (const std::string& text : {std::string(), std::string("\xff\xfe\x00garbage", 10),
                                    std::string("{\"eotf\": [1e400]}")}) {
        CapturedText c = load(text, false);
        EXPECT_EQ(c.err.rfind("E/liborrin: failed to parse '" + path + "': ", 0), 0u) << c.err;
    }
    EXPECT_EQ(describe(*store), kBefore);
}

TEST_F(Hostile, NestingBeyondTheParserLimitIsAParseFailureNotAnException) {
    // The parser throws past its depth limit instead of reporting an error.
    CapturedText c = load(std::string(100000, '['), false);
    EXPECT_EQ(c.err,
              "E/liborrin: failed to parse '" + path + "': Exceeded stackLimit in readValue().\n");
    EXPECT_EQ(describe(*store), kBefore);
}

TEST_F(Hostile, TopLevelOtherThanObjectFailsButNullIsAnEmptyPreset) {
    for (const char* text : {"[]", "[{\"eotf\": []}]", "5", "\"eotf\"", "true"}) {
        CapturedText c = load(text, false);
        EXPECT_EQ(c.err, "E/liborrin: the top level of '" + path + "' is not an object\n") << text;
    }
    CapturedText c = load("null", true);
    EXPECT_EQ(c.err, "");
    EXPECT_EQ(describe(*store), kBefore);
}

TEST_F(Hostile, NullPathFailsQuietly) {
    CapturedText c = captureText([&] { EXPECT_FALSE(store->load(nullptr)); });
    EXPECT_EQ(c.out, "");
    EXPECT_EQ(c.err, "");
    EXPECT_EQ(describe(*store), kBefore);
}

TEST_F(Hostile, LutEntriesOfWrongTypesAreRejectedByKeyAndSection) {
    std::string stringWord = eotf(2, kPq);
    stringWord.replace(stringWord.find("2003"), 4, "\"2003\"");
    std::string negativeY = oetf(3, kSrgb);
    negativeY.replace(negativeY.find("3500"), 4, "-1");
    std::string nestedY = eotf(4, kPq);
    nestedY.replace(nestedY.find("4564"), 4, "[4564]");

    CapturedText c = load(
        R"({"eotf": [5, "st2084-pq", [], )" + eotf(1, R"("function": 7)") + ", " + stringWord +
            ", " + nestedY + ", " + eotf(5, kPq + R"(, "max_luminance": "1000")") + ", " +
            eotf(6, kPq + R"(, "max_luminance": -1)") + ", " +
            eotf(7, kPq + R"(, "max_luminance": 4294967296)") + ", " +
            eotf(10, kPq + R"(, "max_luminance": 4294967295)") + R"(], "oetf": [)" + negativeY +
            ", " + oetf(11, kSrgb + R"(, "product_peak": 1e10)") + ", " +
            oetf(12, kSrgb + R"(, "max_luminance": {})") + ", " +
            oetf(13, kSrgb + R"(, "default": "yes")") + ", " + oetf(14, R"("function": null)") +
            ", " + oetf(15, kSrgb + R"(, "product_peak": 600.75, "default": 1)") + "]}",
        true);
    EXPECT_EQ(c.err,
              "E/liborrin: an entry of 'eotf' is not an object\n"
              "E/liborrin: an entry of 'eotf' is not an object\n"
              "E/liborrin: an entry of 'eotf' is not an object\n"
              "E/liborrin: 'function' of an entry of 'eotf' is not a string\n"
              "E/liborrin: 'x-values'[3] of an entry of 'eotf' is not an unsigned 32-bit integer\n"
              "E/liborrin: 'y-values'[64] of an entry of 'eotf' is not an unsigned 32-bit integer\n"
              "E/liborrin: 'max_luminance' of an entry of 'eotf' is not an unsigned 32-bit "
              "integer\n"
              "E/liborrin: 'max_luminance' of an entry of 'eotf' is not an unsigned 32-bit "
              "integer\n"
              "E/liborrin: 'max_luminance' of an entry of 'eotf' is not an unsigned 32-bit "
              "integer\n"
              "E/liborrin: 'y-values'[0] of an entry of 'oetf' is not an unsigned 32-bit integer\n"
              "E/liborrin: 'product_peak' of an entry of 'oetf' is not an unsigned 32-bit "
              "integer\n"
              "E/liborrin: 'max_luminance' of an entry of 'oetf' is not an unsigned 32-bit "
              "integer\n"
              "E/liborrin: 'default' of an entry of 'oetf' is not a boolean\n"
              "E/liborrin: 'function' of an entry of 'oetf' is not a string\n");
    // Only the largest word and the real number that converts are stored:
    // 600.75 truncates to 600 and 1 counts as true.
    EXPECT_EQ(describe(*store),
              "eotf st2084-pq 4294967295 tag10/65\n"
              "eotf hlg 4000 tag9/65\n"
              "oetf srgb 0 0 tag15/33\n"
              "oetf srgb 500 0 tag8/33\n"
              "oetf srgb 600 0 tag15/33\n"
              "gm 0x10000 0x60000 1 0 0 0 1 0 0 0 1\n");
}

TEST_F(Hostile, RealsJustOutsideTheWordRangeRejectOnlyTheirEntry) {
    // 4294967295.5 and -0.5 lie beyond what asUInt accepts, by half a unit:
    // converted, either would throw and end the load. 4294967295.0 is in range.
    CapturedText c =
        load(R"({"eotf": [)" + eotf(1, kPq + R"(, "max_luminance": 4294967295.5)") + ", " +
                 eotf(2, kPq + R"(, "max_luminance": -0.5)") + ", " +
                 eotf(3, kPq + R"(, "max_luminance": 4294967295.0)") + R"(], "oetf": [)" +
                 oetf(4, kSrgb + R"(, "product_peak": 4294967295.5)") + "]}",
             true);
    EXPECT_EQ(c.err,
              "E/liborrin: 'max_luminance' of an entry of 'eotf' is not an unsigned 32-bit "
              "integer\n"
              "E/liborrin: 'max_luminance' of an entry of 'eotf' is not an unsigned 32-bit "
              "integer\n"
              "E/liborrin: 'product_peak' of an entry of 'oetf' is not an unsigned 32-bit "
              "integer\n");
    EXPECT_EQ(describe(*store),
              "eotf st2084-pq 4294967295 tag3/65\n"
              "eotf hlg 4000 tag9/65\n"
              "oetf srgb 500 0 tag8/33\n"
              "gm 0x10000 0x60000 1 0 0 0 1 0 0 0 1\n");
}

TEST_F(Hostile, EarlierChecksStillWinOverTypeChecks) {
    // A non-string function with wrong sizes reports the sizes; an unknown
    // transfer reports the name before any bad word is looked at.
    std::string badWordUnknownName = eotf(2, R"("function": "pq")");
    badWordUnknownName.replace(badWordUnknownName.find("2003"), 4, "\"x\"");
    CapturedText c = load(R"({"eotf": [{"function": 7, "x-values": "abc", "y-values": {}}, )" +
                              badWordUnknownName + R"(, {"x-values": 1}]})",
                          true);
    EXPECT_EQ(c.err,
              "E/liborrin: invalid number of eotf LUT values: 0, 0\n"
              "E/liborrin: unknown Transfer pq\n"
              "E/liborrin: an entry of 'eotf' does not have 'function'\n");
    EXPECT_EQ(describe(*store), kBefore);
}

TEST_F(Hostile, EachEntryNamesOnlyItsFirstBadFieldInTheSectionsOrder) {
    // OETF: product_peak, max_luminance, default, then the arrays; EOTF:
    // max_luminance, then the arrays. Every entry below has every later
    // field wrong too.
    auto withBadWord = [](std::string entry, const std::string& word) {
        entry.replace(entry.find(word), word.size(), "\"w\"");
        return entry;
    };
    const std::string bad = R"("x")";
    CapturedText c = load(
        R"({"oetf": [)" +
            withBadWord(oetf(2, kSrgb + ", \"product_peak\": " + bad +
                                    ", \"max_luminance\": " + bad + ", \"default\": " + bad),
                        "2003") +
            ", " +
            withBadWord(oetf(3, kSrgb + ", \"max_luminance\": " + bad + ", \"default\": " + bad),
                        "3003") +
            ", " + withBadWord(oetf(4, kSrgb + ", \"default\": " + bad), "4003") + ", " +
            withBadWord(withBadWord(oetf(5, kSrgb), "5503"), "5003") + R"(], "eotf": [)" +
            withBadWord(eotf(6, kPq + ", \"max_luminance\": " + bad), "6003") + "]}",
        true);
    EXPECT_EQ(c.err,
              "E/liborrin: 'max_luminance' of an entry of 'eotf' is not an unsigned 32-bit "
              "integer\n"
              "E/liborrin: 'product_peak' of an entry of 'oetf' is not an unsigned 32-bit "
              "integer\n"
              "E/liborrin: 'max_luminance' of an entry of 'oetf' is not an unsigned 32-bit "
              "integer\n"
              "E/liborrin: 'default' of an entry of 'oetf' is not a boolean\n"
              "E/liborrin: 'x-values'[3] of an entry of 'oetf' is not an unsigned 32-bit "
              "integer\n");
    EXPECT_EQ(describe(*store), kBefore);
}

TEST_F(Hostile, GamutEntriesOfWrongTypesAreRejectedByKeyAndSection) {
    CapturedText c =
        load(R"({"gamut_mapping": [[], 3, {"source": 6, "target": "bt709", "values": )" + kNine +
                 R"(}, {"source": "bt2020", "target": null, "values": )" + kNine + "}, " +
                 gamut("bt2020", "bt709", "[1, 0, 0, 0, 2147483648, 0, 0, 0, 1]") + ", " +
                 gamut("bt2020", "bt709", "[1, 0, 0, 0, 1, 0, 0, 0, \"1\"]") + ", " +
                 gamut("bt2020", "bt709", "[-2147483649, 0, 0, 0, 1, 0, 0, 0, 1]") + ", " +
                 gamut("bt2020", "bt709", "[-2147483648, 0.5, -0.5, 2.9, -2.9, true, null, 0, 1]") +
                 "]}",
             true);
    EXPECT_EQ(c.err,
              "E/liborrin: an entry of 'gamut_mapping' is not an object\n"
              "E/liborrin: an entry of 'gamut_mapping' is not an object\n"
              "E/liborrin: 'source' of an entry of 'gamut_mapping' is not a string\n"
              "E/liborrin: 'target' of an entry of 'gamut_mapping' is not a string\n"
              "E/liborrin: 'values'[4] of an entry of 'gamut_mapping' is not a signed 32-bit "
              "integer\n"
              "E/liborrin: 'values'[8] of an entry of 'gamut_mapping' is not a signed 32-bit "
              "integer\n"
              "E/liborrin: 'values'[0] of an entry of 'gamut_mapping' is not a signed 32-bit "
              "integer\n");
    EXPECT_EQ(describe(*store),
              "eotf hlg 4000 tag9/65\noetf srgb 500 0 tag8/33\n"
              "gm 0x10000 0x60000 1 0 0 0 1 0 0 0 1\n"
              "gm 0x60000 0x10000 -2147483648 0 0 2 -2 1 0 0 1\n");
}

TEST_F(Hostile, NamesWithEmbeddedNulOrOtherCaseDoNotMatch) {
    CapturedText c = load(R"({"eotf": [)" + eotf(1, R"("function": "hlg\u0000x")") + "], " +
                              R"("gamut_mapping": [)" + gamut("bt2020\\u0000", "bt709", kNine) +
                              ", " + gamut("Bt2020", "bt709", kNine) + "]}",
                          true);
    EXPECT_EQ(c.err,
              "E/liborrin: unknown Transfer hlg\n"
              "E/liborrin: unknown gamut range conversion: bt2020 -> bt709\n"
              "E/liborrin: unknown gamut range conversion: Bt2020 -> bt709\n");
    EXPECT_EQ(describe(*store), kBefore);
}

}  // namespace
