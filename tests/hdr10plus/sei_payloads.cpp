// SPDX-License-Identifier: Apache-2.0
#include "hdr10plus/sei_payloads.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace kestrel::hdr10plus::test {

std::string realDataDir() { return KESTREL_HDR10PLUS_DIR; }

namespace {

constexpr unsigned kPrefixSei = 39;
constexpr unsigned kUserDataRegistered = 4;
const uint8_t kHeader[] = {0xB5, 0x00, 0x3C, 0x00, 0x01, 0x04};

// The NAL units between 00 00 01 start codes (a 4-byte start code is a zero
// byte more, which ends up trailing the unit before and is harmless here).
std::vector<std::vector<uint8_t>> nalUnits(const std::vector<uint8_t>& s) {
    std::vector<std::vector<uint8_t>> units;
    size_t start = std::string::npos;
    for (size_t i = 0; i + 2 < s.size(); i++) {
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) {
            if (start != std::string::npos) units.emplace_back(s.begin() + start, s.begin() + i);
            start = i + 3;
            i += 2;
        }
    }
    if (start != std::string::npos && start <= s.size()) {
        units.emplace_back(s.begin() + start, s.end());
    }
    return units;
}

// The unit's RBSP: every 00 00 03 stands for 00 00.
std::vector<uint8_t> unescape(const std::vector<uint8_t>& nal) {
    std::vector<uint8_t> out;
    unsigned zeros = 0;
    for (uint8_t b : nal) {
        if (zeros >= 2 && b == 3) {
            zeros = 0;
            continue;
        }
        zeros = b == 0 ? zeros + 1 : 0;
        out.push_back(b);
    }
    return out;
}

// A payload type or size: a run of 0xFF bytes (255 each) plus a last byte.
bool readSeiNumber(const std::vector<uint8_t>& r, size_t& at, size_t& value) {
    value = 0;
    while (at < r.size() && r[at] == 0xFF) value += r[at++];
    if (at >= r.size()) return false;
    value += r[at++];
    return true;
}

}  // namespace

std::vector<std::vector<uint8_t>> hdr10PlusPayloads(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> stream((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
    std::vector<std::vector<uint8_t>> payloads;
    for (const std::vector<uint8_t>& nal : nalUnits(stream)) {
        if (nal.size() < 3 || ((nal[0] >> 1) & 0x3F) != kPrefixSei) continue;
        const std::vector<uint8_t> rbsp = unescape(nal);
        size_t at = 2;  // after the NAL header
        // Messages until the RBSP trailing bits (0x80) in the last byte.
        while (at + 1 < rbsp.size()) {
            size_t type = 0, size = 0;
            if (!readSeiNumber(rbsp, at, type) || !readSeiNumber(rbsp, at, size)) break;
            if (size > rbsp.size() - at) break;
            if (type == kUserDataRegistered && size >= sizeof kHeader &&
                std::equal(std::begin(kHeader), std::end(kHeader), rbsp.begin() + at)) {
                payloads.emplace_back(rbsp.begin() + at, rbsp.begin() + at + size);
            }
            at += size;
        }
    }
    return payloads;
}

}  // namespace kestrel::hdr10plus::test
