// SPDX-License-Identifier: Apache-2.0
#include "hevc/picture_layout.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "hevc/annexb.h"
#include "hevc/display_order.h"
#include "hevc/nal_unit.h"
#include "hevc/sei.h"
#include "hevc/sei_writer.h"

namespace kestrel::hevc {

namespace {

constexpr size_t kChunk = size_t{1} << 20;
constexpr uint64_t kStartCodeBytes = 3;  // 00 00 01

Status damaged(uint64_t offset, const std::string& message) {
    Location where;
    where.byteOffset = offset;
    return Status::failure(ErrorKind::Damaged, "byte " + std::to_string(offset) + ": " + message,
                           where);
}

// What one layer-0 prefix SEI unit becomes without its HDR10+ messages.
// Returns false when the unit carries none (it is then left alone) or
// cannot be split into messages (the sequencer reports that).
bool rewriteSei(const NalUnit& unit, std::vector<uint8_t>& rbsp, SeiRewrite& rewrite,
                uint64_t& found) {
    unescape(unit.data, unit.size, rbsp);
    std::vector<SeiMessage> messages;
    if (!readSeiMessages(rbsp.data(), rbsp.size(), messages)) return false;
    std::vector<SeiMessage> kept;
    for (const SeiMessage& m : messages) {
        if (m.type == kSeiUserDataRegisteredT35 && isHdr10PlusT35(m.payload, m.size))
            ++found;
        else
            kept.push_back(m);
    }
    if (kept.size() == messages.size()) return false;
    if (kept.empty()) {
        // The unit goes with its start code; zero bytes before the start
        // code stay, as trailing zeros of the unit before.
        rewrite.begin = unit.offset - kStartCodeBytes;
        rewrite.end = unit.offset + unit.size;
    } else {
        rewrite.begin = unit.offset;
        rewrite.end = unit.offset + unit.size;
        rewrite.replacement = prefixSeiUnit(kept, unit.temporalIdPlus1());
    }
    return true;
}

}  // namespace

Result<PictureLayout> scanPictureLayout(std::FILE* file,
                                        const std::function<void(uint64_t)>& progress) {
    if (std::fseek(file, 0, SEEK_SET) != 0)
        return Status::failure(ErrorKind::Io, "cannot go back to its start (a pipe?)");
    PictureLayout layout;
    std::vector<uint64_t> sliceOffsets;  // of each picture's first slice, decoding order
    bool mismatch = false;
    PictureSequencer sequencer([&](Picture&& picture) {
        // The sequencer counts pictures exactly where the sink below adds
        // slots; a picture that does not land on its slot would put metadata
        // on the wrong picture, so it stops the scan instead.
        if (picture.decodeIndex >= layout.pictures.size() ||
            sliceOffsets[picture.decodeIndex] != picture.offset) {
            mismatch = true;
            return;
        }
        layout.pictures[picture.decodeIndex].displayIndex = layout.shownPictures++;
    });
    std::vector<uint8_t> rbsp;
    AnnexBSplitter splitter([&](const NalUnit& unit) {
        if (unit.size > nal::kHeaderSize && unit.layerId() == 0) {
            uint8_t type = unit.type();
            if (type <= nal::kLastVcl && (unit.data[2] & 0x80) != 0) {
                // first_slice_segment_in_pic_flag, the first bit after the
                // header: a new picture.
                PictureSlot slot;
                slot.insertAt = unit.offset - kStartCodeBytes;
                slot.temporalIdPlus1 = unit.temporalIdPlus1();
                layout.pictures.push_back(slot);
                sliceOffsets.push_back(unit.offset);
            } else if (type == nal::kPrefixSei && unit.complete) {
                SeiRewrite rewrite;
                if (rewriteSei(unit, rbsp, rewrite, layout.hdr10plusMessages))
                    layout.seiRewrites.push_back(std::move(rewrite));
            }
        }
        return sequencer.push(unit) && !mismatch;
    });

    std::unique_ptr<uint8_t[]> buffer(new uint8_t[kChunk]);
    for (;;) {
        size_t got = std::fread(buffer.get(), 1, kChunk, file);
        if (got > 0 && !splitter.feed(buffer.get(), got)) break;
        if (progress) progress(splitter.bytesSeen());
        if (got < kChunk) {
            if (std::ferror(file)) {
                int code = errno;
                return Status::failure(ErrorKind::Io,
                                       std::string("cannot read: ") + std::strerror(code));
            }
            splitter.finish();
            break;
        }
    }
    sequencer.finish();
    if (mismatch)
        return Status::failure(ErrorKind::Invalid,
                               "the pictures in display order do not match those found in "
                               "decoding order");
    if (!sequencer.error().ok())
        return damaged(*sequencer.error().where().byteOffset, sequencer.error().message());
    if (splitter.unitCount() == 0)
        return damaged(0, "no HEVC NAL unit found (no 00 00 01 start code)");
    if (layout.shownPictures == 0) return damaged(0, "the stream holds no picture that is shown");
    layout.bytes = splitter.bytesSeen();

    // A slice with the 4-byte start code keeps it: the new unit goes before
    // the zero byte. The byte is read back now, since the splitter hands a
    // unit on only once the next start code is found, long after its first
    // bytes have left the buffer.
    int fd = fileno(file);
    for (PictureSlot& slot : layout.pictures) {
        if (slot.insertAt == 0) continue;
        uint8_t before = 0xFF;
        ssize_t n = pread(fd, &before, 1, static_cast<off_t>(slot.insertAt - 1));
        if (n != 1) {
            int code = n < 0 ? errno : EIO;
            return Status::failure(ErrorKind::Io,
                                   std::string("cannot read back: ") + std::strerror(code));
        }
        if (before == 0) --slot.insertAt;
    }
    return layout;
}

}  // namespace kestrel::hevc
