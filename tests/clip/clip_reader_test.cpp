// SPDX-License-Identifier: Apache-2.0
// Telling inputs apart by their first bytes, and what opening them fails with.
#include "clip/clip_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace kestrel::clip {
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


// Failures carry a kind and, for streams, the byte where the damage is.
class ClipReaderFailures : public ::testing::Test {
protected:
    std::string write(const std::string& name, const std::string& bytes) {
        const std::string path = ::testing::TempDir() + "clip_reader_" + name;
        std::FILE* f = std::fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr) << path;
        if (f == nullptr) return path;
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return path;
    }
};

TEST_F(ClipReaderFailures, FilesThatCannotBeReadAreIoAndEmptyOnesTruncated) {
    const std::string missing = ::testing::TempDir() + "clip_reader_no_such_file.hevc";
    Result<Clip> none = openClip(missing);
    ASSERT_FALSE(none.ok());
    EXPECT_EQ(none.status().kind(), ErrorKind::Io);
    EXPECT_EQ(none.status().message(), missing + ": cannot open: No such file or directory");

    Result<Clip> directory = openClip(::testing::TempDir());
    ASSERT_FALSE(directory.ok());
    EXPECT_EQ(directory.status().kind(), ErrorKind::Io);

    const std::string empty = write("empty.hevc", "");
    Result<Clip> nothing = openClip(empty);
    ASSERT_FALSE(nothing.ok());
    EXPECT_EQ(nothing.status().kind(), ErrorKind::Truncated);
    EXPECT_EQ(nothing.status().message(), empty + ": is empty");

    const std::string text = write("text.txt", "hello");
    Result<Clip> unknown = openClip(text);
    ASSERT_FALSE(unknown.ok());
    EXPECT_EQ(unknown.status().kind(), ErrorKind::Format);
    EXPECT_EQ(unknown.status().message(),
              text +
                  ": not HDR10+ metadata: neither JSON, an HEVC Annex B stream nor a "
                  "container file (it starts 68 65 6c 6c 6f)");
}

TEST_F(ClipReaderFailures, DamageAtTheFirstByteFailsLaterDamageOpensButDoesNotLoad) {
    // A start code and nothing after it: no unit at all, damaged at byte 0.
    const std::string bare = write("bare.hevc", std::string("\x00\x00\x01", 3));
    Result<Clip> failed = openClip(bare);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.status().kind(), ErrorKind::Damaged);
    EXPECT_EQ(failed.status().where().byteOffset, 0u);

    // A four-byte start code, then a unit whose header has the forbidden
    // bit set: the damage sits at byte 4, after the start code.
    const std::string broken =
        write("broken.hevc", std::string("\x00\x00\x00\x01\x80\x01\xff\xff", 8));
    Result<Clip> opened = openClip(broken);
    ASSERT_TRUE(opened.ok()) << opened.status().message();
    ASSERT_TRUE(opened->damage.has_value());
    EXPECT_EQ(opened->damage->offset, 4u);
    EXPECT_EQ(opened->damage->what,
              "byte 4: invalid NAL unit header (type 0) (0 frames read before it)");

    // Commands that need every frame refuse it, at the damage.
    const Status whole = opened->whole();
    ASSERT_FALSE(whole.ok());
    EXPECT_EQ(whole.kind(), ErrorKind::Damaged);
    EXPECT_EQ(whole.where().byteOffset, 4u);
    EXPECT_EQ(whole.message(), broken + ": " + opened->damage->what);
}

TEST_F(ClipReaderFailures, JsonErrorsAreFormatAndNameTheKey) {
    const std::string bad = write("bad.json", "{\"SceneInfo\": 5}");
    Result<Clip> read = openClip(bad);
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.status().kind(), ErrorKind::Format);
    EXPECT_EQ(read.status().where().key, "SceneInfo");
    EXPECT_EQ(read.status().message().rfind(bad + ": ", 0), 0u) << read.status().message();

    const std::string broken = write("broken.json", "{\"SceneInfo\": [");
    Result<Clip> syntax = openClip(broken);
    ASSERT_FALSE(syntax.ok());
    EXPECT_EQ(syntax.status().kind(), ErrorKind::Format);
    EXPECT_EQ(syntax.status().message().rfind(broken + ": not valid JSON: Line 1", 0), 0u)
        << syntax.status().message();
}

}  // namespace
}  // namespace kestrel::clip
