#include "clip/clip_reader.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "clip/json_file.h"
#include "hdr10plus/internal/json_value.h"
#include "hdr10plus/payload.h"
#include "hdr10plus/record.h"
#include "hevc/annexb.h"
#ifdef KESTREL_HAVE_CONTAINERS
#include "container/hevc_track.h"
#endif

namespace kestrel::tool {

namespace {

constexpr size_t kSniffBytes = 1024;
constexpr size_t kTsPacket = 188;
constexpr size_t kM2tsPacket = 192;  // a 4-byte time code before each TS packet

bool hasAt(const uint8_t* head, size_t size, size_t at, const char* text) {
    size_t n = std::strlen(text);
    return size >= at + n && std::memcmp(head + at, text, n) == 0;
}

bool transportStream(const uint8_t* head, size_t size, size_t first, size_t packet) {
    // Three sync bytes in a row, or two when the file is that short.
    unsigned seen = 0;
    for (size_t at = first; at < size && seen < 3; at += packet, ++seen)
        if (head[at] != 0x47) return false;
    return seen >= 2;
}

std::string hexBytes(const uint8_t* data, size_t size) {
    std::string text;
    char byte[4];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(byte, sizeof byte, "%s%02x", i ? " " : "", data[i]);
        text += byte;
    }
    return text;
}

}  // namespace

InputFormat sniffFormat(const uint8_t* head, size_t size) {
    size_t i = 0;
    if (hasAt(head, size, 0, "\xEF\xBB\xBF")) i = 3;
    while (i < size && (head[i] == ' ' || head[i] == '\t' || head[i] == '\n' || head[i] == '\r'))
        ++i;
    if (i < size && (head[i] == '{' || head[i] == '[')) return InputFormat::Json;

    size_t zeros = 0;
    while (zeros < size && head[zeros] == 0) ++zeros;
    if (zeros >= 2 && zeros < size && head[zeros] == 1) return InputFormat::AnnexB;

    if (hasAt(head, size, 0, "\x1A\x45\xDF\xA3")) return InputFormat::Container;
    for (const char* box : {"ftyp", "moov", "mdat", "free", "skip", "wide", "styp"})
        if (hasAt(head, size, 4, box)) return InputFormat::Container;
    if (transportStream(head, size, 0, kTsPacket) || transportStream(head, size, 4, kM2tsPacket))
        return InputFormat::Container;
    return InputFormat::Unknown;
}

const char* formatName(InputFormat format) {
    switch (format) {
        case InputFormat::Json:
            return "HDR10+ JSON";
        case InputFormat::AnnexB:
            return "HEVC Annex B stream";
        case InputFormat::Container:
            return "container file";
        case InputFormat::Unknown:
            break;
    }
    return "unknown";
}

namespace {

// Turns the stream's pictures into frames, parsing each payload once however
// many pictures it stays in effect for.
class PictureCollector {
public:
    explicit PictureCollector(std::vector<InputFrame>& frames) : mFrames(frames) {}

    void operator()(hevc::Picture&& picture) {
        InputFrame frame;
        if (!picture.hdr10plus) {
            frame.problem = "carries no HDR10+ metadata (none before it in decoding order)";
            mFrames.push_back(std::move(frame));
            return;
        }
        const hevc::T35Payload& payload = *picture.hdr10plus;
        frame.offset = payload.offset;
        frame.repeated = picture.ownMessages == 0;
        if (mLast != picture.hdr10plus) {
            mLast = picture.hdr10plus;
            mParsed = hdr10plus::parsePayload(payload.bytes.data(), payload.bytes.size());
        }
        if (mParsed.ok()) {
            frame.frame = mParsed.frame;
        } else {
            frame.invalid = true;
            std::string at = std::to_string(payload.offset);
            frame.problem =
                (frame.repeated ? "shows the HDR10+ message of the SEI at byte " + at +
                                      ", which is not valid: payload "
                                : "carries an HDR10+ message that is not valid (SEI at byte " + at +
                                      "): payload ") +
                mParsed.error->message();
        }
        mFrames.push_back(std::move(frame));
    }

private:
    std::vector<InputFrame>& mFrames;
    std::shared_ptr<const hevc::T35Payload> mLast;
    hdr10plus::PayloadResult mParsed;
};

std::string damageText(const hevc::StreamError& error, size_t framesBefore) {
    return "byte " + std::to_string(error.offset) + ": " + error.message + " (" +
           std::to_string(framesBefore) + " frame" + (framesBefore == 1 ? "" : "s") +
           " read before it)";
}

Status openJson(const std::string& path, const std::string& shown, MetadataInput& input) {
    Result<Json::Value> root = readJsonFile(path);
    if (!root) {
        // readJsonFile names the path first; the input may go by another name.
        const Status& failed = root.status();
        if (shown == path || failed.message().compare(0, path.size(), path) != 0) return failed;
        return Status::failure(failed.kind(), shown + failed.message().substr(path.size()),
                               failed.where());
    }
    hdr10plus::JsonDocumentResult result = hdr10plus::readJsonDocument(*root);
    if (!result.ok()) {
        Location where;
        where.key = result.error->key;
        return Status::failure(ErrorKind::Format, shown + ": " + result.error->message(), where);
    }
    const hdr10plus::JsonDocument& document = result.document;
    input.frames.assign(document.frameCount, InputFrame{});
    for (const hdr10plus::JsonFrame& f : document.frames) input.frames[f.index].frame = f.frame;
    for (const hdr10plus::JsonError& e : document.errors) {
        if (e.frame && *e.frame < input.frames.size()) {
            input.frames[*e.frame].invalid = true;
            input.frames[*e.frame].key = e.key;
            input.frames[*e.frame].problem = e.what;
        }
    }
    return Status();
}

}  // namespace

Result<MetadataInput> openMetadataInput(const std::string& path, const OpenOptions& options) {
    MetadataInput input;
    const std::string shown = options.name.empty() ? path : options.name;
    input.path = shown;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return Status::failure(ErrorKind::Io, shown + ": cannot open: " + std::strerror(errno));
    if (S_ISDIR(info.st_mode))
        return Status::failure(ErrorKind::Io, shown + ": is a directory, not a file");
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file)
        return Status::failure(ErrorKind::Io, shown + ": cannot open: " + std::strerror(errno));
    uint8_t head[kSniffBytes];
    size_t got = std::fread(head, 1, sizeof head, file.get());
    if (got == 0) {
        if (std::ferror(file.get())) return Status::failure(ErrorKind::Io, shown + ": cannot read");
        return Status::failure(ErrorKind::Truncated, shown + ": is empty");
    }
    // Every reader starts again from the first byte (the JSON and container
    // readers by opening the path anew); a pipe has given its first bytes
    // away and would be read from the middle, or waited on for a writer.
    if (std::fseek(file.get(), 0, SEEK_SET) != 0) {
        return Status::failure(
            ErrorKind::Unsupported,
            shown + ": cannot go back to its start (a pipe?): save it to a file first");
    }
    input.format = sniffFormat(head, got);
    if (input.format == InputFormat::Json) {
        if (Status read = openJson(path, shown, input); !read) return read;
        return input;
    }
    if (input.format == InputFormat::Unknown) {
        return Status::failure(ErrorKind::Format,
                               shown + ": not HDR10+ metadata: neither JSON, an HEVC Annex B " +
                                   "stream nor a container file (it starts " +
                                   hexBytes(head, got < 8 ? got : 8) + ")");
    }

    PictureCollector collect(input.frames);
    const uint64_t fileBytes = static_cast<uint64_t>(info.st_size);
    auto progress = [&](uint64_t done) {
        if (options.progress != nullptr) options.progress->update(done, fileBytes);
    };
    std::optional<hevc::StreamError> damage;
    if (input.format == InputFormat::AnnexB) {
        damage = hevc::readAnnexB(
            file.get(), [&](hevc::Picture&& p) { collect(std::move(p)); },
            [&](uint64_t done) { progress(done); });
    } else {
#ifdef KESTREL_HAVE_CONTAINERS
        file.reset();
        damage = container::readHevcTrack(
            path, [&](hevc::Picture&& p) { collect(std::move(p)); },
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
    if (damage) {
        Location where;
        where.byteOffset = damage->offset;
        if (input.frames.empty() && damage->offset == 0)
            return Status::failure(ErrorKind::Damaged, shown + ": " + damage->message, where);
        input.damage = damageText(*damage, input.frames.size());
        input.damageOffset = damage->offset;
    } else if (input.frames.empty()) {
        return Status::failure(ErrorKind::Format,
                               shown + ": the " + formatName(input.format) + " holds no pictures");
    }
    return input;
}

Result<Hdr10PlusDocument> loadHdr10PlusInput(const std::string& path, const OpenOptions& options) {
    Result<MetadataInput> opened = openMetadataInput(path, options);
    if (!opened) return opened.status();
    const MetadataInput& input = *opened;
    if (input.damage) {
        Location where;
        where.byteOffset = input.damageOffset;
        return Status::failure(ErrorKind::Damaged, input.path + ": " + *input.damage, where);
    }
    Hdr10PlusDocument document;
    document.path = input.path;
    document.frameCount = static_cast<unsigned>(input.frames.size());
    for (unsigned i = 0; i < input.frames.size(); ++i) {
        const InputFrame& f = input.frames[i];
        if (f.frame)
            document.frames.push_back(toolFrame(i, *f.frame));
        else
            document.errors.push_back({i, f.key, f.problem});
    }
    return document;
}

}  // namespace kestrel::tool
