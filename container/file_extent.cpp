// SPDX-License-Identifier: Apache-2.0
#include "container/file_extent.h"

namespace kestrel::container {

namespace {

bool readAt(std::FILE* file, uint64_t at, uint8_t* out, size_t size) {
    if (std::fseek(file, static_cast<long>(at), SEEK_SET) != 0) return false;
    return std::fread(out, 1, size, file) == size;
}

// An EBML variable-length integer: the count of leading zero bits of the
// first byte gives the length (1 to 8 bytes); for a size, the marker bit is
// dropped, and all ones means "unknown".
struct Vint {
    uint64_t value;
    unsigned length;
    bool unknown;
};

std::optional<Vint> readVint(std::FILE* file, uint64_t at, bool keepMarker) {
    uint8_t bytes[8];
    if (!readAt(file, at, bytes, 1) || bytes[0] == 0) return std::nullopt;
    unsigned length = 1;
    while (!(bytes[0] & (0x80u >> (length - 1)))) ++length;
    if (length > 1 && !readAt(file, at + 1, bytes + 1, length - 1)) return std::nullopt;
    uint64_t value = keepMarker ? bytes[0] : bytes[0] & (0xFFu >> length);
    bool allOnes = value == (0xFFu >> length);
    for (unsigned i = 1; i < length; ++i) {
        value = (value << 8) | bytes[i];
        allOnes = allOnes && bytes[i] == 0xFF;
    }
    return Vint{value, length, allOnes && !keepMarker};
}

constexpr uint64_t kEbmlHeaderId = 0x1A45DFA3;
constexpr uint64_t kSegmentId = 0x18538067;

std::optional<Truncation> matroska(std::FILE* file, uint64_t fileSize) {
    uint64_t at = 0;
    for (uint64_t expected : {kEbmlHeaderId, kSegmentId}) {
        auto id = readVint(file, at, true);
        if (!id || id->value != expected) return std::nullopt;
        auto size = readVint(file, at + id->length, false);
        if (!size || size->unknown) return std::nullopt;
        uint64_t end = at + id->length + size->length + size->value;
        if (end > fileSize)
            return Truncation{end, fileSize, expected == kSegmentId ? "Segment" : "EBML header"};
        at = end;
    }
    return std::nullopt;
}

// MP4's 64-bit box sizes reach past what a 64-bit offset can hold; such an
// end is shown as the largest offset, which lies beyond every file as well.
uint64_t endOf(uint64_t at, uint64_t size) {
    return size > UINT64_MAX - at ? UINT64_MAX : at + size;
}

std::optional<Truncation> mp4(std::FILE* file, uint64_t fileSize) {
    uint64_t at = 0;
    while (at + 8 <= fileSize) {
        uint8_t head[16];
        if (!readAt(file, at, head, 8)) return std::nullopt;
        uint64_t size = (uint64_t{head[0]} << 24) | (head[1] << 16) | (head[2] << 8) | head[3];
        std::string type(reinterpret_cast<const char*>(head + 4), 4);
        if (size == 0) return std::nullopt;  // runs to the end of the file
        if (size == 1) {                     // a 64-bit size follows the type
            if (!readAt(file, at + 8, head + 8, 8)) {
                return Truncation{at + 16, fileSize, type + " box"};
            }
            size = 0;
            for (int i = 8; i < 16; ++i) size = (size << 8) | head[i];
            if (size < 16) return std::nullopt;  // smaller than its own header
        }
        if (size < 8) return std::nullopt;  // not a box chain after all
        if (size > fileSize - at) return Truncation{endOf(at, size), fileSize, type + " box"};
        at += size;
    }
    return std::nullopt;
}

}  // namespace

std::optional<Truncation> findTruncation(std::FILE* file, uint64_t fileSize) {
    uint8_t magic[8];
    if (!readAt(file, 0, magic, sizeof magic)) return std::nullopt;
    if (magic[0] == 0x1A && magic[1] == 0x45 && magic[2] == 0xDF && magic[3] == 0xA3)
        return matroska(file, fileSize);
    std::string box(reinterpret_cast<const char*>(magic + 4), 4);
    for (const char* known : {"ftyp", "moov", "mdat", "free", "skip", "wide", "styp"})
        if (box == known) return mp4(file, fileSize);
    return std::nullopt;
}

}  // namespace kestrel::container
