// SPDX-License-Identifier: Apache-2.0
// Invariant checks of the fuzz targets: a broken invariant is a finding just
// like a crash, so it aborts with the condition and the place, and libFuzzer
// saves the input.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                      \
    do {                                                                                      \
        if (!(cond)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                     \
        }                                                                                     \
    } while (0)

// Reads little-endian fields off the fuzzer's bytes; past the end it yields
// zeros, so every input is a complete (if short) script.
class ByteReader {
public:
    ByteReader(const unsigned char* data, size_t size) : mData(data), mSize(size) {}
    bool empty() const { return mPos >= mSize; }
    unsigned char u8() { return mPos < mSize ? mData[mPos++] : 0; }
    unsigned int u32() {
        unsigned int v = 0;
        for (int i = 0; i < 4; i++) v |= static_cast<unsigned int>(u8()) << (8 * i);
        return v;
    }
    unsigned long long u64() {
        unsigned long long lo = u32();
        unsigned long long hi = u32();
        return lo | (hi << 32);
    }
    // Copies up to n bytes into dst, zero-filling what the input lacks.
    void bytes(void* dst, size_t n) {
        unsigned char* out = static_cast<unsigned char*>(dst);
        for (size_t i = 0; i < n; i++) out[i] = u8();
    }

private:
    const unsigned char* mData;
    size_t mSize;
    size_t mPos = 0;
};
