// SPDX-License-Identifier: Apache-2.0
#include "hevc/stream_rewrite.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>

#include "hevc/sei.h"
#include "hevc/sei_writer.h"

namespace kestrel::hevc {

namespace {

constexpr size_t kChunk = size_t{4} << 20;
constexpr uint8_t kFourByteStartCode[] = {0, 0, 0, 1};

Status ioError(const std::string& name, const char* what, int code) {
    return Status::failure(ErrorKind::Io, name + ": " + what + ": " + std::strerror(code));
}

// Input to output with the input position tracked, so that edits land at the
// offsets the scan found. Works on the descriptors: the unchanged ranges,
// nearly all of the stream, are copied by the kernel from page cache to page
// cache (copy_file_range), without passing through this process; where the
// kernel or the file systems cannot, through a buffer.
class Copier {
public:
    Copier(const RewriteFiles& files, const std::function<void(uint64_t)>& progress)
        : mFiles(files),
          mIn(fileno(files.input)),
          mOut(fileno(files.output)),
          mProgress(progress) {}

    uint64_t position() const { return mPosition; }
    uint64_t written() const { return mWritten; }

    // Copies up to input offset `end`; an input that ends before is an error.
    Status copyTo(uint64_t end) {
        bool ended = false;
        Status s = copy(end, ended);
        if (s && ended)
            return Status::failure(ErrorKind::Io,
                                   mFiles.inputName + ": ended at byte " +
                                       std::to_string(mPosition) +
                                       ", shorter than when it was scanned: did it change "
                                       "meanwhile?");
        return s;
    }
    // The bytes up to `end` are left out (the caller checks the length at the end).
    void skipTo(uint64_t end) { mPosition = end; }
    // Everything left.
    Status copyRest() {
        bool ended = false;
        return copy(UINT64_MAX, ended);
    }

    Status put(const uint8_t* data, size_t size) {
        while (size > 0) {
            ssize_t n = write(mOut, data, size);
            if (n < 0) {
                if (errno == EINTR) continue;
                return ioError(mFiles.outputName, "cannot write", errno);
            }
            data += n;
            size -= static_cast<size_t>(n);
            mWritten += static_cast<uint64_t>(n);
        }
        return {};
    }

private:
    Status copy(uint64_t end, bool& ended) {
        while (mPosition < end) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(end - mPosition, kChunk));
            ssize_t got = -1;
#ifdef __linux__
            if (mKernelCopy) {
                off_t from = static_cast<off_t>(mPosition);
                got = copy_file_range(mIn, &from, mOut, nullptr, n, 0);
                if (got < 0 && errno != EINTR) {
                    // Not between these files (another file system, an old
                    // kernel, a special file): copy through the buffer,
                    // which reports real read and write errors itself.
                    mKernelCopy = false;
                }
                if (got < 0) continue;
            }
#endif
            if (got < 0) {
                if (!mBuffer) mBuffer.reset(new uint8_t[kChunk]);
                got = pread(mIn, mBuffer.get(), n, static_cast<off_t>(mPosition));
                if (got < 0) {
                    if (errno == EINTR) continue;
                    return ioError(mFiles.inputName, "cannot read", errno);
                }
                Status s = put(mBuffer.get(), static_cast<size_t>(got));
                if (!s) return s;
            } else {
                mWritten += static_cast<uint64_t>(got);
            }
            if (got == 0) {
                ended = true;
                return {};
            }
            mPosition += static_cast<uint64_t>(got);
            if (mProgress) mProgress(mPosition);
        }
        return {};
    }

    const RewriteFiles& mFiles;
    int mIn;
    int mOut;
    const std::function<void(uint64_t)>& mProgress;
    std::unique_ptr<uint8_t[]> mBuffer;
    bool mKernelCopy = true;
    uint64_t mPosition = 0;  // input offset of the next byte to copy
    uint64_t mWritten = 0;
};

}  // namespace

Result<RewriteSummary> rewriteWithT35(const RewriteFiles& files, const PictureLayout& layout,
                                      const PayloadOf& payloadOf,
                                      const std::function<void(uint64_t)>& progress) {
    // What the stream's FILE holds is written first; from here on, the
    // descriptor.
    if (std::fflush(files.output) != 0) return ioError(files.outputName, "cannot write", errno);
    Copier copier(files, progress);
    RewriteSummary summary;

    // The unit last built, reused while the payload and temporal layer stay.
    const std::vector<uint8_t>* lastPayload = nullptr;
    uint8_t lastTemporalId = 0;
    std::vector<uint8_t> unit;

    // Pictures and SEI rewrites are each in stream order, and never overlap
    // (a rewrite ends with its unit, an insertion starts at a start code):
    // walk both together.
    size_t r = 0;
    auto applyRewritesBefore = [&](uint64_t position) -> Status {
        for (; r < layout.seiRewrites.size() && layout.seiRewrites[r].begin < position; ++r) {
            const SeiRewrite& rewrite = layout.seiRewrites[r];
            Status s = copier.copyTo(rewrite.begin);
            if (!s) return s;
            copier.skipTo(rewrite.end);
            s = copier.put(rewrite.replacement.data(), rewrite.replacement.size());
            if (!s) return s;
        }
        return {};
    };
    for (const PictureSlot& slot : layout.pictures) {
        if (!slot.displayIndex) continue;
        Status s = applyRewritesBefore(slot.insertAt + 1);
        if (s) s = copier.copyTo(slot.insertAt);
        if (!s) return s;
        const std::vector<uint8_t>& payload = payloadOf(*slot.displayIndex);
        if (&payload != lastPayload || slot.temporalIdPlus1 != lastTemporalId) {
            SeiMessage message{kSeiUserDataRegisteredT35, payload.data(), payload.size()};
            std::vector<uint8_t> sei = prefixSeiUnit({message}, slot.temporalIdPlus1);
            unit.assign(std::begin(kFourByteStartCode), std::end(kFourByteStartCode));
            unit.insert(unit.end(), sei.begin(), sei.end());
            lastPayload = &payload;
            lastTemporalId = slot.temporalIdPlus1;
        }
        s = copier.put(unit.data(), unit.size());
        if (!s) return s;
        ++summary.unitsAdded;
    }
    Status s = applyRewritesBefore(UINT64_MAX);
    if (s) s = copier.copyRest();
    if (!s) return s;
    if (copier.position() != layout.bytes)
        return Status::failure(ErrorKind::Io, files.inputName + ": is " +
                                                  std::to_string(copier.position()) +
                                                  " bytes long, not " +
                                                  std::to_string(layout.bytes) +
                                                  " as when it was scanned: did it change "
                                                  "meanwhile?");
    summary.bytesWritten = copier.written();
    return summary;
}

}  // namespace kestrel::hevc
