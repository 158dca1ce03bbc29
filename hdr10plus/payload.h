// SPDX-License-Identifier: Apache-2.0
// HDR10+ metadata as an ITU-T T.35 payload, the bytes that an HEVC or AVC
// user_data_registered_itu_t_t35 SEI message, an AV1 metadata OBU or a
// Matroska block addition carries: to and from a Frame.
//
// The payload is a bit string, most significant bit first: the T.35 header
// (country code 0xB5, provider code 0x003C, provider-oriented code 0x0001),
// application identifier 4 and version 0 or 1, then the ST 2094-40 syntax,
// then zero bits up to the next byte boundary. Nothing follows it: a caller
// holding more (an AV1 metadata OBU ends with trailing bits, a 0x80 byte and
// possibly zeros) passes the payload's bytes only, or gets a failure keyed
// "payload" (whole bytes after it).
// The color saturation elements belong to each window, after its curve.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/status.h"
#include "hdr10plus/export.h"
#include "hdr10plus/frame.h"

namespace kestrel::hdr10plus {

// The T.35 header that marks an HDR10+ payload.
constexpr uint8_t kCountryCode = 0xB5;
constexpr uint16_t kTerminalProviderCode = 0x003C;
constexpr uint16_t kTerminalProviderOrientedCode = 0x0001;
constexpr uint8_t kApplicationIdentifier = 4;

// Whether a buffer starts at the country code or just after it (AV1
// metadata OBUs and some platform buffers leave the country code out).
enum class CountryCode { Included, Omitted };

// Parses `size` bytes at `data`. Reads nothing outside them whatever they
// hold; a frame it returns passes checkFrame. The scene fields stay empty.
//
// A payload refused fails at the first bit of the element that is wrong:
// where().bitOffset counts from the start of the caller's buffer (so with
// CountryCode::Omitted, from the byte after the country code), byteOffset is
// that bit's byte, key names the element ("num_windows",
// "windows[0].distribution_maxrgb_percentages[2]"), and message() is the
// sentence "byte 7 (bit 0): num_windows is 0, outside 1 to 3". The kind says
// what is wrong:
//   Truncated    the buffer ends inside the element
//   Format       a T.35 code is not the HDR10+ one (key: the code's element)
//   Unsupported  application_identifier is not 4, or application_version is
//                above 1 (key: that element)
//   OutOfRange   a value the bits can hold but the metadata forbids
//   Invalid      a bit after the last element is set (key "padding"), or
//                whole bytes follow the payload (key "payload")
KESTREL_HDR10PLUS_EXPORT Result<Frame> parsePayload(const uint8_t* data, size_t size,
                                                    CountryCode start = CountryCode::Included);

// The payload of `frame`, the shortest one: zero padding, nothing after it;
// or checkFrame's failure when the frame breaks one of its rules.
// parsePayload(writePayload(f)) gives f back (scene fields aside), and
// writePayload(parsePayload(p)) gives back every payload p it accepts.
KESTREL_HDR10PLUS_EXPORT Result<std::vector<uint8_t>> writePayload(
    const Frame& frame, CountryCode start = CountryCode::Included);

}  // namespace kestrel::hdr10plus
