// SPDX-License-Identifier: Apache-2.0
#include "hevc/parameter_sets.h"

#include "hevc/nal_unit.h"
#include "hevc/rbsp_bits.h"

namespace kestrel::hevc {

namespace {

// profile_tier_level with its profile present: the general part is 88 bits of
// profile and 8 of level; each sub-layer may repeat either.
void skipProfileTierLevel(RbspBits& bits, unsigned maxSubLayersMinus1) {
    bits.skip(88 + 8);
    bool profilePresent[8] = {};
    bool levelPresent[8] = {};
    for (unsigned i = 0; i < maxSubLayersMinus1; ++i) {
        profilePresent[i] = bits.bit() != 0;
        levelPresent[i] = bits.bit() != 0;
    }
    if (maxSubLayersMinus1 > 0) bits.skip(2 * (8 - maxSubLayersMinus1));  // reserved_zero_2bits
    for (unsigned i = 0; i < maxSubLayersMinus1; ++i) {
        if (profilePresent[i]) bits.skip(88);
        if (levelPresent[i]) bits.skip(8);
    }
}

Status spsFailure(ErrorKind kind, std::string message) {
    Location where;
    where.key = "seq_parameter_set_rbsp";
    return Status::failure(kind, std::move(message), std::move(where));
}

Status ppsFailure(ErrorKind kind, std::string message) {
    Location where;
    where.key = "pic_parameter_set_rbsp";
    return Status::failure(kind, std::move(message), std::move(where));
}

}  // namespace

Result<SequenceParameters> parseSps(const uint8_t* rbsp, size_t size) {
    RbspBits bits(rbsp, size);
    bits.skip(8 * nal::kHeaderSize);
    bits.bits(4);  // sps_video_parameter_set_id
    unsigned maxSubLayersMinus1 = bits.bits(3);
    bits.bit();  // sps_temporal_id_nesting_flag
    if (maxSubLayersMinus1 > 6) {
        return spsFailure(ErrorKind::OutOfRange, "sequence parameter set declares " +
                                                     std::to_string(maxSubLayersMinus1 + 1) +
                                                     " sub-layers (at most 7)");
    }
    skipProfileTierLevel(bits, maxSubLayersMinus1);
    SequenceParameters sps;
    sps.id = bits.ue();
    uint32_t chromaFormat = bits.ue();
    if (chromaFormat == 3) sps.separateColourPlanes = bits.bit() != 0;
    bits.ue();         // pic_width_in_luma_samples
    bits.ue();         // pic_height_in_luma_samples
    if (bits.bit()) {  // conformance_window_flag
        for (int i = 0; i < 4; ++i) bits.ue();
    }
    bits.ue();  // bit_depth_luma_minus8
    bits.ue();  // bit_depth_chroma_minus8
    uint32_t pocLsbMinus4 = bits.ue();
    bool orderingPerSubLayer = bits.bit() != 0;
    for (unsigned i = orderingPerSubLayer ? 0 : maxSubLayersMinus1; i <= maxSubLayersMinus1; ++i) {
        bits.ue();  // sps_max_dec_pic_buffering_minus1
        sps.maxReorder = bits.ue();
        bits.ue();  // sps_max_latency_increase_plus1
    }
    if (bits.exhausted()) {
        return spsFailure(ErrorKind::Truncated, "sequence parameter set cut short");
    }
    if (sps.id > kMaxSpsId || chromaFormat > 3 || pocLsbMinus4 > 12) {
        return spsFailure(ErrorKind::OutOfRange,
                          "sequence parameter set holds values out of range (id " +
                              std::to_string(sps.id) + ", chroma format " +
                              std::to_string(chromaFormat) + ", order count width " +
                              std::to_string(pocLsbMinus4 + 4) + " bits)");
    }
    sps.pocLsbBits = pocLsbMinus4 + 4;
    return sps;
}

Result<PictureParameters> parsePps(const uint8_t* rbsp, size_t size) {
    RbspBits bits(rbsp, size);
    bits.skip(8 * nal::kHeaderSize);
    PictureParameters pps;
    pps.id = bits.ue();
    pps.spsId = bits.ue();
    pps.dependentSlices = bits.bit() != 0;
    pps.outputFlagPresent = bits.bit() != 0;
    pps.extraSliceHeaderBits = bits.bits(3);
    if (bits.exhausted()) {
        return ppsFailure(ErrorKind::Truncated, "picture parameter set cut short");
    }
    if (pps.id > kMaxPpsId || pps.spsId > kMaxSpsId) {
        return ppsFailure(ErrorKind::OutOfRange, "picture parameter set holds ids out of range (" +
                                                     std::to_string(pps.id) + ", sequence " +
                                                     std::to_string(pps.spsId) + ")");
    }
    return pps;
}

bool isFirstSliceSegment(const uint8_t* rbsp, size_t size) {
    return size > nal::kHeaderSize && (rbsp[nal::kHeaderSize] & 0x80) != 0;
}

}  // namespace kestrel::hevc

namespace kestrel::hevc {

namespace {
// Reads the elements before slice_pic_parameter_set_id.
void skipToPpsId(RbspBits& bits, uint8_t nalType) {
    bits.skip(8 * nal::kHeaderSize);
    bits.bit();  // first_slice_segment_in_pic_flag
    if (nalType >= nal::kBlaWLp && nalType <= nal::kLastIrap)
        bits.bit();  // no_output_of_prior_pics
}
}  // namespace

std::optional<uint32_t> slicePpsId(const uint8_t* rbsp, size_t size, uint8_t nalType) {
    RbspBits bits(rbsp, size);
    skipToPpsId(bits, nalType);
    uint32_t id = bits.ue();
    if (bits.exhausted()) return std::nullopt;
    return id;
}

Result<SliceOrderInfo> parseFirstSliceHeader(const uint8_t* rbsp, size_t size, uint8_t nalType,
                                             const PictureParameters& pps,
                                             const SequenceParameters& sps) {
    RbspBits bits(rbsp, size);
    skipToPpsId(bits, nalType);
    SliceOrderInfo info;
    info.ppsId = bits.ue();
    // A first slice segment is never dependent and has no address.
    bits.skip(pps.extraSliceHeaderBits);  // slice_reserved_flag
    bits.ue();                            // slice_type
    if (pps.outputFlagPresent) info.outputFlag = bits.bit() != 0;
    if (sps.separateColourPlanes) bits.bits(2);  // colour_plane_id
    if (nalType != nal::kIdrWRadl && nalType != nal::kIdrNLp)
        info.pocLsb = bits.bits(sps.pocLsbBits);
    if (bits.exhausted()) {
        Location where;
        where.key = "slice_segment_header";
        return Status::failure(ErrorKind::Truncated, "slice header cut short", std::move(where));
    }
    return info;
}

}  // namespace kestrel::hevc
