// SPDX-License-Identifier: Apache-2.0
// Builds small HEVC Annex B streams bit by bit, for tests that need exact
// control over picture types, order counts and SEI messages.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace kestrel::hevc::test {

class BitWriter {
public:
    void bits(uint32_t value, unsigned count) {
        for (unsigned i = count; i-- > 0;) bit((value >> i) & 1u);
    }
    void bit(uint32_t b) {
        if (mUsed == 0) mBytes.push_back(0);
        if (b) mBytes.back() |= static_cast<uint8_t>(0x80u >> mUsed);
        mUsed = (mUsed + 1) % 8;
    }
    void ue(uint32_t value) {
        uint64_t coded = uint64_t{value} + 1;
        unsigned length = 0;
        while ((coded >> length) > 1) ++length;
        bits(0, length);
        bits(static_cast<uint32_t>(coded), length + 1);
    }
    // rbsp_trailing_bits: a one, then zeros to the byte boundary.
    std::vector<uint8_t> finish() {
        bit(1);
        while (mUsed != 0) bit(0);
        return mBytes;
    }

private:
    std::vector<uint8_t> mBytes;
    unsigned mUsed = 0;
};

// Inserts emulation-prevention bytes: 03 after every 00 00 that precedes a
// byte of 0 to 3.
inline std::vector<uint8_t> escape(const std::vector<uint8_t>& rbsp) {
    std::vector<uint8_t> out;
    unsigned zeros = 0;
    for (uint8_t byte : rbsp) {
        if (zeros >= 2 && byte <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        out.push_back(byte);
        zeros = byte == 0 ? zeros + 1 : 0;
    }
    return out;
}

inline std::vector<uint8_t> nalUnit(uint8_t type, const std::vector<uint8_t>& rbspBody,
                                    uint8_t temporalIdPlus1 = 1) {
    std::vector<uint8_t> rbsp = {static_cast<uint8_t>(type << 1), temporalIdPlus1};
    rbsp.insert(rbsp.end(), rbspBody.begin(), rbspBody.end());
    return escape(rbsp);
}

// A sequence parameter set with order counts of `pocLsbBits` bits and at
// most `maxReorder` pictures reordered.
inline std::vector<uint8_t> sps(unsigned pocLsbBits, unsigned maxReorder) {
    BitWriter w;
    w.bits(0, 4);  // sps_video_parameter_set_id
    w.bits(0, 3);  // one sub-layer
    w.bit(1);      // temporal id nesting
    w.bits(0, 32);
    w.bits(0, 32);
    w.bits(0, 32);  // profile_tier_level, 96 bits
    w.ue(0);        // sps id
    w.ue(1);        // 4:2:0
    w.ue(64);
    w.ue(64);  // width, height
    w.bit(0);  // no conformance window
    w.ue(2);
    w.ue(2);  // 10-bit
    w.ue(pocLsbBits - 4);
    w.bit(1);  // ordering info for each sub-layer
    w.ue(4);
    w.ue(maxReorder);
    w.ue(0);
    return nalUnit(33, w.finish());
}

inline std::vector<uint8_t> pps(bool outputFlagPresent) {
    BitWriter w;
    w.ue(0);  // pps id
    w.ue(0);  // sps id
    w.bit(0);
    w.bit(outputFlagPresent ? 1 : 0);
    w.bits(0, 3);
    return nalUnit(34, w.finish());
}

// The first slice segment of a picture of NAL type `type`.
inline std::vector<uint8_t> slice(uint8_t type, unsigned pocLsb, unsigned pocLsbBits,
                                  bool outputFlagPresent = false, bool output = true,
                                  uint8_t temporalIdPlus1 = 1) {
    BitWriter w;
    w.bit(1);                                // first_slice_segment_in_pic_flag
    if (type >= 16 && type <= 23) w.bit(0);  // no_output_of_prior_pics_flag
    w.ue(0);                                 // pps id
    w.ue(1);                                 // slice type P
    if (outputFlagPresent) w.bit(output ? 1 : 0);
    if (type != 19 && type != 20) w.bits(pocLsb, pocLsbBits);
    w.bits(0x5a5a, 16);  // some slice data
    return nalUnit(type, w.finish(), temporalIdPlus1);
}

// A later slice segment of the same picture.
inline std::vector<uint8_t> laterSlice(uint8_t type) {
    BitWriter w;
    w.bit(0);
    w.bits(0x1234, 16);
    return nalUnit(type, w.finish());
}

// An HDR10+ T.35 payload whose byte after the header is `tag`.
inline std::vector<uint8_t> hdr10plusPayload(uint8_t tag) {
    return {0xB5, 0x00, 0x3C, 0x00, 0x01, 0x04, 0x01, tag, 0x00, 0x00};
}

// A prefix SEI unit holding the given (type, payload) messages.
inline std::vector<uint8_t> sei(
    std::initializer_list<std::pair<unsigned, std::vector<uint8_t>>> messages) {
    std::vector<uint8_t> body;
    for (const auto& [type, payload] : messages) {
        for (unsigned t = type;; t -= 255) {
            if (t < 255) {
                body.push_back(static_cast<uint8_t>(t));
                break;
            }
            body.push_back(0xFF);
        }
        for (size_t s = payload.size();; s -= 255) {
            if (s < 255) {
                body.push_back(static_cast<uint8_t>(s));
                break;
            }
            body.push_back(0xFF);
        }
        body.insert(body.end(), payload.begin(), payload.end());
    }
    body.push_back(0x80);
    return nalUnit(39, body);
}

inline void append(std::vector<uint8_t>& stream, const std::vector<uint8_t>& unit,
                   bool fourByteStartCode = false) {
    if (fourByteStartCode) stream.push_back(0);
    stream.insert(stream.end(), {0, 0, 1});
    stream.insert(stream.end(), unit.begin(), unit.end());
}

}  // namespace kestrel::hevc::test
