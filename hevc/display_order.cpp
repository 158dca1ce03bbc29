// SPDX-License-Identifier: Apache-2.0
#include "hevc/display_order.h"

#include <algorithm>
#include <vector>

#include "hevc/sei.h"

namespace kestrel::hevc {

namespace {

// The decoded picture buffer holds at most 16 pictures, so no conforming
// stream reorders more; a larger value would only let the queue grow.
constexpr uint32_t kMaxReorder = 16;

bool isIrap(uint8_t type) { return type >= nal::kBlaWLp && type <= nal::kLastIrap; }
bool isRasl(uint8_t type) { return type == nal::kRaslN || type == nal::kRaslR; }
// RADL and RASL pictures (6 to 9) and sub-layer non-reference pictures (the
// even types up to 14) never anchor the order count of later pictures.
bool anchorsOrderCount(uint8_t type) {
    if (type >= 6 && type <= 9) return false;
    if (type <= nal::kReservedVclN14 && type % 2 == 0) return false;
    return true;
}

}  // namespace

bool PictureSequencer::fail(uint64_t offset, std::string message) {
    return fail(offset, Status::failure(ErrorKind::Damaged, std::move(message)));
}

bool PictureSequencer::fail(uint64_t offset, const Status& cause) {
    Location where = cause.where();
    where.byteOffset = offset;
    mError = Status::failure(cause.kind(), cause.message(), std::move(where));
    return false;
}

bool PictureSequencer::push(const NalUnit& unit) {
    if (!mError.ok()) return false;
    if (unit.size < nal::kHeaderSize) return true;  // nothing but a stray byte
    uint8_t type = unit.type();
    bool needed =
        type <= nal::kLastVcl || type == nal::kSps || type == nal::kPps || type == nal::kPrefixSei;
    if (!needed) {
        if (type == nal::kEndOfSequence || type == nal::kEndOfBitstream) {
            flush();
            mSequenceStart = true;
        }
        return true;
    }
    // Units of other layers (scalable or multi-view extensions) describe
    // pictures a single-layer player does not show.
    if (unit.layerId() != 0) return true;
    if ((unit.data[0] & 0x80) != 0 || unit.temporalIdPlus1() == 0)
        return fail(unit.offset, "invalid NAL unit header (type " + std::to_string(type) + ")");
    // A reader keeps parameter sets and SEI whole up to a generous size; one
    // larger than that is not a stream this reader can vouch for.
    if (!unit.complete && type > nal::kLastVcl)
        return fail(unit.offset,
                    "NAL unit of type " + std::to_string(type) + " is too large to read");
    if (type == nal::kPrefixSei) return readSei(unit);
    if (type <= nal::kLastVcl) return startPicture(unit);

    unescape(unit.data, unit.size, mRbsp);
    if (type == nal::kSps) {
        auto sps = parseSps(mRbsp.data(), mRbsp.size());
        if (!sps) return fail(unit.offset, sps.status());
        mSps[sps->id] = *sps;
    } else {
        auto pps = parsePps(mRbsp.data(), mRbsp.size());
        if (!pps) return fail(unit.offset, pps.status());
        mPps[pps->id] = *pps;
    }
    return true;
}

bool PictureSequencer::readSei(const NalUnit& unit) {
    unescape(unit.data, unit.size, mRbsp);
    std::vector<SeiMessage> messages;
    Status whole = readSeiMessages(mRbsp.data(), mRbsp.size(), messages);
    for (const SeiMessage& message : messages) {
        if (message.type == kSeiUserDataRegisteredT35 &&
            isHdr10PlusT35(message.payload, message.size))
            addPayload(message.payload, message.size, unit.offset);
    }
    if (!whole) return fail(unit.offset, whole);
    return true;
}

void PictureSequencer::addPayload(const uint8_t* data, size_t size, uint64_t offset) {
    mCurrent = std::make_shared<const T35Payload>(
        T35Payload{std::vector<uint8_t>(data, data + size), offset});
    ++mPendingMessages;
}

bool PictureSequencer::startPicture(const NalUnit& unit) {
    uint8_t type = unit.type();
    // Only the first slice segment of a picture is read; the others add nothing.
    unescape(unit.data, unit.size, mRbsp);
    if (!isFirstSliceSegment(mRbsp.data(), mRbsp.size())) return true;
    auto ppsId = slicePpsId(mRbsp.data(), mRbsp.size(), type);
    if (!ppsId) {
        Location where;
        where.key = "slice_segment_header";
        return fail(unit.offset,
                    Status::failure(ErrorKind::Truncated, "slice header cut short", where));
    }
    auto pps = mPps.find(*ppsId);
    if (pps == mPps.end())
        return fail(unit.offset, "slice refers to picture parameter set " + std::to_string(*ppsId) +
                                     ", which the stream has not given");
    auto sps = mSps.find(pps->second.spsId);
    if (sps == mSps.end())
        return fail(unit.offset, "picture parameter set " + std::to_string(*ppsId) +
                                     " refers to sequence parameter set " +
                                     std::to_string(pps->second.spsId) +
                                     ", which the stream has not given");
    auto info = parseFirstSliceHeader(mRbsp.data(), mRbsp.size(), type, pps->second, sps->second);
    if (!info) return fail(unit.offset, info.status());

    Picture picture{mPictures++, unit.offset, mCurrent, mPendingMessages};
    mPendingMessages = 0;

    // Picture order count: the stream codes only its low bits; the high part
    // follows the previous anchoring picture, stepping by one period when the
    // low bits wrap in either direction.
    bool newSequence = isIrap(type) && (type < nal::kCra || mSequenceStart);
    int64_t maxLsb = int64_t{1} << sps->second.pocLsbBits;
    int64_t lsb = info->pocLsb;
    int64_t msb = 0;
    if (!newSequence) {
        int64_t prevLsb = mPrevTid0Poc & (maxLsb - 1);
        int64_t prevMsb = mPrevTid0Poc - prevLsb;
        if (lsb < prevLsb && prevLsb - lsb >= maxLsb / 2)
            msb = prevMsb + maxLsb;
        else if (lsb > prevLsb && lsb - prevLsb > maxLsb / 2)
            msb = prevMsb - maxLsb;
        else
            msb = prevMsb;
    }
    int64_t poc = msb + lsb;
    if (unit.temporalIdPlus1() == 1 && anchorsOrderCount(type)) mPrevTid0Poc = poc;
    mSequenceStart = false;

    if (newSequence) {
        flush();
        mMaxReorder = std::min(sps->second.maxReorder, kMaxReorder);
    }
    if (isIrap(type)) mSkipRasl = newSequence && type <= nal::kCra;
    if (!info->outputFlag || (isRasl(type) && mSkipRasl)) return true;
    mQueue.emplace(poc, std::move(picture));
    emitAboveReorderLimit();
    return true;
}

void PictureSequencer::emitAboveReorderLimit() {
    while (mQueue.size() > mMaxReorder) {
        auto first = mQueue.begin();
        Picture picture = std::move(first->second);
        mQueue.erase(first);
        mSink(std::move(picture));
    }
}

void PictureSequencer::flush() {
    for (auto& entry : mQueue) mSink(std::move(entry.second));
    mQueue.clear();
}

void PictureSequencer::finish() {
    flush();
    // Metadata with no picture after it is metadata lost: the stream was cut
    // between an SEI and its picture.
    if (mError.ok() && mPendingMessages > 0) {
        fail(mCurrent->offset,
             Status::failure(ErrorKind::Truncated,
                             "the stream ends after an HDR10+ message, before its picture"));
    }
}

}  // namespace kestrel::hevc
