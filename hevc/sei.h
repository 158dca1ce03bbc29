// SPDX-License-Identifier: Apache-2.0
// SEI messages of an HEVC SEI NAL unit, and the ITU-T T.35 messages among
// them that carry HDR10+ dynamic metadata.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/status.h"

namespace kestrel::hevc {

constexpr uint32_t kSeiUserDataRegisteredT35 = 4;  // payload type of a T.35 message

// The first bytes of every HDR10+ T.35 message: country 0xB5, provider 0x003C,
// provider-oriented code 0x0001, application identifier 4. What follows
// (version and metadata) is for the payload parser to judge.
constexpr uint8_t kHdr10PlusT35Prefix[] = {0xB5, 0x00, 0x3C, 0x00, 0x01, 0x04};

bool isHdr10PlusT35(const uint8_t* payload, size_t size);

struct SeiMessage {
    uint32_t type;
    const uint8_t* payload;  // into the RBSP given to readSeiMessages
    size_t size;
};

// Splits the RBSP of an SEI NAL unit (header included, emulation-prevention
// bytes removed) into its messages. Each message codes its type and size as a
// run of 0xFF bytes (255 each) plus a final byte. Stops at the trailing bits.
// Fails (ErrorKind::Truncated, the location's key "sei_message") when a
// message is cut short: the messages before it are still in `messages`.
Status readSeiMessages(const uint8_t* rbsp, size_t size, std::vector<SeiMessage>& messages);

}  // namespace kestrel::hevc
