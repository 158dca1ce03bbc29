// SPDX-License-Identifier: Apache-2.0
// Splits an HEVC Annex B byte stream into NAL units as its bytes arrive, in
// chunks of any size, so that a film of any length streams through a fixed
// amount of memory.
//
// A unit starts after each start code 00 00 01; a fourth leading zero (the
// 4-byte form) and any zero bytes before the next start code are trailing
// padding, not part of the unit. Of each unit only the bytes its type needs
// are kept (bytesNeeded), the rest is skipped unread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

#include "hevc/display_order.h"
#include "hevc/nal_unit.h"

namespace kestrel::hevc {

// Parameter sets and SEI units are kept whole up to this size.
constexpr size_t kMaxKeptUnitBytes = size_t{16} << 20;

class AnnexBSplitter {
public:
    // Returns false to stop the splitting.
    using Sink = std::function<bool(const NalUnit&)>;
    explicit AnnexBSplitter(Sink sink) : mSink(std::move(sink)) {}

    // Returns false once the sink has stopped.
    bool feed(const uint8_t* data, size_t size);
    // Ends the last unit.
    bool finish();

    uint64_t unitCount() const { return mUnits; }
    uint64_t bytesSeen() const { return mPosition; }

private:
    void append(const uint8_t* data, size_t size);
    bool endUnit();

    Sink mSink;
    std::vector<uint8_t> mUnit;
    size_t mKeep = 0;
    uint64_t mUnitOffset = 0;
    uint64_t mPosition = 0;  // input offset of the next byte fed
    uint64_t mUnits = 0;
    unsigned mZeros = 0;  // zero bytes just before the next byte, up to 2
    bool mInUnit = false;
    bool mComplete = true;
    bool mStopped = false;
};

// Reads an Annex B stream from `file` in chunks, hands every picture to
// `sink` in display order and reports `progress` (bytes read so far) after
// each chunk. Returns the first damage or read error (ErrorKind::Io with the
// errno as code(); a stream without a start code is ErrorKind::Format), its
// byte offset in the location; the pictures before it have reached the sink.
Status readAnnexB(std::FILE* file, const PictureSequencer::Sink& sink,
                  const std::function<void(uint64_t)>& progress);

}  // namespace kestrel::hevc
