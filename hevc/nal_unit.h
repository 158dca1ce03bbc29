// SPDX-License-Identifier: Apache-2.0
// One HEVC NAL unit as the stream readers hand it on, and the few unit types
// that matter for finding HDR10+ metadata and the order pictures are shown in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrel::hevc {

namespace nal {
constexpr uint8_t kRaslN = 8;  // random-access skipped leading pictures
constexpr uint8_t kRaslR = 9;
constexpr uint8_t kReservedVclN14 = 14;  // last of the types whose even values mark
                                         // sub-layer non-reference pictures
constexpr uint8_t kBlaWLp = 16;          // first intra random access point type
constexpr uint8_t kIdrWRadl = 19;
constexpr uint8_t kIdrNLp = 20;
constexpr uint8_t kCra = 21;
constexpr uint8_t kLastIrap = 23;  // 22 and 23 are reserved IRAP types
constexpr uint8_t kLastVcl = 31;
constexpr uint8_t kVps = 32;
constexpr uint8_t kSps = 33;
constexpr uint8_t kPps = 34;
constexpr uint8_t kEndOfSequence = 36;
constexpr uint8_t kEndOfBitstream = 37;
constexpr uint8_t kPrefixSei = 39;
constexpr uint8_t kHeaderSize = 2;
}  // namespace nal

// A view of one NAL unit's bytes as stored (emulation-prevention bytes still
// in place), header included. `offset` is where the header's first byte sits
// in the input, for messages. A reader may hand on only the first bytes of a
// unit whose body nobody needs (slice data): `complete` says whether `size`
// covers the whole unit.
struct NalUnit {
    const uint8_t* data;
    size_t size;
    uint64_t offset;
    bool complete;

    uint8_t type() const { return static_cast<uint8_t>((data[0] >> 1) & 0x3f); }
    uint8_t layerId() const { return static_cast<uint8_t>(((data[0] & 1) << 5) | (data[1] >> 3)); }
    uint8_t temporalIdPlus1() const { return static_cast<uint8_t>(data[1] & 7); }
};

// How many leading bytes of a unit of this type the readers must keep. Slices
// are only read up to their picture order count, parameter sets and SEI whole.
size_t bytesNeeded(uint8_t type);

// Removes emulation-prevention bytes: every 0x03 that follows two zero bytes
// inside a unit. Replaces the contents of `rbsp`.
void unescape(const uint8_t* data, size_t size, std::vector<uint8_t>& rbsp);

}  // namespace kestrel::hevc
