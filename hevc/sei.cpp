// SPDX-License-Identifier: Apache-2.0
#include "hevc/sei.h"

#include <cstring>

#include "hevc/nal_unit.h"

namespace kestrel::hevc {

bool isHdr10PlusT35(const uint8_t* payload, size_t size) {
    return size >= sizeof kHdr10PlusT35Prefix &&
           std::memcmp(payload, kHdr10PlusT35Prefix, sizeof kHdr10PlusT35Prefix) == 0;
}

namespace {

// A type or size: 0xFF bytes add 255 each, the first other byte ends it.
// A run long enough to pass 2^32 cannot describe a message in a unit of
// this size anyway, so the value is capped rather than wrapped.
bool readVarByte(const uint8_t* rbsp, size_t size, size_t& pos, uint64_t& value) {
    value = 0;
    while (pos < size) {
        uint8_t byte = rbsp[pos++];
        value += byte;
        if (value > UINT32_MAX) value = UINT32_MAX;
        if (byte != 0xFF) return true;
    }
    return false;
}

Status cutShort(std::string message) {
    Location where;
    where.key = "sei_message";
    return Status::failure(ErrorKind::Truncated, std::move(message), std::move(where));
}

}  // namespace

Status readSeiMessages(const uint8_t* rbsp, size_t size, std::vector<SeiMessage>& messages) {
    messages.clear();
    size_t pos = nal::kHeaderSize;
    // Messages follow one another until only the trailing bits remain: a byte
    // with the stop bit (0x80) and nothing after it.
    while (pos < size && !(pos + 1 == size && rbsp[pos] == 0x80)) {
        uint64_t type = 0;
        uint64_t length = 0;
        if (!readVarByte(rbsp, size, pos, type)) {
            return cutShort("SEI message " + std::to_string(messages.size()) +
                            " ends inside its type");
        }
        if (!readVarByte(rbsp, size, pos, length)) {
            return cutShort("SEI message " + std::to_string(messages.size()) + " (type " +
                            std::to_string(type) + ") ends inside its size");
        }
        if (length > size - pos) {
            return cutShort("SEI message " + std::to_string(messages.size()) + " (type " +
                            std::to_string(type) + ") declares " + std::to_string(length) +
                            " bytes but its unit holds " + std::to_string(size - pos));
        }
        messages.push_back({static_cast<uint32_t>(type), rbsp + pos, static_cast<size_t>(length)});
        pos += static_cast<size_t>(length);
    }
    return {};
}

}  // namespace kestrel::hevc
