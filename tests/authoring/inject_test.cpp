// SPDX-License-Identifier: Apache-2.0
// Injection as a caller of the library sees it: the frame count against the
// pictures, frames a payload cannot hold, and an output that appears whole
// or not at all.
#include "authoring/inject.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "authoring/replacing_file.h"
#include "hdr10plus/payload.h"
#include "hevc/annexb.h"
#include "hevc/stream_builder.h"

namespace kestrel::authoring {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

class Folder {
public:
    Folder() {
        char name[] = "/tmp/kestrel-inject-XXXXXX";
        mPath = mkdtemp(name);
    }
    ~Folder() { fs::remove_all(mPath); }
    std::string path(const std::string& name) const { return mPath + "/" + name; }
    std::vector<std::string> names() const {
        std::vector<std::string> all;
        for (const auto& e : fs::directory_iterator(mPath)) all.push_back(e.path().filename());
        std::sort(all.begin(), all.end());
        return all;
    }

private:
    std::string mPath;
};

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Three pictures, decoded I0 P2 B1.
Bytes threePictures() {
    using namespace hevc::test;
    Bytes s;
    append(s, sps(8, 1), true);
    append(s, pps(false), true);
    append(s, slice(19, 0, 8), true);
    append(s, slice(1, 2, 8));
    append(s, slice(1, 1, 8));
    return s;
}

hdr10plus::Frame frameWithPeak(uint32_t maxscl) {
    hdr10plus::Frame f;
    f.targeted_system_display_maximum_luminance = 1000;
    hdr10plus::Window w;
    w.maxscl = {maxscl, maxscl / 2, maxscl / 4};
    w.average_maxrgb = maxscl / 10;
    w.distribution = {{1, 5}, {50, 100}, {99, maxscl}};
    f.windows.push_back(w);
    return f;
}

// The maxscl red of each shown picture of the stream at `path`.
std::vector<uint32_t> peaksShown(const std::string& path) {
    std::vector<uint32_t> peaks;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    auto error = hevc::readAnnexB(
        file,
        [&](hevc::Picture&& p) {
            auto parsed = hdr10plus::parsePayload(p.hdr10plus->bytes.data(), p.hdr10plus->bytes.size());
            peaks.push_back(parsed.ok() ? parsed->windows[0].maxscl[0] : 0);
        },
        nullptr);
    std::fclose(file);
    EXPECT_TRUE(error.ok()) << error.message();
    return peaks;
}

struct Injection {
    Folder folder;
    std::string input = folder.path("in.hevc");
    std::string output = folder.path("out.hevc");
    Injection() { writeFile(input, threePictures()); }
    Result<InjectSummary> inject(const std::vector<hdr10plus::Frame>& frames, bool repeatLast) {
        Result<hevc::PictureLayout> layout = scanStream(input, nullptr);
        EXPECT_TRUE(layout.ok()) << layout.status().message();
        InjectOptions options;
        options.repeatLast = repeatLast;
        return injectHdr10Plus(input, *layout, frames, output, options, nullptr);
    }
};

TEST(Inject, FrameCountMustMatchThePicturesUnlessTheLastRepeats) {
    std::vector<hdr10plus::Frame> two = {frameWithPeak(1000), frameWithPeak(2000)};
    std::vector<hdr10plus::Frame> four = two;
    four.push_back(frameWithPeak(3000));
    four.push_back(frameWithPeak(4000));
    {
        Injection s;
        Result<InjectSummary> r = s.inject(two, false);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.status().kind(), ErrorKind::Invalid);
        EXPECT_EQ(r.status().message(), "2 frames of metadata for 3 pictures");
        EXPECT_EQ(r.status().where().frame, 2u);
        EXPECT_EQ(s.folder.names(), std::vector<std::string>{"in.hevc"});
    }
    {
        Injection s;  // more frames than pictures: never, even with repeatLast
        Result<InjectSummary> r = s.inject(four, true);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.status().message(), "4 frames of metadata for 3 pictures");
    }
    {
        Injection s;
        Result<InjectSummary> r = s.inject({}, true);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.status().message(), "0 frames of metadata for 3 pictures");
    }
    {
        Injection s;
        Result<InjectSummary> r = s.inject(two, true);
        ASSERT_TRUE(r.ok()) << r.status().message();
        EXPECT_EQ(r->pictures, 3u);
        EXPECT_EQ(r->repeatedPictures, 1u);
        EXPECT_EQ(r->removedMessages, 0u);
        EXPECT_EQ(peaksShown(s.output), (std::vector<uint32_t>{1000, 2000, 2000}));
        EXPECT_EQ(r->bytesWritten, fs::file_size(s.output));
    }
    {
        Injection s;  // exactly as many: display order, not decoding order
        std::vector<hdr10plus::Frame> three = two;
        three.push_back(frameWithPeak(3000));
        Result<InjectSummary> r = s.inject(three, false);
        ASSERT_TRUE(r.ok()) << r.status().message();
        EXPECT_EQ(r->repeatedPictures, 0u);
        EXPECT_EQ(peaksShown(s.output), (std::vector<uint32_t>{1000, 2000, 3000}));
    }
}

TEST(Inject, AFrameThePayloadCannotHoldLeavesTheOldOutputAlone) {
    Injection s;
    writeFile(s.output, {'o', 'l', 'd'});
    std::vector<hdr10plus::Frame> frames = {frameWithPeak(1000), frameWithPeak(1000),
                                            frameWithPeak(1000)};
    frames[2].targeted_system_display_maximum_luminance = 10001;
    Result<InjectSummary> r = s.inject(frames, false);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.status().kind(), ErrorKind::OutOfRange);
    EXPECT_EQ(r.status().where().frame, 2u);
    EXPECT_EQ(r.status().message().rfind("frame 2: targeted_system_display_maximum_luminance", 0),
              0u)
        << r.status().message();
    EXPECT_EQ(readFile(s.output), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(s.folder.names(), (std::vector<std::string>{"in.hevc", "out.hevc"}));
}

TEST(Inject, ADamagedStreamFailsAtTheScanWithItsOffset) {
    Folder folder;
    Bytes s = threePictures();
    size_t at = s.size();
    hevc::test::append(s, hevc::test::sei({{4, hevc::test::hdr10plusPayload(1)}}));
    writeFile(folder.path("cut.hevc"), s);
    Result<hevc::PictureLayout> layout = scanStream(folder.path("cut.hevc"), nullptr);
    ASSERT_FALSE(layout.ok());
    EXPECT_EQ(layout.status().kind(), ErrorKind::Damaged);
    EXPECT_EQ(layout.status().message(),
              folder.path("cut.hevc") + ": byte " + std::to_string(at + 3) +
                  ": the stream ends after an HDR10+ message, before its picture");
    layout = scanStream(folder.path("missing.hevc"), nullptr);
    ASSERT_FALSE(layout.ok());
    EXPECT_EQ(layout.status().message(),
              folder.path("missing.hevc") + ": cannot open: No such file or directory");
}

TEST(Inject, TheOutputMayReplaceTheInput) {
    Injection s;
    Result<hevc::PictureLayout> layout = scanStream(s.input, nullptr);
    ASSERT_TRUE(layout.ok());
    std::vector<hdr10plus::Frame> frames = {frameWithPeak(10), frameWithPeak(20), frameWithPeak(30)};
    Result<InjectSummary> r = injectHdr10Plus(s.input, *layout, frames, s.input, {}, nullptr);
    ASSERT_TRUE(r.ok()) << r.status().message();
    EXPECT_EQ(peaksShown(s.input), (std::vector<uint32_t>{10, 20, 30}));
    EXPECT_EQ(s.folder.names(), std::vector<std::string>{"in.hevc"});
}

TEST(ReplacingFile, AppearsOnlyOnCommitWithTheUsualPermissions) {
    Folder folder;
    std::string path = folder.path("a.bin");
    {
        Result<std::unique_ptr<ReplacingFile>> file = ReplacingFile::create(path);
        ASSERT_TRUE(file.ok()) << file.status().message();
        std::fputs("abandoned", (*file)->file());
        EXPECT_FALSE(fs::exists(path));
        EXPECT_EQ(fs::path((*file)->temporaryPath()).parent_path(), fs::path(path).parent_path());
    }
    EXPECT_TRUE(folder.names().empty());  // dropped without commit: nothing left

    Result<std::unique_ptr<ReplacingFile>> file = ReplacingFile::create(path);
    ASSERT_TRUE(file.ok());
    std::fputs("kept", (*file)->file());
    ASSERT_TRUE((*file)->commit().ok());
    EXPECT_EQ(readFile(path), (Bytes{'k', 'e', 'p', 't'}));
    EXPECT_EQ(folder.names(), std::vector<std::string>{"a.bin"});
    // Created 0666 under the umask, as a plain new file would be, not the
    // owner-only mode of a typical temporary file.
    mode_t mask = umask(0);
    umask(mask);
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);

    Result<std::unique_ptr<ReplacingFile>> bad = ReplacingFile::create(folder.path("no/such/x"));
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.status().kind(), ErrorKind::Io);
    Result<std::unique_ptr<ReplacingFile>> dir = ReplacingFile::create(folder.path(""));
    ASSERT_FALSE(dir.ok());
    EXPECT_EQ(dir.status().message(), folder.path("") + ": names a folder, not a file");
}

// Writes `text` through a ReplacingFile named `path` and commits it.
Status replaceWith(const std::string& path, const std::string& text) {
    Result<std::unique_ptr<ReplacingFile>> file = ReplacingFile::create(path);
    if (!file) return file.status();
    std::fputs(text.c_str(), (*file)->file());
    return (*file)->commit();
}

std::string textOf(const std::string& path) {
    Bytes b = readFile(path);
    return std::string(b.begin(), b.end());
}

TEST(ReplacingFile, FollowsLinksAndKeepsTheReplacedFilesPermissions) {
    Folder folder;
    fs::create_directory(folder.path("out"));
    const std::string real = folder.path("out/real.bin");
    writeFile(real, {'o', 'l', 'd'});
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    // A relative link is read from the link's folder, not the process's.
    fs::create_symlink("out/real.bin", folder.path("link.bin"));
    fs::create_symlink("link.bin", folder.path("chain.bin"));
    ASSERT_TRUE(replaceWith(folder.path("chain.bin"), "new").ok());
    EXPECT_TRUE(fs::is_symlink(folder.path("chain.bin")));
    EXPECT_TRUE(fs::is_symlink(folder.path("link.bin")));
    EXPECT_EQ(textOf(real), "new");
    struct stat info;
    ASSERT_EQ(stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"chain.bin", "link.bin", "out"}));

    // A link to no file yet: the file is made where it points.
    fs::create_symlink("out/made.bin", folder.path("ahead.bin"));
    ASSERT_TRUE(replaceWith(folder.path("ahead.bin"), "made").ok());
    EXPECT_TRUE(fs::is_symlink(folder.path("ahead.bin")));
    EXPECT_EQ(textOf(folder.path("out/made.bin")), "made");

    // Links that never end in a name.
    fs::create_symlink("loop-b", folder.path("loop-a"));
    fs::create_symlink("loop-a", folder.path("loop-b"));
    Status looped = replaceWith(folder.path("loop-a"), "x");
    ASSERT_FALSE(looped.ok());
    EXPECT_EQ(looped.message(), folder.path("loop-a") +
                                    ": cannot follow its links: Too many levels of symbolic links");
}

TEST(ReplacingFile, WritesThroughAPipeInsteadOfReplacingIt) {
    Folder folder;
    const std::string pipe = folder.path("pipe");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    // The reading end first (without waiting for a writer), so that the
    // write does not wait for a reader; and a pipe replaced by a file reads
    // as empty instead of hanging the test.
    const int reading = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reading, 0);
    ASSERT_EQ(fcntl(reading, F_SETFL, 0), 0);
    Status written = replaceWith(pipe, "through the pipe");
    ASSERT_TRUE(written.ok()) << written.message();
    std::string heard;
    char buffer[64];
    for (ssize_t got; (got = read(reading, buffer, sizeof buffer)) > 0;)
        heard.append(buffer, static_cast<size_t>(got));
    close(reading);
    EXPECT_EQ(heard, "through the pipe");
    struct stat info;
    ASSERT_EQ(lstat(pipe.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(folder.names(), std::vector<std::string>{"pipe"});

    // An open descriptor by its name in /proc, as /dev/stdout leads to one:
    // its link ("pipe:[N]") names no file to replace.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    written = replaceWith("/proc/self/fd/" + std::to_string(ends[1]), "by descriptor");
    close(ends[1]);
    ASSERT_TRUE(written.ok()) << written.message();
    heard.clear();
    for (ssize_t got; (got = read(ends[0], buffer, sizeof buffer)) > 0;)
        heard.append(buffer, static_cast<size_t>(got));
    close(ends[0]);
    EXPECT_EQ(heard, "by descriptor");
}

}  // namespace
}  // namespace kestrel::authoring
