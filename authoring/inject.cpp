// SPDX-License-Identifier: Apache-2.0
#include "authoring/inject.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "authoring/replacing_file.h"
#include "hdr10plus/payload.h"
#include "hevc/stream_rewrite.h"

namespace kestrel::authoring {

namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

Result<File> openRegular(const std::string& path, uint64_t& size) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return Status::failure(ErrorKind::Io,
                               path + ": cannot open: " + std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        return Status::failure(ErrorKind::Invalid,
                               path + ": not a regular file (the stream is read twice)");
    File file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file)
        return Status::failure(ErrorKind::Io,
                               path + ": cannot open: " + std::strerror(errno));
    size = static_cast<uint64_t>(info.st_size);
    return file;
}

std::string plural(uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

Result<hevc::PictureLayout> scanStream(const std::string& path, const InjectProgress& progress) {
    uint64_t size = 0;
    Result<File> file = openRegular(path, size);
    if (!file) return file.status();
    Result<hevc::PictureLayout> layout = hevc::scanPictureLayout(
        file->get(), [&](uint64_t done) {
            if (progress) progress(1, done, size);
        });
    if (!layout) return layout.status().prefixed(path + ": ");
    return layout;
}

Result<InjectSummary> injectHdr10Plus(const std::string& inputPath,
                                      const hevc::PictureLayout& layout,
                                      const std::vector<hdr10plus::Frame>& frames,
                                      const std::string& outputPath, const InjectOptions& options,
                                      const InjectProgress& progress) {
    const uint64_t shown = layout.shownPictures;
    if (frames.empty() || frames.size() > shown || (frames.size() < shown && !options.repeatLast)) {
        Location where;
        where.frame = static_cast<unsigned>(frames.size());
        return Status::failure(ErrorKind::Invalid,
                               plural(frames.size(), "frame", "frames") + " of metadata for " +
                                   plural(shown, "picture", "pictures"),
                               where);
    }

    // Every frame as its payload; a run of equal frames (metadata sent once
    // per scene) shares one, and so one built SEI unit.
    std::vector<std::vector<uint8_t>> payloads;
    std::vector<size_t> payloadOf(frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        Result<std::vector<uint8_t>> written = hdr10plus::writePayload(frames[i]);
        if (!written.ok()) {
            Location where = written.status().where();
            where.frame = static_cast<unsigned>(i);
            return Status::failure(written.status().kind(),
                                   "frame " + std::to_string(i) + ": " + written.status().message(),
                                   where);
        }
        if (payloads.empty() || payloads.back() != *written)
            payloads.push_back(std::move(written).value());
        payloadOf[i] = payloads.size() - 1;
    }

    uint64_t size = 0;
    Result<File> input = openRegular(inputPath, size);
    if (!input) return input.status();
    Result<std::unique_ptr<ReplacingFile>> output = ReplacingFile::create(outputPath);
    if (!output) return output.status();

    Result<hevc::RewriteSummary> rewritten = hevc::rewriteWithT35(
        {input->get(), inputPath, (*output)->file(), outputPath}, layout,
        [&](uint64_t picture) -> const std::vector<uint8_t>& {
            size_t frame = picture < frames.size() ? picture : frames.size() - 1;
            return payloads[payloadOf[frame]];
        },
        [&](uint64_t done) {
            if (progress) progress(2, done, size);
        });
    if (!rewritten) return rewritten.status();
    Status committed = (*output)->commit();
    if (!committed) return committed;

    InjectSummary summary;
    summary.pictures = shown;
    summary.hiddenPictures = layout.pictures.size() - shown;
    summary.repeatedPictures = shown - frames.size();
    summary.removedMessages = layout.hdr10plusMessages;
    summary.bytesRead = layout.bytes;
    summary.bytesWritten = rewritten->bytesWritten;
    return summary;
}

}  // namespace kestrel::authoring
