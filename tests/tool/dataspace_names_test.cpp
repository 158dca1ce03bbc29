// SPDX-License-Identifier: Apache-2.0
// Dataspaces written as names or numbers.
#include "tools/kestrel/host/dataspace_names.h"

#include <gtest/gtest.h>
#include <json/writer.h>

namespace kestrel::tool {
namespace {

uint32_t parsed(const Json::Value& value) {
    const Result<uint32_t> dataspace = parseDataspace(value);
    EXPECT_TRUE(dataspace.ok()) << value << ": " << dataspace.status().message();
    return dataspace ? *dataspace : 0xDEADBEEF;
}

// Every refusal is a wrong input, whatever its shape.
std::string refusal(const Json::Value& value) {
    const Result<uint32_t> dataspace = parseDataspace(value);
    EXPECT_FALSE(dataspace.ok()) << value;
    EXPECT_EQ(dataspace.status().kind(), ErrorKind::Invalid) << value;
    return dataspace.status().message();
}

TEST(DataspaceNames, NamesOfStandardTransferAndRangeCombineInAnyOrder) {
    EXPECT_EQ(parsed("bt2020 st2084-pq"), 0x60000u | 0x1C00000u);
    EXPECT_EQ(parsed("st2084-pq   bt2020"), 0x60000u | 0x1C00000u);
    EXPECT_EQ(parsed("bt709 srgb full"), 0x10000u | 0x800000u | 0x8000000u);
    EXPECT_EQ(parsed("limited hlg"), 0x10000000u | 0x2000000u);
    EXPECT_EQ(parsed("unspecified unspecified"), 0u);
    // Names with a space in them are one name.
    EXPECT_EQ(parsed("bt601-625 unadjusted smpte170m"), 0x30000u | 0xC00000u);
    EXPECT_EQ(parsed("gamma2.2 adobe rgb"), 0xB0000u | 0x1000000u);
    EXPECT_EQ(parsed("bt2020_constant linear"), 0x70000u | 0x400000u);
}

TEST(DataspaceNames, NumbersAreTakenAsTheyAre) {
    EXPECT_EQ(parsed(142999552), 142999552u);
    EXPECT_EQ(parsed(Json::Value(4294967295u)), 4294967295u);
    EXPECT_EQ(parsed(-1), 0xFFFFFFFFu);  // the host's int
    EXPECT_EQ(parsed("0x1c60000"), 0x1C60000u);
    EXPECT_EQ(parsed("0100"), 100u);  // decimal, not octal
}

TEST(DataspaceNames, MistakesAreExplained) {
    EXPECT_NE(refusal("bt2020 pq").find("unknown dataspace name \"pq\" in \"bt2020 pq\""),
              std::string::npos);
    EXPECT_NE(refusal("BT2020").find("unknown dataspace name \"BT2020\""), std::string::npos);
    EXPECT_EQ(refusal("srgb hlg"), "\"srgb hlg\" names the transfer twice");
    EXPECT_EQ(refusal("bt709 bt2020"), "\"bt709 bt2020\" names the colour standard twice");
    EXPECT_EQ(refusal(""), "empty dataspace");
    EXPECT_EQ(refusal("0x1g"), "\"0x1g\" is not a 32-bit number");
    EXPECT_EQ(refusal("4294967296"), "\"4294967296\" is not a 32-bit number");
    EXPECT_NE(refusal(true).find("a dataspace is a 32-bit number or a string of names"),
              std::string::npos);
    EXPECT_NE(refusal(1.5).find("a dataspace is"), std::string::npos);
}

TEST(DataspaceNames, DescriptionNamesEachField) {
    EXPECT_EQ(describeDataspace(0x1C60000), "bt2020 st2084-pq (0x1c60000)");
    EXPECT_EQ(describeDataspace(0x8810000), "bt709 srgb full (0x8810000)");
    EXPECT_EQ(describeDataspace(0x2400000 | 0xC0000), "standard 12 transfer 9 (0x24c0000)");
    EXPECT_EQ(describeDataspace(0x1C60001), "bt2020 st2084-pq (0x1c60001), other bits set");
}

}  // namespace
}  // namespace kestrel::tool
