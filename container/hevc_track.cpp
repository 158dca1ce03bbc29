// SPDX-License-Identifier: Apache-2.0
#include "container/hevc_track.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/intreadwrite.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <sys/types.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <memory>
#include <set>
#include <vector>

#include "container/file_extent.h"
#include "hevc/annexb.h"
#include "hevc/sei.h"

namespace kestrel::container {

namespace {

using hevc::NalUnit;

std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

Status failAt(ErrorKind kind, uint64_t offset, std::string message) {
    Location where;
    where.byteOffset = offset;
    return Status::failure(kind, std::move(message), std::move(where));
}

// A failure libav reported with `code`: its text ends the sentence and the
// code itself travels with it.
Status libavFailure(ErrorKind kind, uint64_t offset, const std::string& what, int code) {
    return failAt(kind, offset, what + avError(code)).withCode(code);
}

// The file could not be opened as a container: out of memory or unreadable
// is the system's failure, anything else the file's.
Status unreadable(int code) {
    return libavFailure(code == AVERROR(ENOMEM) || code == AVERROR(EIO) || code == AVERROR(ENOENT) ||
                                code == AVERROR(EACCES)
                            ? ErrorKind::Io
                            : ErrorKind::Format,
                        0, "the demuxer cannot read it: ", code);
}

Status hvccCutShort() { return failAt(ErrorKind::Truncated, 0, "the track's hvcC record is cut short"); }

struct InputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

// The hvcC record: 22 bytes of profile and format fields (the last two bits
// of byte 21 are the NAL length size minus one), a count of arrays, and per
// array a type byte and a count of units, each unit a 16-bit size and bytes.
constexpr size_t kHvccFixedBytes = 23;

bool isHvcc(const uint8_t* data, size_t size) { return size >= kHvccFixedBytes && data[0] == 1; }

Status readHvcc(const uint8_t* data, size_t size, hevc::PictureSequencer& out) {
    size_t pos = kHvccFixedBytes;
    unsigned arrays = data[22];
    for (unsigned a = 0; a < arrays; ++a) {
        if (size - pos < 3) return hvccCutShort();
        unsigned units = AV_RB16(data + pos + 1);
        pos += 3;
        for (unsigned u = 0; u < units; ++u) {
            if (size - pos < 2) return hvccCutShort();
            size_t length = AV_RB16(data + pos);
            pos += 2;
            if (size - pos < length) return hvccCutShort();
            if (!out.push(NalUnit{data + pos, length, 0, true})) return out.error();
            pos += length;
        }
    }
    return {};
}

// Block additions reach us as side data: an 8-byte big-endian BlockAddID,
// then the addition's bytes.
constexpr size_t kBlockAddIdBytes = 8;

void readBlockAdditions(const AVPacket& packet, hevc::PictureSequencer& out) {
    size_t size = 0;
    const uint8_t* side =
        av_packet_get_side_data(&packet, AV_PKT_DATA_MATROSKA_BLOCKADDITIONAL, &size);
    if (!side || size <= kBlockAddIdBytes) return;
    const uint8_t* payload = side + kBlockAddIdBytes;
    size_t length = size - kBlockAddIdBytes;
    if (hevc::isHdr10PlusT35(payload, length))
        out.addPayload(payload, length, static_cast<uint64_t>(packet.pos < 0 ? 0 : packet.pos));
}

bool readLengthPrefixed(const AVPacket& packet, unsigned lengthSize, hevc::PictureSequencer& out,
                        Status& error) {
    uint64_t base = static_cast<uint64_t>(packet.pos < 0 ? 0 : packet.pos);
    size_t size = static_cast<size_t>(packet.size);
    size_t pos = 0;
    while (pos < size) {
        if (size - pos < lengthSize) {
            error = failAt(ErrorKind::Truncated, base + pos, "sample ends inside a NAL unit length");
            return false;
        }
        size_t length = 0;
        for (unsigned i = 0; i < lengthSize; ++i) length = (length << 8) | packet.data[pos + i];
        pos += lengthSize;
        if (length > size - pos) {
            error = failAt(ErrorKind::Truncated, base + pos,
                           "NAL unit of " + std::to_string(length) +
                               " bytes runs past the end of its sample (" +
                               std::to_string(size - pos) + " left)");
            return false;
        }
        if (!out.push(NalUnit{packet.data + pos, length, base + pos, true})) return false;
        pos += length;
    }
    return true;
}

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

int64_t fileSize(std::FILE* file) {
    if (fseeko(file, 0, SEEK_END) != 0) return -1;
    return static_cast<int64_t>(ftello(file));
}

// After the last sample: a cut file ends like a whole one for the demuxer.
Status checkWhole(std::FILE* file, int64_t size) {
    if (size <= 0) return {};
    auto cut = findTruncation(file, static_cast<uint64_t>(size));
    if (!cut) return {};
    Location where;
    where.byteOffset = cut->fileSize;
    where.key = cut->element;
    return Status::failure(ErrorKind::Truncated,
                           "the file is cut short: its " + cut->element +
                               " declares it ends at byte " + std::to_string(cut->declaredEnd),
                           std::move(where));
}

// The demuxer reads the file we opened, through these callbacks, so that the
// file is opened once and its size and extent are checked on the same file.
// The file's position is the demuxer's between its calls; findTruncation
// moves it only once the demuxer is done with it or has failed.
int readPacket(void* opaque, uint8_t* buffer, int size) {
    std::FILE* file = static_cast<std::FILE*>(opaque);
    const size_t got = std::fread(buffer, 1, static_cast<size_t>(size), file);
    if (got > 0) return static_cast<int>(got);
    return std::ferror(file) ? AVERROR(EIO) : AVERROR_EOF;
}

int64_t seekFile(void* opaque, int64_t offset, int whence) {
    std::FILE* file = static_cast<std::FILE*>(opaque);
    if (whence & AVSEEK_SIZE) {
        const off_t here = ftello(file);
        const int64_t size = fileSize(file);
        if (here < 0 || fseeko(file, here, SEEK_SET) != 0) return AVERROR(EIO);
        return size < 0 ? AVERROR(EIO) : size;
    }
    whence &= ~AVSEEK_FORCE;
    if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return AVERROR(EINVAL);
    if (fseeko(file, static_cast<off_t>(offset), whence) != 0) return AVERROR(errno);
    return static_cast<int64_t>(ftello(file));
}

// The buffer the demuxer reads into, as libavformat's own file protocol
// sizes it.
constexpr int kIoBufferSize = 32768;

struct IoContextFree {
    void operator()(AVIOContext* io) const {
        if (io == nullptr) return;
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};

}  // namespace

Status readHevcTrack(
    const std::string& path, const hevc::PictureSequencer::Sink& sink,
    const std::function<void(uint64_t done, uint64_t total)>& progress) {
    File file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return unreadable(AVERROR(errno));
    return readHevcTrack(file.get(), path, sink, progress);
}

Status readHevcTrack(
    std::FILE* opened, const std::string& path, const hevc::PictureSequencer::Sink& sink,
    const std::function<void(uint64_t done, uint64_t total)>& progress) {
    File file(opened, [](std::FILE*) { return 0; });  // the caller's: not closed here
    const int64_t size = fileSize(file.get());
    if (size < 0 || fseeko(file.get(), 0, SEEK_SET) != 0) {
        return unreadable(AVERROR(errno));
    }

    uint8_t* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
    if (buffer == nullptr) {
        return unreadable(AVERROR(ENOMEM));
    }
    std::unique_ptr<AVIOContext, IoContextFree> io(
        avio_alloc_context(buffer, kIoBufferSize, 0, file.get(), &readPacket, nullptr, &seekFile));
    if (!io) {
        av_free(buffer);
        return unreadable(AVERROR(ENOMEM));
    }

    AVFormatContext* raw = avformat_alloc_context();
    if (raw == nullptr) {
        return unreadable(AVERROR(ENOMEM));
    }
    // The demuxer reads our file; the path only names it (the name's
    // extension helps tell formats apart, as it does for a file the demuxer
    // opens itself). Its messages go to libav's log as the program has set
    // it up: this library changes no process-wide libav state, and reports
    // from return codes.
    raw->pb = io.get();
    int status = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (status < 0) {
        // avformat_open_input has freed the context; the I/O context is ours.
        // A file cut inside its headers is worth naming as such.
        if (Status cut = checkWhole(file.get(), size); !cut.ok()) return cut;
        return unreadable(status);
    }
    std::unique_ptr<AVFormatContext, InputCloser> input(raw);

    int track = -1;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        if (input->streams[i]->codecpar->codec_id == AV_CODEC_ID_HEVC) {
            track = static_cast<int>(i);
            break;
        }
    }
    if (track < 0) {
        std::string found;
        for (unsigned i = 0; i < input->nb_streams; ++i)
            found += (found.empty() ? "" : ", ") +
                     std::string(avcodec_get_name(input->streams[i]->codecpar->codec_id));
        return failAt(ErrorKind::Unsupported, 0,
                      std::string(input->iformat->name) + " file without an HEVC track" +
                          (found.empty() ? "" : " (tracks: " + found + ")"));
    }

    // A sample the demuxer marks as outside the track's edit list (MP4's
    // edts/elst) is decoded, since later pictures may refer to it, but not
    // shown: a player's decoder drops the picture it gives. Its pictures are
    // dropped here the same way, so that frame N is the N-th picture a
    // player shows. The pictures a sample starts are known by their decoding
    // index; one may leave the reorder queue while its own sample is still
    // being read (no reordering), so the current sample's are checked too.
    std::set<uint64_t> hidden;   // decoding indices of pictures not shown
    bool hideCurrent = false;    // the sample being read is outside the edit
    uint64_t currentFirst = 0;   // the decoding index of its first picture
    auto shown = [&](hevc::Picture&& picture) {
        const uint64_t index = picture.decodeIndex;
        if (hideCurrent && index >= currentFirst) return;
        if (hidden.erase(index) > 0) return;
        sink(std::move(picture));
    };
    hevc::PictureSequencer sequencer(shown);
    const AVCodecParameters& codec = *input->streams[track]->codecpar;
    unsigned lengthSize = 0;  // 0: samples are Annex B
    if (isHvcc(codec.extradata, static_cast<size_t>(codec.extradata_size))) {
        lengthSize = (codec.extradata[21] & 3u) + 1;
        if (lengthSize == 3)
            return failAt(ErrorKind::OutOfRange, 0, "the track's hvcC record gives 3-byte lengths");
        Status read = readHvcc(codec.extradata, static_cast<size_t>(codec.extradata_size), sequencer);
        if (!read) return read;
    }

    const int64_t total = size;
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    Status error;
    for (;;) {
        status = av_read_frame(input.get(), packet.get());
        if (status == AVERROR_EOF) break;
        if (status < 0) {
            error = libavFailure(ErrorKind::Damaged, static_cast<uint64_t>(avio_tell(input->pb)),
                                 "the demuxer stopped: ", status);
            break;
        }
        bool go = true;
        if (packet->stream_index == track) {
            currentFirst = sequencer.picturesStarted();
            hideCurrent = (packet->flags & AV_PKT_FLAG_DISCARD) != 0;
            readBlockAdditions(*packet, sequencer);
            if (lengthSize > 0) {
                go = readLengthPrefixed(*packet, lengthSize, sequencer, error);
            } else {
                uint64_t base = static_cast<uint64_t>(packet->pos < 0 ? 0 : packet->pos);
                hevc::AnnexBSplitter splitter([&](const NalUnit& unit) {
                    NalUnit placed = unit;
                    placed.offset += base;
                    return sequencer.push(placed);
                });
                go = splitter.feed(packet->data, static_cast<size_t>(packet->size)) &&
                     splitter.finish();
            }
            if (hideCurrent) {
                for (uint64_t i = currentFirst; i < sequencer.picturesStarted(); ++i)
                    hidden.insert(i);
                hideCurrent = false;
            }
        }
        av_packet_unref(packet.get());
        if (progress && total > 0)
            progress(static_cast<uint64_t>(avio_tell(input->pb)), static_cast<uint64_t>(total));
        if (!go || !sequencer.error().ok()) break;
    }
    sequencer.finish();
    if (!sequencer.error().ok()) return sequencer.error();
    if (error.ok()) error = checkWhole(file.get(), total);
    return error;
}

void quietDemuxerLog() { av_log_set_level(AV_LOG_QUIET); }

}  // namespace kestrel::container
