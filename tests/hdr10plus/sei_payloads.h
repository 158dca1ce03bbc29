// SPDX-License-Identifier: Apache-2.0
// Test-only: the HDR10+ T.35 payloads of an HEVC Annex B stream, in the order
// of the stream (decode order), so that the payload tests can run on real
// data. It knows just enough of HEVC for the sample streams.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::hdr10plus::test {

// The directory of the real samples, or "" when the build has none.
std::string realDataDir();

// Every user_data_registered_itu_t_t35 SEI payload (prefix SEI NAL units,
// payload type 4) that starts with the HDR10+ T.35 header, from the country
// code on. Empty when the file cannot be read.
std::vector<std::vector<uint8_t>> hdr10PlusPayloads(const std::string& path);

}  // namespace kestrel::hdr10plus::test
