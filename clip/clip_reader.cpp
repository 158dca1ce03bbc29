// SPDX-License-Identifier: Apache-2.0
#include "clip/clip_reader.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>

#include "hdr10plus/internal/json_value.h"
#include "hdr10plus/json.h"
#include "hdr10plus/payload.h"
#include "hevc/annexb.h"
#ifdef KESTREL_HAVE_CONTAINERS
#include "container/hevc_track.h"
#endif

namespace kestrel::clip {

namespace {

constexpr size_t kSniffBytes = 1024;

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

std::string hexBytes(const uint8_t* data, size_t size) {
    std::string text;
    char byte[4];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(byte, sizeof byte, "%s%02x", i ? " " : "", data[i]);
        text += byte;
    }
    return text;
}

// Turns the stream's pictures into frames, parsing each payload once however
// many pictures it stays in effect for.
class PictureCollector {
public:
    explicit PictureCollector(std::vector<ClipFrame>& frames) : mFrames(frames) {}

    void operator()(hevc::Picture&& picture) {
        ClipFrame frame;
        if (!picture.hdr10plus) {
            frame.problem = FrameProblem{
                ProblemKind::NoMetadata, "",
                "carries no HDR10+ metadata (none before it in decoding order)"};
            mFrames.push_back(std::move(frame));
            return;
        }
        const hevc::T35Payload& payload = *picture.hdr10plus;
        frame.offset = payload.offset;
        frame.provenance = picture.ownMessages == 0 ? Provenance::Repeated : Provenance::Own;
        if (mLast != picture.hdr10plus) {
            mLast = picture.hdr10plus;
            mParsed = hdr10plus::parsePayload(payload.bytes.data(), payload.bytes.size());
        }
        if (mParsed->ok()) {
            frame.metadata = **mParsed;
        } else {
            const std::string at = std::to_string(payload.offset);
            frame.problem = FrameProblem{
                ProblemKind::InvalidPayload, "",
                (frame.provenance == Provenance::Repeated
                     ? "shows the HDR10+ message of the SEI at byte " + at +
                           ", which is not valid: payload "
                     : "carries an HDR10+ message that is not valid (SEI at byte " + at +
                           "): payload ") +
                    mParsed->status().message()};
        }
        mFrames.push_back(std::move(frame));
    }

private:
    std::vector<ClipFrame>& mFrames;
    std::shared_ptr<const hevc::T35Payload> mLast;
    std::optional<Result<hdr10plus::Frame>> mParsed;  // of mLast's payload
};

// The stream readers place every failure at a byte offset; 0 when one does
// not (the start of the file is where the reading failed).
uint64_t damageOffset(const Status& error) { return error.where().byteOffset.value_or(0); }

std::string damageText(const Status& error, size_t framesBefore) {
    return "byte " + std::to_string(damageOffset(error)) + ": " + error.message() + " (" +
           std::to_string(framesBefore) + " frame" + (framesBefore == 1 ? "" : "s") +
           " read before it)";
}

// The rest of an open file after the bytes already read from it.
Status readRest(std::FILE* file, const std::string& name, std::string& text) {
    char buffer[1 << 16];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    if (std::ferror(file)) return Status::failure(ErrorKind::Io, name + ": cannot read");
    return Status();
}

Status readJson(std::FILE* file, std::string text, const std::string& name, Clip& clip) {
    if (Status read = readRest(file, name, text); !read) return read;
    // A film's entries are read on every core.
    Result<hdr10plus::JsonDocument> result = hdr10plus::readJsonDocument(
        text.data(), text.size(), std::thread::hardware_concurrency());
    text = std::string();
    if (!result.ok()) return result.status().prefixed(name + ": ");
    hdr10plus::JsonDocument& document = *result;
    clip.frames.assign(document.frameCount, ClipFrame{});
    for (hdr10plus::JsonFrame& f : document.frames) {
        ClipFrame& frame = clip.frames[f.index];
        frame.metadata = std::move(f.frame);
        frame.provenance = Provenance::Own;
    }
    for (const Status& e : document.errors) {
        const std::optional<unsigned>& index = e.where().frame;
        if (index && *index < clip.frames.size()) {
            ClipFrame& frame = clip.frames[*index];
            frame.provenance = Provenance::Own;
            frame.problem = FrameProblem{ProblemKind::InvalidEntry, e.where().key, e.message()};
        }
    }
    return Status();
}

}  // namespace

Result<Clip> openClip(const std::string& path, const OpenOptions& options) {
    Clip clip;
    const std::string& shown = options.name.empty() ? path : options.name;
    clip.name = shown;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return Status::failure(ErrorKind::Io, shown + ": cannot open: " + std::strerror(errno));
    if (S_ISDIR(info.st_mode))
        return Status::failure(ErrorKind::Io, shown + ": is a directory, not a file");
    File file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file)
        return Status::failure(ErrorKind::Io, shown + ": cannot open: " + std::strerror(errno));
    uint8_t head[kSniffBytes];
    size_t got = std::fread(head, 1, sizeof head, file.get());
    if (got == 0) {
        if (std::ferror(file.get())) return Status::failure(ErrorKind::Io, shown + ": cannot read");
        return Status::failure(ErrorKind::Truncated, shown + ": is empty");
    }
    clip.format = sniffFormat(head, got);
    if (clip.format == InputFormat::Json) {
        // The bytes sniffed are the start of the text; the rest follows.
        Status read = readJson(file.get(), std::string(reinterpret_cast<char*>(head), got),
                               shown, clip);
        if (!read) return read;
        deriveScenes(clip);
        return clip;
    }
    if (clip.format == InputFormat::Unknown) {
        return Status::failure(ErrorKind::Format,
                               shown + ": not HDR10+ metadata: neither JSON, an HEVC Annex B " +
                                   "stream nor a container file (it starts " +
                                   hexBytes(head, got < 8 ? got : 8) + ")");
    }
    // The stream readers start from the first byte; a pipe has given its
    // first bytes away and would be read from the middle.
    if (std::fseek(file.get(), 0, SEEK_SET) != 0) {
        return Status::failure(
            ErrorKind::Unsupported,
            shown + ": cannot go back to its start (a pipe?): save it to a file first");
    }

    PictureCollector collect(clip.frames);
    const uint64_t fileBytes = static_cast<uint64_t>(info.st_size);
    auto progress = [&](uint64_t done) {
        if (options.progress != nullptr) options.progress->update(done, fileBytes);
    };
    Status damage;
    if (clip.format == InputFormat::AnnexB) {
        damage = hevc::readAnnexB(
            file.get(), [&](hevc::Picture&& p) { collect(std::move(p)); },
            [&](uint64_t done) { progress(done); });
    } else {
#ifdef KESTREL_HAVE_CONTAINERS
        damage = container::readHevcTrack(
            file.get(), path, [&](hevc::Picture&& p) { collect(std::move(p)); },
            [&](uint64_t done, uint64_t) { progress(done); });
#else
        return Status::failure(ErrorKind::Unsupported,
                               shown +
                                   ": a container file, which this build of kestrel cannot read "
                                   "(it was built without libavformat); extract the HEVC "
                                   "stream first");
#endif
    }
    if (options.progress != nullptr) options.progress->finish();
    if (!damage.ok()) {
        const uint64_t offset = damageOffset(damage);
        if (clip.frames.empty() && offset == 0) {
            Status failed = Status::failure(ErrorKind::Damaged, shown + ": " + damage.message(),
                                            damage.where());
            return damage.code() ? failed.withCode(*damage.code()) : failed;
        }
        clip.damage = Damage{offset, damageText(damage, clip.frames.size())};
    } else if (clip.frames.empty()) {
        return Status::failure(ErrorKind::Format,
                               shown + ": the " + formatName(clip.format) + " holds no pictures");
    }
    deriveScenes(clip);
    return clip;
}

}  // namespace kestrel::clip
