// SPDX-License-Identifier: Apache-2.0
// Android dataspaces written as words: "bt2020 st2084-pq", "bt709 srgb full".
//
// The words are the library's own names for the colour standard (bits 16 to
// 21) and the transfer (bits 22 to 26), the names a preset file uses, plus
// "full", "limited" and "extended" for the range (bits 27 to 29). Each field
// may be given once, in any order; a field left out is 0 ("unspecified").
#pragma once

#include <json/value.h>

#include <cstdint>
#include <string>

#include "common/status.h"

namespace kestrel::tool {

// Parses a dataspace given as a JSON number (signed or unsigned 32-bit), as
// a string holding a number ("0x9c60000", "142999552"), or as a string of
// names. On failure an ErrorKind::Invalid whose message says what was not
// understood.
Result<uint32_t> parseDataspace(const Json::Value& value);
Result<uint32_t> parseDataspaceText(const std::string& text);

// "bt2020 st2084-pq (0x1c60000)"; fields without a name show as numbers.
std::string describeDataspace(uint32_t dataspace);

}  // namespace kestrel::tool
