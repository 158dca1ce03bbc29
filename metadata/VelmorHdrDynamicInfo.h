// SPDX-License-Identifier: Apache-2.0
// The host's fixed-layout HDR10+ (SMPTE ST 2094-40) dynamic metadata record
// for one layer and one frame: the statistics of a single processing window
// and the tone curve made for the targeted system display.
//
// It crosses the host boundary as an opaque 312-byte buffer, little-endian,
// every field at its natural alignment. The plug-in never writes through the
// host's pointer; consumers copy the record and work on the copy.
#pragma once

#include <cstddef>
#include <cstdint>

// Counts in the record are 8- and 16-bit fields, but the arrays hold 15
// entries; every reader clamps a count to this before indexing.
constexpr unsigned kMaxDistributionEntries = 15;
constexpr unsigned kMaxBezierAnchors = 15;

// Scales of the fixed-point fields. The knee point is a 12-bit and an anchor
// a 10-bit fraction, so their largest values stand for 1.0; luminance
// statistics count tenths of a cd/m²; percentages are whole percent.
constexpr uint16_t kKneePointOne = 4095;
constexpr uint16_t kAnchorOne = 1023;
constexpr unsigned kLuminanceUnitsPerNit = 10;
constexpr uint8_t kMaxPercentage = 100;

typedef struct _VelmorHdrDynamicInfo {
    uint8_t reserved0[180];
    uint32_t targeted_system_display_maximum_luminance;                 // cd/m²
    uint32_t maxscl[3];                                                 // 0.1 cd/m²
    uint8_t num_distribution_maxrgb_percentiles;                        // 0..15
    uint8_t distribution_maxrgb_percentages[kMaxDistributionEntries];   // percent
    uint32_t distribution_maxrgb_percentiles[kMaxDistributionEntries];  // 0.1 cd/m²
    uint16_t tone_mapping_flag;                                         // 1: curve present
    uint16_t knee_point_x;                                              // kKneePointOne = 1.0
    uint16_t knee_point_y;                                              // kKneePointOne = 1.0
    uint16_t num_bezier_curve_anchors;                                  // 0..15
    uint16_t bezier_curve_anchors[kMaxBezierAnchors];                   // kAnchorOne = 1.0
    uint8_t reserved1[2];
} VelmorHdrDynamicInfo;

static_assert(sizeof(_VelmorHdrDynamicInfo) == 312, "record is 312 bytes");
static_assert(offsetof(_VelmorHdrDynamicInfo, targeted_system_display_maximum_luminance) == 180,
              "");
static_assert(offsetof(_VelmorHdrDynamicInfo, maxscl) == 184, "");
static_assert(offsetof(_VelmorHdrDynamicInfo, num_distribution_maxrgb_percentiles) == 196, "");
static_assert(offsetof(_VelmorHdrDynamicInfo, distribution_maxrgb_percentages) == 197, "");
static_assert(offsetof(_VelmorHdrDynamicInfo, distribution_maxrgb_percentiles) == 212, "");
static_assert(offsetof(_VelmorHdrDynamicInfo, tone_mapping_flag) == 272, "");
static_assert(offsetof(_VelmorHdrDynamicInfo, knee_point_x) == 274, "");
static_assert(offsetof(_VelmorHdrDynamicInfo, knee_point_y) == 276, "");
static_assert(offsetof(_VelmorHdrDynamicInfo, num_bezier_curve_anchors) == 278, "");
static_assert(offsetof(_VelmorHdrDynamicInfo, bezier_curve_anchors) == 280, "");
static_assert(offsetof(_VelmorHdrDynamicInfo, reserved1) == 310, "");
