// SPDX-License-Identifier: Apache-2.0
#include "hevc/annexb.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

namespace kestrel::hevc {

void AnnexBSplitter::append(const uint8_t* data, size_t size) {
    if (!mInUnit || size == 0) return;  // bytes before the first start code
    if (mUnit.empty())
        mKeep =
            std::min(bytesNeeded(static_cast<uint8_t>((data[0] >> 1) & 0x3f)), kMaxKeptUnitBytes);
    size_t room = mKeep - mUnit.size();
    if (size > room) {
        mComplete = false;
        size = room;
    }
    mUnit.insert(mUnit.end(), data, data + size);
}

bool AnnexBSplitter::endUnit() {
    if (!mInUnit) return true;
    // Zero bytes at the end are padding or the first byte of a 4-byte start
    // code: every unit ends with a stop bit, never with a zero byte.
    if (mComplete) {
        while (!mUnit.empty() && mUnit.back() == 0) mUnit.pop_back();
    }
    bool go = true;
    if (!mUnit.empty()) {
        ++mUnits;
        go = mSink(NalUnit{mUnit.data(), mUnit.size(), mUnitOffset, mComplete});
    }
    mUnit.clear();
    mComplete = true;
    return go;
}

bool AnnexBSplitter::feed(const uint8_t* data, size_t size) {
    if (mStopped) return false;
    size_t i = 0;
    while (i < size) {
        // Every start code ends in a 01 byte; look for those and check the two
        // bytes before (possibly carried over from the previous chunk).
        const void* found = std::memchr(data + i, 1, size - i);
        if (!found) {
            append(data + i, size - i);
            unsigned zeros = 0;
            while (zeros < 2 && size - zeros > i && data[size - 1 - zeros] == 0) ++zeros;
            mZeros = (zeros == size - i) ? std::min(2u, mZeros + zeros) : zeros;
            mPosition += size - i;
            return true;
        }
        size_t j = static_cast<size_t>(static_cast<const uint8_t*>(found) - data);
        unsigned zeros = 0;
        while (zeros < 2 && j - zeros > i && data[j - 1 - zeros] == 0) ++zeros;
        if (zeros == j - i) zeros = std::min(2u, zeros + mZeros);
        append(data + i, j - i);
        mPosition += j - i + 1;
        if (zeros >= 2) {
            if (!endUnit()) {
                mStopped = true;
                return false;
            }
            mInUnit = true;
            mUnitOffset = mPosition;
        } else {
            append(data + j, 1);
        }
        mZeros = 0;
        i = j + 1;
    }
    return true;
}

bool AnnexBSplitter::finish() {
    if (mStopped) return false;
    bool go = endUnit();
    mInUnit = false;
    return go;
}

Status readAnnexB(std::FILE* file, const PictureSequencer::Sink& sink,
                  const std::function<void(uint64_t)>& progress) {
    PictureSequencer sequencer(sink);
    AnnexBSplitter splitter([&](const NalUnit& unit) { return sequencer.push(unit); });
    constexpr size_t kChunk = size_t{1} << 20;
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[kChunk]);
    for (;;) {
        size_t got = std::fread(buffer.get(), 1, kChunk, file);
        if (got > 0 && !splitter.feed(buffer.get(), got)) break;
        if (progress) progress(splitter.bytesSeen());
        if (got < kChunk) {
            if (std::ferror(file)) {
                int code = errno;
                sequencer.finish();
                Location where;
                where.byteOffset = splitter.bytesSeen();
                return Status::failure(ErrorKind::Io,
                                       std::string("read error: ") + std::strerror(code), where)
                    .withCode(code);
            }
            splitter.finish();
            break;
        }
    }
    sequencer.finish();
    if (!sequencer.error().ok()) return sequencer.error();
    if (splitter.unitCount() == 0) {
        Location where;
        where.byteOffset = 0;
        return Status::failure(ErrorKind::Format, "no HEVC NAL unit found (no 00 00 01 start code)",
                               where);
    }
    return {};
}

}  // namespace kestrel::hevc
