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
// possibly zeros) passes the payload's bytes only, or gets TrailingBytes.
// The color saturation elements belong to each window, after its curve.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

enum class PayloadErrorKind {
    Truncated,           // the buffer ends inside `element`
    WrongHeader,         // a T.35 code is not the HDR10+ one
    UnknownApplication,  // application_identifier is not 4
    UnknownVersion,      // application_version is above 1
    OutOfRange,          // a value the bits can hold but the metadata forbids
    NonZeroPadding,      // a bit after the last element is set
    TrailingBytes,       // whole bytes follow the payload
};

// Why a payload was refused, and where: `bitOffset` counts from the start of
// the caller's buffer (so with CountryCode::Omitted, from the byte after the
// country code), at the first bit of `element`.
struct PayloadError {
    PayloadErrorKind kind;
    std::string element;  // "num_windows", "windows[0].distribution_maxrgb_percentages[2]"
    std::string what;     // "is 0; a payload has 1 to 3 windows"
    size_t bitOffset = 0;

    size_t byteOffset() const { return bitOffset / 8; }
    // "byte 7 (bit 3): num_windows is 0; a payload has 1 to 3 windows"
    KESTREL_HDR10PLUS_EXPORT std::string message() const;
};

struct PayloadResult {
    Frame frame;  // meaningful when ok()
    std::optional<PayloadError> error;
    bool ok() const { return !error; }
};

// Parses `size` bytes at `data`. Reads nothing outside them whatever they
// hold; a frame it returns passes checkFrame. The scene fields stay empty.
KESTREL_HDR10PLUS_EXPORT PayloadResult parsePayload(const uint8_t* data, size_t size,
                                                    CountryCode start = CountryCode::Included);

struct WriteResult {
    std::vector<uint8_t> bytes;       // the payload, when ok()
    std::optional<RangeError> error;  // the frame breaks a rule of checkFrame
    bool ok() const { return !error; }
};

// The payload of `frame`, the shortest one: zero padding, nothing after it.
// parsePayload(writePayload(f)) gives f back (scene fields aside), and
// writePayload(parsePayload(p)) gives back every payload p it accepts.
KESTREL_HDR10PLUS_EXPORT WriteResult writePayload(const Frame& frame,
                                                  CountryCode start = CountryCode::Included);

}  // namespace kestrel::hdr10plus
