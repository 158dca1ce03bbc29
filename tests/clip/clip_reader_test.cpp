// Telling inputs apart by their first bytes.
#include "clip/clip_reader.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrel::tool {
namespace {

InputFormat sniff(const std::string& head) {
    return sniffFormat(reinterpret_cast<const uint8_t*>(head.data()), head.size());
}

TEST(SniffFormat, JsonAfterByteOrderMarkAndWhiteSpace) {
    EXPECT_EQ(sniff("{\"SceneInfo\": []}"), InputFormat::Json);
    EXPECT_EQ(sniff("\xEF\xBB\xBF \r\n\t{"), InputFormat::Json);
    EXPECT_EQ(sniff("  ["), InputFormat::Json);
    EXPECT_EQ(sniff("  x{"), InputFormat::Unknown);
}

TEST(SniffFormat, AnnexBNeedsTwoZerosBeforeTheOne) {
    EXPECT_EQ(sniff(std::string("\0\0\1\x40", 4)), InputFormat::AnnexB);
    EXPECT_EQ(sniff(std::string("\0\0\0\1\x40", 5)), InputFormat::AnnexB);
    EXPECT_EQ(sniff(std::string("\0\1\x40", 3)), InputFormat::Unknown);
    EXPECT_EQ(sniff(std::string("\0\0\2\x40", 4)), InputFormat::Unknown);
    EXPECT_EQ(sniff(std::string("\0\0\0", 3)), InputFormat::Unknown);
}

TEST(SniffFormat, ContainersByMagic) {
    EXPECT_EQ(sniff("\x1A\x45\xDF\xA3\x01"), InputFormat::Container);
    EXPECT_EQ(sniff(std::string("\0\0\0\x20"
                                "ftypisom",
                                12)),
              InputFormat::Container);
    EXPECT_EQ(sniff(std::string("\0\0\0\x20"
                                "ftyx",
                                8)),
              InputFormat::Unknown);
    // MPEG-TS: sync bytes 188 apart; M2TS: 192 apart after a 4-byte time code.
    std::string ts(3 * 188, '\xff');
    ts[0] = ts[188] = ts[376] = 0x47;
    EXPECT_EQ(sniff(ts), InputFormat::Container);
    ts[376] = 0x48;
    EXPECT_EQ(sniff(ts), InputFormat::Unknown);
    std::string m2ts(3 * 192, '\xff');
    m2ts[4] = m2ts[196] = m2ts[388] = 0x47;
    EXPECT_EQ(sniff(m2ts), InputFormat::Container);
    // A lone 0x47 is a letter 'G', not a transport stream.
    EXPECT_EQ(sniff("GIF89a"), InputFormat::Unknown);
}

}  // namespace
}  // namespace kestrel::tool
