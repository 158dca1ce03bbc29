// SPDX-License-Identifier: Apache-2.0
#include "clip/input_format.h"

#include <cstring>
#include <initializer_list>

namespace kestrel::clip {

namespace {

constexpr size_t kTsPacket = 188;
constexpr size_t kM2tsPacket = 192;  // a 4-byte time code before each TS packet

bool hasAt(const uint8_t* head, size_t size, size_t at, const char* text) {
    size_t n = std::strlen(text);
    return size >= at + n && std::memcmp(head + at, text, n) == 0;
}

bool transportStream(const uint8_t* head, size_t size, size_t first, size_t packet) {
    // Three sync bytes in a row, or two when the file is that short.
    unsigned seen = 0;
    for (size_t at = first; at < size && seen < 3; at += packet, ++seen)
        if (head[at] != 0x47) return false;
    return seen >= 2;
}

}  // namespace

InputFormat sniffFormat(const uint8_t* head, size_t size) {
    size_t i = 0;
    if (hasAt(head, size, 0, "\xEF\xBB\xBF")) i = 3;
    while (i < size && (head[i] == ' ' || head[i] == '\t' || head[i] == '\n' || head[i] == '\r'))
        ++i;
    if (i < size && (head[i] == '{' || head[i] == '[')) return InputFormat::Json;

    size_t zeros = 0;
    while (zeros < size && head[zeros] == 0) ++zeros;
    if (zeros >= 2 && zeros < size && head[zeros] == 1) return InputFormat::AnnexB;

    if (hasAt(head, size, 0, "\x1A\x45\xDF\xA3")) return InputFormat::Container;
    for (const char* box : {"ftyp", "moov", "mdat", "free", "skip", "wide", "styp"})
        if (hasAt(head, size, 4, box)) return InputFormat::Container;
    if (transportStream(head, size, 0, kTsPacket) || transportStream(head, size, 4, kM2tsPacket))
        return InputFormat::Container;
    return InputFormat::Unknown;
}

const char* formatName(InputFormat format) {
    switch (format) {
        case InputFormat::Json:
            return "HDR10+ JSON";
        case InputFormat::AnnexB:
            return "HEVC Annex B stream";
        case InputFormat::Container:
            return "container file";
        case InputFormat::Unknown:
            break;
    }
    return "unknown";
}

}  // namespace kestrel::clip
