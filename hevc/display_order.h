// SPDX-License-Identifier: Apache-2.0
// Gathers the HDR10+ T.35 payloads of an HEVC stream picture by picture and
// hands the pictures on in the order a player shows them.
//
// NAL units arrive in decoding order. Prefix SEI messages belong to the next
// picture that starts (a slice segment with first_slice_segment_in_pic_flag).
// Metadata persists in decoding order: a picture without an HDR10+ message of
// its own is shown with the most recent one before it, as decoders attach it
// (streams that send metadata only when it changes rely on this). Each
// picture says whether its metadata is its own or carried over.
// Display order is picture order count order within each coded video
// sequence (from an IDR, a BLA, or a CRA that starts the stream or follows an
// end of sequence, to the next such picture). As a decoder does, a picture
// leaves the reorder queue as soon as more pictures wait than the sequence
// parameter set allows to be reordered, so the queue stays a few pictures
// long however long the stream. Pictures a player never shows are dropped
// with their metadata: those with pic_output_flag 0, and the skipped leading
// pictures (RASL) of a CRA or BLA that starts a sequence.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/status.h"
#include "hevc/nal_unit.h"
#include "hevc/parameter_sets.h"

namespace kestrel::hevc {

struct T35Payload {
    std::vector<uint8_t> bytes;  // from the country code on
    uint64_t offset;             // of the NAL unit (or container block) that carried it
};

struct Picture {
    uint64_t decodeIndex;  // among all pictures of the stream, shown or not
    uint64_t offset;       // of its first slice segment's NAL unit
    // The metadata in effect for this picture; null before the stream's first.
    std::shared_ptr<const T35Payload> hdr10plus;
    // How many HDR10+ messages the picture carries itself (0: carried over;
    // with several, the last one is in effect).
    unsigned ownMessages = 0;
};

class PictureSequencer {
public:
    using Sink = std::function<void(Picture&&)>;
    explicit PictureSequencer(Sink sink) : mSink(std::move(sink)) {}

    // Takes the next NAL unit in decoding order. Returns false on the first
    // unit that cannot be read; later calls then do nothing. That failure is
    // error(): its location's byte offset is where the unit starts in the
    // input, its sentence does not repeat it ("sequence parameter set cut
    // short"), its kind is Truncated or OutOfRange where the unit says so
    // and Damaged otherwise.
    bool push(const NalUnit& unit);

    // A T.35 payload carried beside the stream (a container's block
    // addition): it belongs to the next picture, as a prefix SEI would.
    void addPayload(const uint8_t* data, size_t size, uint64_t offset);

    // Hands on every picture still waiting, in display order. Call it at the
    // end of the input, and after an error too: the pictures before the
    // damage are still good.
    void finish();

    // Success until a unit cannot be read.
    const Status& error() const { return mError; }

    // How many pictures have started so far, shown or not: the decodeIndex
    // the next picture will have.
    uint64_t picturesStarted() const { return mPictures; }

private:
    bool fail(uint64_t offset, std::string message);
    bool fail(uint64_t offset, const Status& cause);
    bool readSei(const NalUnit& unit);
    bool startPicture(const NalUnit& unit);
    void flush();
    void emitAboveReorderLimit();

    Sink mSink;
    Status mError;
    std::vector<uint8_t> mRbsp;
    std::map<uint32_t, SequenceParameters> mSps;
    std::map<uint32_t, PictureParameters> mPps;
    std::shared_ptr<const T35Payload> mCurrent;  // the latest in decoding order
    unsigned mPendingMessages = 0;
    std::multimap<int64_t, Picture> mQueue;  // by picture order count
    uint32_t mMaxReorder = 0;
    uint64_t mPictures = 0;
    int64_t mPrevTid0Poc = 0;
    bool mSequenceStart = true;  // the next CRA starts a new coded video sequence
    bool mSkipRasl = false;      // the current sequence's leading RASL pictures are not shown
};

}  // namespace kestrel::hevc
