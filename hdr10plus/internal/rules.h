// SPDX-License-Identifier: Apache-2.0
// The range rules of the metadata, one function per rule, shared by
// checkFrame, the payload parser (which applies them at the element's bit
// offset) and the JSON reader. Each returns what is wrong with the value, or
// nothing when it is allowed. Internal to the library and its tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kestrel::hdr10plus::rules {

// value <= max: "is 4096, above the largest allowed value 4095".
inline std::optional<std::string> atMost(uint64_t value, uint64_t max) {
    if (value <= max) return std::nullopt;
    return "is " + std::to_string(value) + ", above the largest allowed value " +
           std::to_string(max);
}

// lo <= value <= hi: "is 0, outside 1 to 3".
inline std::optional<std::string> within(uint64_t value, uint64_t lo, uint64_t hi) {
    if (value >= lo && value <= hi) return std::nullopt;
    return "is " + std::to_string(value) + ", outside " + std::to_string(lo) + " to " +
           std::to_string(hi);
}

// Percentages of a distribution never fall: the statistics look entries up
// in order, and a falling one would make the median and the 99th percentile
// come from the wrong entries.
inline std::optional<std::string> notBelowPrevious(uint64_t value, uint64_t previous) {
    if (value >= previous) return std::nullopt;
    return "is " + std::to_string(value) + ", below the entry before it (" +
           std::to_string(previous) + ")";
}

// The largest value of an n-bit element.
constexpr uint64_t maxOfBits(unsigned bits) { return (uint64_t{1} << bits) - 1; }

}  // namespace kestrel::hdr10plus::rules
