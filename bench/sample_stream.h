// SPDX-License-Identifier: Apache-2.0
// The ~100 MB Annex B stream that the stream benchmarks read: the largest
// sample stream repeated (each copy starts with its own parameter sets and
// IDR picture, so the result is a valid stream of many coded video
// sequences). Written beside the benchmark once; later runs reuse it.
#pragma once

#include <cstdint>
#include <string>

namespace bench {

constexpr uintmax_t kBigStreamBytes = uintmax_t{100} << 20;

// The largest .hevc/.h265 sample stream that is not a damaged one, or "".
std::string largestSampleStream();

// The path of the repeated stream, or "" when it cannot be written.
std::string bigSampleStream(const std::string& sample);

}  // namespace bench
