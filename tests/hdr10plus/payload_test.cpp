// SPDX-License-Identifier: Apache-2.0
// The T.35 payload parser and writer on hand-made and edited payloads: every
// element in place, every refusal specific and located, nothing read past the
// buffer.
#include "hdr10plus/payload.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace kestrel::hdr10plus {
namespace {

// The payload of the one picture of single-frame.hevc, as its SEI message
// carries it. Its values are those of single-frame-metadata.json.
const std::vector<uint8_t> kSingleFrame = {
    0xb5, 0x00, 0x3c, 0x00, 0x01, 0x04, 0x01, 0x40, 0x00, 0x0c, 0x80, 0x3c, 0xb0, 0x19, 0xbd, 0x0d,
    0x80, 0x00, 0x41, 0xe4, 0x08, 0x00, 0x00, 0x28, 0x5f, 0x00, 0x50, 0x01, 0x70, 0xc8, 0x00, 0x05,
    0x90, 0x00, 0x12, 0x58, 0x01, 0xae, 0xd0, 0x0b, 0x5a, 0xf8, 0x1b, 0xe3, 0x18, 0x5b, 0x4c, 0x00,
    0x42, 0x90, 0x3c, 0x24, 0x8f, 0x4a, 0x9b, 0xf9, 0x42, 0xdb, 0xd8, 0x37, 0xbe, 0x57, 0xaa, 0x00};

// Bit positions in kSingleFrame (one window, no matrices, a nine-point
// distribution, a curve of nine anchors), counted by hand from the widths.
constexpr size_t kNumWindowsBit = 56;       // after 7 header bytes
constexpr size_t kTargetedBit = 58;         // u(27)
constexpr size_t kPercentageBit = 158;      // first of nine u(7) + u(17) pairs
constexpr size_t kFractionBit = 374;        // u(10)
constexpr size_t kSaturationFlagBit = 504;  // the last element
constexpr size_t kPaddingBit = 505;

// Test-side bit access, independent of the library's.
uint32_t getBits(const std::vector<uint8_t>& b, size_t at, unsigned width) {
    uint32_t v = 0;
    for (unsigned i = 0; i < width; i++, at++) v = (v << 1) | ((b[at / 8] >> (7 - at % 8)) & 1u);
    return v;
}
std::vector<uint8_t> withBits(std::vector<uint8_t> b, size_t at, unsigned width, uint32_t v) {
    for (unsigned i = 0; i < width; i++, at++) {
        const uint8_t mask = static_cast<uint8_t>(0x80u >> (at % 8));
        if ((v >> (width - 1 - i)) & 1u) {
            b[at / 8] |= mask;
        } else {
            b[at / 8] &= static_cast<uint8_t>(~mask);
        }
    }
    return b;
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

Result<Frame> parse(const std::vector<uint8_t>& b, CountryCode start = CountryCode::Included) {
    return parsePayload(b.data(), b.size(), start);
}

TEST(Payload, RealPayloadGivesEveryValueOfItsJson) {
    Result<Frame> r = parse(kSingleFrame);
    ASSERT_TRUE(r.ok()) << r.status().message();
    const Frame f = *r;
    EXPECT_EQ(f.application_version, 1);
    EXPECT_EQ(f.targeted_system_display_maximum_luminance, 400u);
    EXPECT_FALSE(f.targeted_system_display_actual_peak_luminance);
    EXPECT_FALSE(f.mastering_display_actual_peak_luminance);
    ASSERT_EQ(f.windows.size(), 1u);
    const Window& w = f.windows[0];
    EXPECT_FALSE(w.geometry);
    EXPECT_EQ(w.maxscl, (std::array<uint32_t, 3>{7768, 6589, 6912}));
    EXPECT_EQ(w.average_maxrgb, 263u);
    const std::vector<DistributionPoint> distribution = {{1, 0},    {5, 6080},  {10, 92},
                                                         {25, 1},   {50, 4},    {75, 107},
                                                         {90, 726}, {95, 1784}, {99, 5843}};
    EXPECT_EQ(w.distribution, distribution);
    EXPECT_EQ(w.fraction_bright_pixels, getBits(kSingleFrame, kFractionBit, 10));
    ASSERT_TRUE(w.tone_curve);
    EXPECT_EQ(w.tone_curve->knee_point_x, 164);
    EXPECT_EQ(w.tone_curve->knee_point_y, 240);
    EXPECT_EQ(w.tone_curve->bezier_curve_anchors,
              (std::vector<uint16_t>{143, 298, 447, 592, 731, 864, 891, 917, 938}));
    EXPECT_FALSE(w.color_saturation_weight);
    EXPECT_FALSE(f.scene_id);
}

TEST(Payload, WithoutCountryCodeReadsTheSameFrameAndCountsOffsetsFromTheCallersStart) {
    const std::vector<uint8_t> rest(kSingleFrame.begin() + 1, kSingleFrame.end());
    Result<Frame> r = parse(rest, CountryCode::Omitted);
    ASSERT_TRUE(r.ok()) << r.status().message();
    EXPECT_EQ(*r, *parse(kSingleFrame));
    Result<std::vector<uint8_t>> w = writePayload(*r, CountryCode::Omitted);
    ASSERT_TRUE(w.ok());
    EXPECT_EQ(*w, rest);

    // The same damage, one byte earlier in the shorter buffer.
    Result<Frame> bad = parse(withBits(rest, kNumWindowsBit - 8, 2, 0), CountryCode::Omitted);
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.status().where().bitOffset.value(), kNumWindowsBit - 8);
    // Told that the country code is there, the rest is not HDR10+.
    Result<Frame> misread = parse(rest, CountryCode::Included);
    ASSERT_FALSE(misread.ok());
    EXPECT_EQ(misread.status().kind(), ErrorKind::Format);
    EXPECT_EQ(misread.status().where().key, "itu_t_t35_country_code");
}

TEST(Payload, WrongHeaderFieldsAreNamedWithTheirValue) {
    const struct {
        size_t byte;
        uint8_t value;
        ErrorKind kind;
        const char* message;
    } cases[] = {
        {0, 0xB4, ErrorKind::Format,
         "byte 0 (bit 0): itu_t_t35_country_code is 0xB4, not 0xB5"},
        {2, 0x3D, ErrorKind::Format,
         "byte 1 (bit 0): itu_t_t35_terminal_provider_code is 0x003D, not 0x003C"},
        {4, 0x02, ErrorKind::Format,
         "byte 3 (bit 0): itu_t_t35_terminal_provider_oriented_code is 0x0002, not 0x0001"},
        {5, 0x05, ErrorKind::Unsupported,
         "byte 5 (bit 0): application_identifier is 5, not 4 (HDR10+)"},
        {6, 0x02, ErrorKind::Unsupported,
         "byte 6 (bit 0): application_version is 2; versions 0 to 1 are known"},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> b = kSingleFrame;
        b[c.byte] = c.value;
        Result<Frame> r = parse(b);
        ASSERT_FALSE(r.ok()) << c.message;
        EXPECT_EQ(r.status().kind(), c.kind) << c.message;
        EXPECT_EQ(r.status().message(), c.message);
    }
    // Version 0, of early streams, has the same syntax.
    std::vector<uint8_t> early = kSingleFrame;
    early[6] = 0;
    Result<Frame> r = parse(early);
    ASSERT_TRUE(r.ok()) << r.status().message();
    EXPECT_EQ(r->application_version, 0);
}

TEST(Payload, EveryCutIsRefusedAsTruncatedWithinTheBuffer) {
    for (size_t size = 0; size < kSingleFrame.size(); size++) {
        // A copy of exactly `size` bytes, so that a read past it is caught
        // by the address sanitizer.
        std::vector<uint8_t> cut(kSingleFrame.begin(), kSingleFrame.begin() + size);
        Result<Frame> r = parsePayload(size ? cut.data() : nullptr, size);
        ASSERT_FALSE(r.ok()) << size;
        EXPECT_EQ(r.status().kind(), ErrorKind::Truncated) << size;
        EXPECT_LE(r.status().where().bitOffset.value(), size * 8) << size;
    }
    // Cut before the last byte: the saturation flag is the element missing.
    Result<Frame> r = parse({kSingleFrame.begin(), kSingleFrame.end() - 1});
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.status().message(),
              "byte 63 (bit 0): windows[0].color_saturation_mapping_flag needs 1 bit, the "
              "payload has 0 bits left");
}

TEST(Payload, ValuesTheBitsHoldButTheMetadataForbidsAreRefusedAtTheirElement) {
    const struct {
        size_t bit;
        unsigned width;
        uint32_t value;
        bool accepted;
        const char* element;
    } cases[] = {
        {kNumWindowsBit, 2, 0, false, "num_windows"},
        {kTargetedBit, 27, 10000, true, ""},
        {kTargetedBit, 27, 10001, false, "targeted_system_display_maximum_luminance"},
        {kTargetedBit, 27, (1u << 27) - 1, false, "targeted_system_display_maximum_luminance"},
        {kPercentageBit + 8 * 24, 7, 100, true, ""},  // the last entry, 99 before
        {kPercentageBit + 8 * 24, 7, 101, false, "windows[0].distribution_maxrgb_percentages[8]"},
        {kPercentageBit + 1 * 24, 7, 1, true, ""},  // equal to the entry before it
        {kPercentageBit + 1 * 24, 7, 0, false, "windows[0].distribution_maxrgb_percentages[1]"},
        {kFractionBit, 10, 1000, true, ""},
        {kFractionBit, 10, 1001, false, "windows[0].fraction_bright_pixels"},
    };
    for (const auto& c : cases) {
        Result<Frame> r = parse(withBits(kSingleFrame, c.bit, c.width, c.value));
        if (c.accepted) {
            EXPECT_TRUE(r.ok()) << c.bit << " = " << c.value << ": " << r.status().message();
            continue;
        }
        ASSERT_FALSE(r.ok()) << c.element << " = " << c.value;
        EXPECT_EQ(r.status().kind(), ErrorKind::OutOfRange) << c.element;
        EXPECT_EQ(r.status().where().key, c.element);
        EXPECT_EQ(r.status().where().bitOffset.value(), c.bit) << c.element;
    }
    Result<Frame> r = parse(withBits(kSingleFrame, kPercentageBit + 24, 7, 0));
    EXPECT_TRUE(endsWith(r.status().message(), " is 0, below the entry before it (1)"))
        << r.status().message();
    r = parse(withBits(kSingleFrame, kNumWindowsBit, 2, 0));
    EXPECT_EQ(r.status().message(), "byte 7 (bit 0): num_windows is 0, outside 1 to 3");
}

TEST(Payload, WhatFollowsTheLastElementMustBeZeroBitsToTheByteBoundary) {
    // Any padding bit set is refused, the first and the last.
    for (size_t bit : {kPaddingBit, kPaddingBit + 6}) {
        Result<Frame> r = parse(withBits(kSingleFrame, bit, 1, 1));
        ASSERT_FALSE(r.ok()) << bit;
        EXPECT_EQ(r.status().kind(), ErrorKind::Invalid);
        EXPECT_EQ(r.status().where().key, "padding");
        EXPECT_EQ(r.status().where().bitOffset.value(), kPaddingBit);
    }
    // With the saturation flag set, the weight takes six of the seven
    // padding bits, and the padding is the last bit alone.
    const std::vector<uint8_t> weighted = withBits(kSingleFrame, kSaturationFlagBit, 7, 0x7F);
    Result<Frame> r = parse(weighted);
    ASSERT_TRUE(r.ok()) << r.status().message();
    EXPECT_EQ(r->windows[0].color_saturation_weight, 63);
    r = parse(withBits(weighted, kPaddingBit + 6, 1, 1));
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.status().kind(), ErrorKind::Invalid);
    EXPECT_EQ(r.status().where().key, "padding");
    EXPECT_EQ(r.status().where().bitOffset.value(), kPaddingBit + 6);
    // A whole byte more, even a zero one, is not part of the payload.
    std::vector<uint8_t> longer = kSingleFrame;
    longer.push_back(0);
    r = parse(longer);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.status().kind(), ErrorKind::Invalid);
    EXPECT_EQ(r.status().where().key, "payload");
    EXPECT_EQ(r.status().where().byteOffset.value(), 64u);
}

// A frame using everything the syntax has: three windows with geometry,
// both matrices, saturation weights, a window without a curve.
Frame everything() {
    Frame f;
    f.application_version = 1;
    f.targeted_system_display_maximum_luminance = 1000;
    f.targeted_system_display_actual_peak_luminance =
        PeakLuminanceMatrix{2, 3, {1, 2, 3, 4, 5, 15}};
    PeakLuminanceMatrix big{25, 25, {}};
    for (int i = 0; i < 625; i++) big.values.push_back(static_cast<uint8_t>(i % 16));
    f.mastering_display_actual_peak_luminance = big;
    f.windows.resize(3);
    for (unsigned w = 0; w < 3; w++) {
        Window& window = f.windows[w];
        if (w > 0) {
            window.geometry =
                WindowGeometry{static_cast<uint16_t>(10 * w), 11,  3839,  2159, 1920,  1080,
                               static_cast<uint8_t>(90 * w),  100, 65535, 1,    w == 2};
        }
        window.maxscl = {131071, 2 + w, 3 + w};
        window.average_maxrgb = 100000 + w;
        for (uint8_t p = 0; p < 15; p++) {
            window.distribution.push_back({static_cast<uint8_t>(p * 7), 131071u - p});
        }
        window.fraction_bright_pixels = static_cast<uint16_t>(1000 - w);
        if (w != 1) {
            window.tone_curve = ToneCurve{4095, static_cast<uint16_t>(w), {}};
            for (uint16_t a = 0; a < 15; a++)
                window.tone_curve->bezier_curve_anchors.push_back(a * 73);
        }
        if (w != 0) window.color_saturation_weight = static_cast<uint8_t>(60 + w);
    }
    return f;
}

TEST(Payload, EveryPartOfTheSyntaxSurvivesWritingAndParsing) {
    const Frame f = everything();
    Result<std::vector<uint8_t>> w = writePayload(f);
    ASSERT_TRUE(w.ok()) << w.status().message();
    // Header 56 bits; num_windows 2; two geometries of 153 bits; targeted 27
    // and flag 1; a 2 x 3 matrix 10 + 24; three windows of 51 + 17 + 4 +
    // 15 x 24 + 10 statistics; flag and a 25 x 25 matrix 1 + 10 + 2500; curves
    // 1 + 24 + 4 + 150 twice and 1 once; saturation 1 once and 7 twice.
    const size_t bits = 56 + 2 + 2 * 153 + 28 + 34 + 3 * 442 + 2511 + 2 * 179 + 1 + 1 + 2 * 7;
    EXPECT_EQ(w->size(), (bits + 7) / 8);
    // The geometry of window 1 follows num_windows.
    EXPECT_EQ(getBits(*w, 58, 16), 10u);
    EXPECT_EQ(getBits(*w, 58 + 16 * 6, 8), 90u);

    Result<Frame> r = parse(*w);
    ASSERT_TRUE(r.ok()) << r.status().message();
    EXPECT_EQ(*r, f);
}

TEST(Payload, WriterRefusesAFrameThatBreaksARuleAndNamesIt) {
    const struct {
        void (*edit)(Frame&);
        const char* message;
    } cases[] = {
        {[](Frame& f) { f.windows.clear(); }, "num_windows is 0, outside 1 to 3"},
        {[](Frame& f) { f.windows.push_back(f.windows[1]); }, "num_windows is 4, outside 1 to 3"},
        {[](Frame& f) { f.windows[0].geometry = WindowGeometry{}; },
         "windows[0].geometry is set; window 0 is the whole picture"},
        {[](Frame& f) { f.windows[2].geometry.reset(); }, "windows[2].geometry is missing"},
        {[](Frame& f) { f.windows[1].geometry->rotation_angle = 181; },
         "windows[1].rotation_angle is 181, above the largest allowed value 180"},
        {[](Frame& f) { f.windows[1].geometry->semimajor_axis_external_ellipse = 99; },
         "windows[1].semimajor_axis_external_ellipse is 99, outside 100 to 65535"},
        {[](Frame& f) { f.windows[2].maxscl[1] = 131072; },
         "windows[2].maxscl[1] is 131072, above the largest allowed value 131071"},
        {[](Frame& f) {
             f.windows[0].distribution.push_back({100, 0});
         },
         "windows[0].num_distribution_maxrgb_percentiles is 16, above the largest allowed "
         "value 15"},
        {[](Frame& f) { f.windows[1].distribution[3].percentage = 30; },
         "windows[1].distribution_maxrgb_percentages[4] is 28, below the entry before it (30)"},
        {[](Frame& f) { f.windows[0].tone_curve->knee_point_y = 4096; },
         "windows[0].knee_point_y is 4096, above the largest allowed value 4095"},
        {[](Frame& f) { f.windows[2].tone_curve->bezier_curve_anchors[14] = 1024; },
         "windows[2].bezier_curve_anchors[14] is 1024, above the largest allowed value 1023"},
        {[](Frame& f) { f.windows[1].color_saturation_weight = 64; },
         "windows[1].color_saturation_weight is 64, above the largest allowed value 63"},
        {[](Frame& f) { f.targeted_system_display_actual_peak_luminance->rows = 1; },
         "targeted_system_display_actual_peak_luminance.rows is 1, outside 2 to 25"},
        {[](Frame& f) { f.mastering_display_actual_peak_luminance->cols = 26; },
         "mastering_display_actual_peak_luminance.cols is 26, outside 2 to 25"},
        {[](Frame& f) { f.targeted_system_display_actual_peak_luminance->values.pop_back(); },
         "targeted_system_display_actual_peak_luminance.values has 5 entries, not 2 x 3"},
        {[](Frame& f) { f.targeted_system_display_actual_peak_luminance->values[5] = 16; },
         "targeted_system_display_actual_peak_luminance[5] is 16, above the largest allowed "
         "value 15"},
        {[](Frame& f) { f.application_version = 2; },
         "application_version is 2, above the largest allowed value 1"},
    };
    for (const auto& c : cases) {
        Frame f = everything();
        c.edit(f);
        Result<std::vector<uint8_t>> w = writePayload(f);
        ASSERT_FALSE(w.ok()) << c.message;
        EXPECT_EQ(w.status().message(), c.message);
        // The element is the location's key, and the sentence starts with it.
        EXPECT_EQ(w.status().kind(), ErrorKind::OutOfRange) << c.message;
        const std::string& key = w.status().where().key;
        EXPECT_FALSE(key.empty()) << c.message;
        EXPECT_EQ(std::string(c.message).rfind(key + " ", 0), 0u) << key;
    }
}

TEST(Payload, MatrixSidesOfTwoAndTwentyFiveAreTheLimitsOnBothSides) {
    for (unsigned side : {1u, 2u, 25u, 26u}) {
        Frame f = everything();
        f.mastering_display_actual_peak_luminance =
            PeakLuminanceMatrix{static_cast<uint8_t>(side), 2, std::vector<uint8_t>(side * 2, 7)};
        const bool allowed = side >= 2 && side <= 25;
        EXPECT_EQ(checkFrame(f).ok(), allowed) << side;
        if (!allowed) continue;
        Result<std::vector<uint8_t>> w = writePayload(f);
        ASSERT_TRUE(w.ok());
        EXPECT_TRUE(parse(*w).ok()) << side;
    }
    // The parser applies the same rule: set the targeted display's flag in
    // the real payload and the five bits after it become the rows.
    const size_t flagBit = kTargetedBit + 27;
    for (uint32_t rows : {1u, 26u}) {
        Result<Frame> r =
            parse(withBits(withBits(kSingleFrame, flagBit, 1, 1), flagBit + 1, 5, rows));
        ASSERT_FALSE(r.ok()) << rows;
        EXPECT_EQ(r.status().where().key, "num_rows_targeted_system_display_actual_peak_luminance");
        EXPECT_EQ(r.status().where().bitOffset.value(), flagBit + 1);
    }
    Result<Frame> r = parse(withBits(withBits(kSingleFrame, flagBit, 6, 0x22), flagBit + 6, 5, 0));
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.status().message(),
              "byte 11 (bit 3): num_cols_targeted_system_display_actual_peak_luminance is 0, "
              "outside 2 to 25");
}

}  // namespace
}  // namespace kestrel::hdr10plus
