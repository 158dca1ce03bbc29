#include "hevc/stream_rewrite.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "hevc/sei.h"
#include "hevc/sei_writer.h"

namespace kestrel::hevc {

namespace {

constexpr size_t kChunk = size_t{4} << 20;
constexpr uint8_t kFourByteStartCode[] = {0, 0, 0, 1};

Status ioError(const std::string& name, const char* what) {
    return Status::failure(ErrorKind::Io, name + ": " + what + ": " + std::strerror(errno));
}

// Input to output in large blocks, with the input position tracked so that
// edits land at the offsets the scan found.
class Copier {
public:
    Copier(const RewriteFiles& files, const std::function<void(uint64_t)>& progress)
        : mFiles(files), mProgress(progress), mBuffer(new uint8_t[kChunk]) {}

    uint64_t position() const { return mPosition; }
    uint64_t written() const { return mWritten; }

    Status copyTo(uint64_t end) { return advance(end, true); }
    Status skipTo(uint64_t end) { return advance(end, false); }

    // Everything left; returns the input's length.
    Status copyRest() {
        for (;;) {
            if (mAt == mHave) {
                Status s = fill();
                if (!s) return s;
                if (mHave == 0) return {};
            }
            Status s = put(mBuffer.get() + mAt, mHave - mAt);
            if (!s) return s;
            mPosition += mHave - mAt;
            mAt = mHave;
        }
    }

    Status put(const uint8_t* data, size_t size) {
        if (size == 0) return {};
        if (std::fwrite(data, 1, size, mFiles.output) != size)
            return ioError(mFiles.outputName, "cannot write");
        mWritten += size;
        return {};
    }

private:
    Status fill() {
        mAt = 0;
        mHave = std::fread(mBuffer.get(), 1, kChunk, mFiles.input);
        if (mHave == 0 && std::ferror(mFiles.input)) return ioError(mFiles.inputName, "cannot read");
        if (mProgress) mProgress(mPosition + mHave);
        return {};
    }

    Status advance(uint64_t end, bool copy) {
        while (mPosition < end) {
            if (mAt == mHave) {
                Status s = fill();
                if (!s) return s;
                if (mHave == 0)
                    return Status::failure(ErrorKind::Io,
                                           mFiles.inputName + ": ended at byte " +
                                               std::to_string(mPosition) +
                                               ", shorter than when it was scanned: did it "
                                               "change meanwhile?");
            }
            size_t n = static_cast<size_t>(std::min<uint64_t>(mHave - mAt, end - mPosition));
            if (copy) {
                Status s = put(mBuffer.get() + mAt, n);
                if (!s) return s;
            }
            mAt += n;
            mPosition += n;
        }
        return {};
    }

    const RewriteFiles& mFiles;
    const std::function<void(uint64_t)>& mProgress;
    std::unique_ptr<uint8_t[]> mBuffer;
    size_t mHave = 0;
    size_t mAt = 0;
    uint64_t mPosition = 0;  // input offset of mBuffer[mAt]
    uint64_t mWritten = 0;
};

}  // namespace

Result<RewriteSummary> rewriteWithT35(const RewriteFiles& files, const PictureLayout& layout,
                                      const PayloadOf& payloadOf,
                                      const std::function<void(uint64_t)>& progress) {
    if (std::fseek(files.input, 0, SEEK_SET) != 0)
        return ioError(files.inputName, "cannot go back to its start");
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
            if (s) s = copier.skipTo(rewrite.end);
            if (s) s = copier.put(rewrite.replacement.data(), rewrite.replacement.size());
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
            unit = prefixSeiUnit({message}, slot.temporalIdPlus1);
            lastPayload = &payload;
            lastTemporalId = slot.temporalIdPlus1;
        }
        s = copier.put(kFourByteStartCode, sizeof kFourByteStartCode);
        if (s) s = copier.put(unit.data(), unit.size());
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
