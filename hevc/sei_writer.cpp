// SPDX-License-Identifier: Apache-2.0
#include "hevc/sei_writer.h"

#include "hevc/nal_unit.h"

namespace kestrel::hevc {

void escapeInto(const uint8_t* rbsp, size_t size, std::vector<uint8_t>& out, unsigned& zeros) {
    for (size_t i = 0; i < size; ++i) {
        uint8_t byte = rbsp[i];
        if (zeros >= 2 && byte <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        out.push_back(byte);
        zeros = byte == 0 ? zeros + 1 : 0;
    }
}

namespace {

// A type or size: as many FF bytes as 255 fits, then the remainder.
void putVarByte(std::vector<uint8_t>& rbsp, size_t value) {
    for (; value >= 255; value -= 255) rbsp.push_back(0xFF);
    rbsp.push_back(static_cast<uint8_t>(value));
}

}  // namespace

std::vector<uint8_t> prefixSeiUnit(const std::vector<SeiMessage>& messages,
                                   uint8_t temporalIdPlus1) {
    std::vector<uint8_t> rbsp;
    size_t total = nal::kHeaderSize + 1;
    for (const SeiMessage& m : messages) total += m.size + 8;
    rbsp.reserve(total);
    rbsp.push_back(static_cast<uint8_t>(nal::kPrefixSei << 1));
    rbsp.push_back(temporalIdPlus1);
    for (const SeiMessage& m : messages) {
        putVarByte(rbsp, m.type);
        putVarByte(rbsp, m.size);
        rbsp.insert(rbsp.end(), m.payload, m.payload + m.size);
    }
    rbsp.push_back(0x80);  // rbsp_trailing_bits
    std::vector<uint8_t> unit;
    unit.reserve(total + total / 64 + 4);
    unsigned zeros = 0;
    escapeInto(rbsp.data(), rbsp.size(), unit, zeros);
    return unit;
}

}  // namespace kestrel::hevc
