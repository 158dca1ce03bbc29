// SPDX-License-Identifier: Apache-2.0
// Reads the bits of a raw byte sequence payload (emulation-prevention bytes
// already removed), most significant bit first. Reading past the end yields
// zeros and marks the reader exhausted, so a parser can read a whole header
// and check once at the end instead of after every element.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrel::hevc {

class RbspBits {
public:
    RbspBits(const uint8_t* data, size_t size) : mData(data), mSize(size) {}

    uint32_t bits(unsigned count) {  // count <= 32
        uint32_t value = 0;
        for (unsigned i = 0; i < count; ++i) value = (value << 1) | bit();
        return value;
    }

    uint32_t bit() {
        if (mPos >= mSize * 8) {
            mExhausted = true;
            return 0;
        }
        uint32_t value = (mData[mPos >> 3] >> (7 - (mPos & 7))) & 1u;
        ++mPos;
        return value;
    }

    void skip(size_t count) {
        if (count > mSize * 8 - (mPos < mSize * 8 ? mPos : mSize * 8)) {
            mPos = mSize * 8;
            mExhausted = true;
            return;
        }
        mPos += count;
    }

    // Exp-Golomb ue(v). More than 31 leading zeros cannot code a 32-bit value;
    // such a run marks the reader exhausted instead of overflowing.
    uint32_t ue() {
        unsigned zeros = 0;
        while (bit() == 0) {
            if (mExhausted || ++zeros > 31) {
                mExhausted = true;
                return 0;
            }
        }
        if (zeros == 0) return 0;
        return static_cast<uint32_t>((uint64_t{1} << zeros) - 1 + bits(zeros));
    }

    bool exhausted() const { return mExhausted; }

private:
    const uint8_t* mData;
    size_t mSize;
    size_t mPos = 0;
    bool mExhausted = false;
};

}  // namespace kestrel::hevc
