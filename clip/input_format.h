// SPDX-License-Identifier: Apache-2.0
// What a file holds, told by its first bytes and never by its name.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrel::clip {

enum class InputFormat { Json, AnnexB, Container, Unknown };

// What the first bytes of a file say it is: JSON (after an optional byte
// order mark and white space, an object or array), an Annex B stream (zero
// bytes then 01: a start code), Matroska/WebM (the EBML magic), MP4 (a known
// box type at byte 4) or MPEG-TS (sync bytes 188 or 192 bytes apart).
InputFormat sniffFormat(const uint8_t* head, size_t size);
const char* formatName(InputFormat format);

}  // namespace kestrel::clip
