// SPDX-License-Identifier: Apache-2.0
// Writing HEVC NAL units: emulation prevention and prefix SEI units built
// from their messages. The inverse of nal_unit.h's unescape and sei.h's
// readSeiMessages, so that a unit written here reads back unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "hevc/sei.h"

namespace kestrel::hevc {

// Appends `size` RBSP bytes to `out` with emulation prevention: a 03 byte
// after every pair of zero bytes that a byte of 00 to 03 would follow, so
// that no start code (00 00 01) and no 00 00 00 appears inside the unit.
// `zeros` carries the count of zero bytes that ended the previous call's
// bytes (start at 0 for a new unit), so a unit can be escaped in pieces.
void escapeInto(const uint8_t* rbsp, size_t size, std::vector<uint8_t>& out, unsigned& zeros);

// A prefix SEI NAL unit holding `messages` in order: the two header bytes
// (layer 0 and `temporalIdPlus1`, which must be that of the access unit the
// unit joins), each message's type and size as runs of FF bytes plus a last
// byte, its payload, then the trailing stop bit; escaped, without a start code.
std::vector<uint8_t> prefixSeiUnit(const std::vector<SeiMessage>& messages,
                                   uint8_t temporalIdPlus1);

}  // namespace kestrel::hevc
