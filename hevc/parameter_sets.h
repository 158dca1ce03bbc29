// SPDX-License-Identifier: Apache-2.0
// The parts of HEVC parameter sets and slice segment headers needed to put
// pictures in the order they are shown: enough of the SPS to find the width
// of the picture order count and the reorder depth, enough of the PPS and the
// first slice segment header to reach the picture order count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "common/status.h"

namespace kestrel::hevc {

constexpr uint32_t kMaxSpsId = 15;
constexpr uint32_t kMaxPpsId = 63;

struct SequenceParameters {
    uint32_t id = 0;
    bool separateColourPlanes = false;
    unsigned pocLsbBits = 4;  // log2_max_pic_order_cnt_lsb
    uint32_t maxReorder = 0;  // sps_max_num_reorder_pics of the highest sub-layer
};

struct PictureParameters {
    uint32_t id = 0;
    uint32_t spsId = 0;
    bool dependentSlices = false;
    bool outputFlagPresent = false;
    unsigned extraSliceHeaderBits = 0;
};

// What the first slice segment header of a picture tells about its order.
struct SliceOrderInfo {
    uint32_t ppsId = 0;
    bool outputFlag = true;
    uint32_t pocLsb = 0;  // 0 for IDR pictures, which carry none
};

// Each parser takes the unit's RBSP (header included) and fails when the unit
// is cut short (ErrorKind::Truncated) or holds values out of range
// (ErrorKind::OutOfRange); the location's key names the syntax structure.
Result<SequenceParameters> parseSps(const uint8_t* rbsp, size_t size);
Result<PictureParameters> parsePps(const uint8_t* rbsp, size_t size);

// Reads whether a slice segment starts its picture, without any parameter set.
bool isFirstSliceSegment(const uint8_t* rbsp, size_t size);

// The picture parameter set id of a first slice segment, or nothing when the
// header is cut short.
std::optional<uint32_t> slicePpsId(const uint8_t* rbsp, size_t size, uint8_t nalType);

// Parses a first slice segment header up to its picture order count, with the
// parameter sets it refers to; fails (ErrorKind::Truncated) when it is cut
// short.
Result<SliceOrderInfo> parseFirstSliceHeader(const uint8_t* rbsp, size_t size, uint8_t nalType,
                                             const PictureParameters& pps,
                                             const SequenceParameters& sps);

}  // namespace kestrel::hevc
