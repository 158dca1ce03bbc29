// SPDX-License-Identifier: Apache-2.0
// Bit-level reading and writing, most significant bit first, as the T.35
// payload is laid out. Internal to the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrel::hdr10plus {

// Reads up to 32 bits at a time from a buffer it never reads past.
class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : mData(data), mSize(size) {}

    size_t position() const { return mPosition; }  // in bits from the start
    // Bits not yet read; computed so that no size overflows it.
    size_t bitsLeft() const { return (mSize - mPosition / 8) * 8 - mPosition % 8; }
    bool atByteBoundary() const { return mPosition % 8 == 0; }
    size_t bytesLeft() const { return mSize - (mPosition + 7) / 8; }

    // Reads `width` bits (at most 32) into `out`; false, reading nothing,
    // when fewer are left.
    bool read(unsigned width, uint32_t& out) {
        if (width > bitsLeft()) return false;
        uint32_t value = 0;
        for (unsigned i = 0; i < width; i++) {
            const uint8_t byte = mData[mPosition / 8];
            const unsigned bit = (byte >> (7 - mPosition % 8)) & 1u;
            value = (value << 1) | bit;
            mPosition++;
        }
        out = value;
        return true;
    }

private:
    const uint8_t* mData;
    size_t mSize;
    size_t mPosition = 0;
};

// Appends bits to a byte vector; the last byte is completed with zeros.
class BitWriter {
public:
    void write(unsigned width, uint32_t value) {
        for (unsigned i = width; i-- > 0;) {
            if (mUsed % 8 == 0) mBytes.push_back(0);
            if ((value >> i) & 1u) mBytes.back() |= static_cast<uint8_t>(0x80u >> (mUsed % 8));
            mUsed++;
        }
    }
    std::vector<uint8_t> take() { return std::move(mBytes); }

private:
    std::vector<uint8_t> mBytes;
    size_t mUsed = 0;  // bits written
};

}  // namespace kestrel::hdr10plus
