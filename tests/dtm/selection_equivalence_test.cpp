// SPDX-License-Identifier: Apache-2.0
// The knee-point extractor and the gain sampler against plain restatements of
// what they compute: the greedy choice as a linear scan over the candidates in
// the order they were made, with removal that closes the gap and a sort at the
// end, and the gain curve with every division and loop written out. Both run
// over the real frames beside the repository, adapted to many targets, over
// generated records, and over generated curves that reach the corners: ties
// everywhere, sums that wrap, ranges that run out, selection that goes on
// after a first call. Every table, node and waiting candidate has to agree,
// and so do the abscissae sampled, in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "common/numeric.h"
#include "dtm/adapted_tone_table.h"
#include "dtm/knee_point_extractor.h"
#include "dtm/meta2lut.h"
#include "hdr10plus/json.h"
#include "hdr10plus/record.h"
#include "metadata/tone_curve_adaptation.h"
#include "quality/frame_fixtures.h"

namespace {

// ---- The definitions, restated -------------------------------------------

int32_t half(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)) >> 1;
}

struct RefNode {
    int32_t x0, y0, x1, y1, x, y, error;
};

RefNode refNode(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t y) {
    const int32_t miss =
        static_cast<int32_t>(static_cast<uint32_t>(y) - static_cast<uint32_t>(half(y0, y1)));
    const int32_t error = miss < 0 ? static_cast<int32_t>(0u - static_cast<uint32_t>(miss)) : miss;
    return {x0, y0, x1, y1, half(x0, x1), y, error};
}

struct ReferenceExtractor {
    explicit ReferenceExtractor(const curveData& c) : curve(c) {
        const int32_t y0 = curve.getY(0);
        nodes.push_back(refNode(0, y0, 0, y0, y0));
        const int32_t yX = curve.getY(curve.xMax);
        nodes.push_back(refNode(curve.xMax, yX, curve.xMax, yX, yX));
        candidates.push_back(refNode(0, y0, curve.xMax, yX, curve.getY(half(0, curve.xMax))));
    }

    void select(int n) {
        for (int i = 0; i < n && !candidates.empty(); i++) {
            size_t best = 0;
            for (size_t k = 1; k < candidates.size(); k++) {
                if (candidates[k].error > candidates[best].error) best = k;
            }
            const RefNode c = candidates[best];
            candidates.erase(candidates.begin() + static_cast<std::ptrdiff_t>(best));
            nodes.push_back(c);
            if (static_cast<int32_t>(static_cast<uint32_t>(c.x1) - static_cast<uint32_t>(c.x0)) >=
                3) {
                candidates.push_back(refNode(c.x0, c.y0, c.x, c.y, curve.getY(half(c.x0, c.x))));
                candidates.push_back(refNode(c.x, c.y, c.x1, c.y1, curve.getY(half(c.x, c.x1))));
            }
        }
        std::stable_sort(nodes.begin(), nodes.end(),
                         [](const RefNode& a, const RefNode& b) { return a.x < b.x; });
    }

    const curveData& curve;
    std::vector<RefNode> nodes;
    std::vector<RefNode> candidates;
};

// The gain sampler, step by step: divisions by xMax as divisions, the Bezier
// sum with the anchor count read at every sample.
int32_t referenceGain(const _VelmorHdrDynamicInfo& m, int x) {
    static const float coeff[17][15] = {
        {0},
        {0},
        {2},
        {3, 3},
        {4, 6, 4},
        {5, 10, 10, 5},
        {6, 15, 20, 15, 6},
        {7, 21, 35, 35, 21, 7},
        {8, 28, 56, 70, 56, 28, 8},
        {9, 36, 84, 126, 126, 84, 36, 9},
        {10, 45, 120, 210, 252, 210, 120, 45, 10},
        {11, 55, 165, 330, 462, 462, 330, 165, 55, 11},
        {12, 66, 220, 495, 792, 924, 792, 495, 220, 66, 12},
        {13, 78, 286, 715, 1287, 1716, 1716, 1287, 715, 286, 78, 13},
        {14, 91, 364, 1001, 2002, 3003, 3432, 3003, 2002, 1001, 364, 91, 14},
        {15, 105, 455, 1365, 3003, 5005, 6435, 6435, 5005, 3003, 1365, 455, 105, 15},
        {16, 120, 560, 1820, 4368, 8008, 11440, 12870, 11440, 8008, 4368, 1820, 560, 120, 16},
    };
    const int32_t xMax = 134217728;
    const unsigned n = std::min<unsigned>(m.num_bezier_curve_anchors, 15);
    const float kx = static_cast<float>(m.knee_point_x / 4095.0);
    const float ky = static_cast<float>(m.knee_point_y / 4095.0);
    const double t = static_cast<double>(x) / static_cast<double>(xMax);
    float y;
    if (t < kx || (kx == 1.0f && x == xMax)) {
        const float slope = kx > 0 ? ky / kx : 0.0f;
        const double line = (static_cast<double>(slope) * x) / xMax;
        y = static_cast<float>(line < 0.0 ? 0.0 : line > 1.0 ? 1.0 : line);
    } else {
        const float u = static_cast<float>((t - kx) / static_cast<double>(1.0f - kx));
        const float v = 1.0f - u;
        float powX[15], powDX[15];
        float sum = 0.0f;
        float bezier = u;
        if (n > 0) {
            powX[0] = u;
            powDX[0] = v;
            for (unsigned k = 1; k < n; k++) {
                powX[k] = powX[k - 1] * u;
                powDX[k] = v * powDX[k - 1];
            }
            for (unsigned j = 0; j < n; j++) {
                float c = coeff[n + 1][j] * powX[j];
                c = c * powDX[n - 1 - j];
                sum = static_cast<float>((m.bezier_curve_anchors[j] / 1023.0) * c + sum);
            }
            bezier = sum + powX[n - 1] * u;
        }
        y = (1.0f - ky) * bezier + ky;
    }
    const float gain =
        ((y * static_cast<float>(xMax)) * 1048575.0f) / static_cast<float>(x == 0 ? 1 : x);
    if (!(gain == gain)) return 0;
    if (gain >= 2147483647.0f) return INT32_MAX;
    if (gain <= -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(gain);
}

// ---- Curves and records ----------------------------------------------------

// A curve given by a function, recording where it is sampled.
class FunctionCurve : public curveData {
public:
    FunctionCurve(int32_t xMax, std::function<int32_t(int)> f)
        : curveData(_VelmorHdrDynamicInfo{}, xMax, 0), mF(std::move(f)) {}
    int32_t getY(int x) const override {
        sampled.push_back(x);
        return mF(x);
    }
    mutable std::vector<int> sampled;

private:
    std::function<int32_t(int)> mF;
};

// Another curve, recording where it is sampled.
class RecordingCurve : public curveData {
public:
    explicit RecordingCurve(const curveData& inner)
        : curveData(inner.meta, inner.xMax, inner.peakLuminance), mInner(inner) {}
    int32_t getY(int x) const override {
        sampled.push_back(x);
        return mInner.getY(x);
    }
    mutable std::vector<int> sampled;

private:
    const curveData& mInner;
};

uint64_t mix(uint64_t z) {
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// ---- Comparison ------------------------------------------------------------

// Where the curve was sampled: the definition's abscissae, in its order.
bool sameSamples(const std::vector<int>& got, const std::vector<int>& want,
                 const std::string& what) {
    EXPECT_EQ(got, want) << what;
    return got == want;
}

// Runs both over the curve with the given sequence of calls and compares
// everything the caller can read. Returns false after the first difference.
bool sameSelection(const curveData& curve, const std::vector<int>& calls, const std::string& what) {
    const RecordingCurve forNew(curve), forReference(curve);
    kneePointExtractor fast(forNew);
    ReferenceExtractor plain(forReference);
    for (int n : calls) {
        fast.select_from_candidate(n);
        plain.select(n);
        std::vector<std::pair<int32_t, int32_t>> got, want;
        for (const Node& p : fast.nodes) got.emplace_back(p.x, p.y);
        for (const RefNode& p : plain.nodes) want.emplace_back(p.x, p.y);
        EXPECT_EQ(got, want) << what << " after select(" << n << ")";
        if (got != want) return false;
        EXPECT_EQ(fast.candidates.size(), plain.candidates.size()) << what;
        if (fast.candidates.size() != plain.candidates.size()) return false;
        for (size_t i = 0; i < plain.candidates.size(); i++) {
            const Node& a = fast.candidates[i];
            const RefNode& b = plain.candidates[i];
            const bool same = a.x0 == b.x0 && a.y0 == b.y0 && a.x1 == b.x1 && a.y1 == b.y1 &&
                              a.x == b.x && a.y == b.y && a.error == b.error;
            EXPECT_TRUE(same) << what << ": waiting candidate " << i << " [" << a.x0 << ", " << a.x1
                              << "] vs [" << b.x0 << ", " << b.x1 << "]";
            if (!same) return false;
        }
    }
    if (!sameSamples(forNew.sampled, forReference.sampled, what)) return false;

    // The same calls through select_into, which reads the points off the
    // list without settling, and then a settling call that must find the
    // arrays as select_from_candidate would have left them.
    kneePointExtractor direct(curve);
    ReferenceExtractor again(curve);
    size_t room = 2;  // the points chosen so far and n more
    for (int n : calls) {
        again.select(n);
        room += static_cast<size_t>(std::max(n, 0));
        // Sentinels behind the room the caller gives: nothing may be written there.
        std::vector<uint32_t> xs(room + 1, 0xA5A5A5A5u), ys(room + 1, 0x5A5A5A5Au);
        const size_t written = direct.select_into(n, xs.data(), ys.data());
        std::vector<std::pair<int32_t, int32_t>> got, want;
        for (size_t i = 0; i < written && i < room; i++) {
            got.emplace_back(static_cast<int32_t>(xs[i]), static_cast<int32_t>(ys[i]));
        }
        for (const RefNode& p : again.nodes) want.emplace_back(p.x, p.y);
        EXPECT_EQ(got, want) << what << " after select_into(" << n << ")";
        EXPECT_LE(written, room) << what;
        EXPECT_EQ(xs[room], 0xA5A5A5A5u) << what;
        EXPECT_EQ(ys[room], 0x5A5A5A5Au) << what;
        if (got != want || written > room) return false;
    }
    direct.select_from_candidate(0);
    EXPECT_EQ(direct.nodes.size(), again.nodes.size()) << what;
    EXPECT_EQ(direct.candidates.size(), again.candidates.size()) << what;
    if (direct.nodes.size() != again.nodes.size()) return false;
    if (direct.candidates.size() != again.candidates.size()) return false;
    for (size_t i = 0; i < again.nodes.size(); i++) {
        const bool same =
            direct.nodes[i].x == again.nodes[i].x && direct.nodes[i].y == again.nodes[i].y;
        EXPECT_TRUE(same) << what << ": settled node " << i;
        if (!same) return false;
    }
    for (size_t i = 0; i < again.candidates.size(); i++) {
        const bool same = direct.candidates[i].x0 == again.candidates[i].x0 &&
                          direct.candidates[i].x1 == again.candidates[i].x1 &&
                          direct.candidates[i].y == again.candidates[i].y;
        EXPECT_TRUE(same) << what << ": settled candidate " << i;
        if (!same) return false;
    }
    return true;
}

struct Table {
    std::vector<unsigned> x, y;
};

// The entry points' table layout, from the restated selection.
Table referenceTable(const curveData& curve, unsigned count) {
    ReferenceExtractor e(curve);
    e.select(static_cast<int32_t>(count - 2u));
    Table t;
    for (const RefNode& p : e.nodes) {
        t.x.push_back(static_cast<uint32_t>(p.x));
        t.y.push_back(static_cast<uint32_t>(p.y));
    }
    t.x.back() -= t.x[t.x.size() - 2];
    t.y.back() -= t.y[t.y.size() - 2];
    return t;
}

Table dtmTable(const _VelmorHdrDynamicInfo& record, unsigned target, unsigned count) {
    Table t{std::vector<unsigned>(std::max(count, 2u)), std::vector<unsigned>(std::max(count, 2u))};
    _VelmorHdrDynamicInfo copy = record;
    meta2lut_dtm(target, 4000, &copy, t.x.data(), t.y.data(), count);
    return t;
}

Table eotfTable(const _VelmorHdrDynamicInfo& record, unsigned peak, unsigned count) {
    Table t{std::vector<unsigned>(std::max(count, 2u)), std::vector<unsigned>(std::max(count, 2u))};
    _VelmorHdrDynamicInfo copy = record;
    meta2lut_eotf(peak, &copy, t.x.data(), t.y.data(), count);
    return t;
}

_VelmorHdrDynamicInfo adapted(const _VelmorHdrDynamicInfo& record, unsigned target) {
    _VelmorHdrDynamicInfo copy = record;
    meta2meta(target, 4000, copy);
    return copy;
}

// Every table of the record at these targets, against the restated path.
void expectSameTables(const _VelmorHdrDynamicInfo& record, const std::vector<unsigned>& targets,
                      const std::string& what) {
    for (unsigned target : targets) {
        const _VelmorHdrDynamicInfo adaptedCopy = adapted(record, target);
        const OETFCurveData curve(adaptedCopy);
        const Table want = referenceTable(curve, 33);
        const Table got = dtmTable(record, target, 33);
        ASSERT_EQ(got.x, want.x) << what << " at " << target << " cd/m²";
        ASSERT_EQ(got.y, want.y) << what << " at " << target << " cd/m²";
        // The entry that also returns the curve: the same table, and the
        // curve it was sampled from.
        _VelmorHdrDynamicInfo working = record;
        Table withCurve{std::vector<unsigned>(33), std::vector<unsigned>(33)};
        kestrel::adaptAndTabulate(target, 4000, working, withCurve.x.data(), withCurve.y.data(),
                                  33);
        ASSERT_EQ(withCurve.x, got.x) << what << " at " << target << " cd/m²";
        ASSERT_EQ(withCurve.y, got.y) << what << " at " << target << " cd/m²";
        ASSERT_EQ(std::memcmp(&working, &adaptedCopy, sizeof working), 0) << what;
        const EOTFCurveData pq(record, target);
        const Table wantPq = referenceTable(pq, 33);
        const Table gotPq = eotfTable(record, target, 33);
        ASSERT_EQ(gotPq.x, wantPq.x) << what << " PQ, peak " << target;
        ASSERT_EQ(gotPq.y, wantPq.y) << what << " PQ, peak " << target;
        ASSERT_TRUE(sameSelection(curve, {31}, what));
    }
}

std::vector<_VelmorHdrDynamicInfo> realRecords() {
    std::vector<_VelmorHdrDynamicInfo> records;
    const std::string dir = KESTREL_HDR10PLUS_DIR;
    if (dir.empty()) return records;
    for (const char* name : {"single-frame-metadata.json", "metadata-dhdr10-opt.json",
                             "regular_metadata.json", "verification-clips.json"}) {
        std::ifstream in(dir + "/" + name, std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
        const kestrel::Result<kestrel::hdr10plus::JsonDocument> read =
            kestrel::hdr10plus::readJsonDocument(text.data(), text.size());
        if (!read.ok()) continue;
        for (const kestrel::hdr10plus::JsonFrame& f : read->frames) {
            records.push_back(kestrel::hdr10plus::toRecord(f.frame));
        }
    }
    return records;
}

_VelmorHdrDynamicInfo generatedRecord(std::mt19937& rng) {
    auto pick = [&rng](uint32_t low, uint32_t high) {
        return std::uniform_int_distribution<uint32_t>(low, high)(rng);
    };
    _VelmorHdrDynamicInfo r;
    std::memset(&r, 0, sizeof r);
    r.targeted_system_display_maximum_luminance = pick(0, 3) == 0 ? pick(0, 10000) : 1000;
    for (uint32_t& m : r.maxscl) m = pick(0, 100000);
    r.num_distribution_maxrgb_percentiles = static_cast<uint8_t>(pick(0, 10));
    for (unsigned i = 0; i < r.num_distribution_maxrgb_percentiles; i++) {
        r.distribution_maxrgb_percentages[i] = static_cast<uint8_t>(pick(0, 100));
        r.distribution_maxrgb_percentiles[i] = pick(0, 100000);
    }
    r.tone_mapping_flag = static_cast<uint8_t>(pick(0, 1));
    // Knee points at the ends as often as inside.
    const uint32_t ends[] = {0, 1, 4094, 4095};
    r.knee_point_x = static_cast<uint16_t>(pick(0, 1) ? ends[pick(0, 3)] : pick(0, 4095));
    r.knee_point_y = static_cast<uint16_t>(pick(0, 1) ? ends[pick(0, 3)] : pick(0, 4095));
    r.num_bezier_curve_anchors = static_cast<uint16_t>(pick(0, 7) == 0 ? pick(0, 40) : pick(0, 15));
    for (uint16_t& a : r.bezier_curve_anchors) {
        a = static_cast<uint16_t>(pick(0, 9) == 0 ? pick(0, 65535) : pick(0, 1023));
    }
    return r;
}

// ---- Tests -------------------------------------------------------------------

TEST(SelectionEquivalence, RealFramesAtManyTargets) {
    const std::vector<_VelmorHdrDynamicInfo> records = realRecords();
    if (records.empty()) GTEST_SKIP() << "no HDR10+ metadata in " << KESTREL_HDR10PLUS_DIR;
    EXPECT_GE(records.size(), 352u);
    quality::SilenceOutput quiet(true);
    for (size_t i = 0; i < records.size(); i++) {
        const unsigned own = records[i].targeted_system_display_maximum_luminance;
        expectSameTables(records[i], {100, 203, 400, 600, 1000, 4000, 10000, own},
                         "real frame " + std::to_string(i));
    }
}

TEST(SelectionEquivalence, GeneratedRecordsAndTableSizes) {
    std::mt19937 rng(20261207);
    quality::SilenceOutput quiet(true);
    for (int i = 0; i < 1500; i++) {
        const _VelmorHdrDynamicInfo r = generatedRecord(rng);
        const unsigned target = std::uniform_int_distribution<unsigned>(0, 12000)(rng);
        expectSameTables(r, {target}, "generated record " + std::to_string(i));
    }
    // Sizes around the hardware's, those that select nothing, and tables
    // larger than the extractor keeps in place.
    for (unsigned count : {0u, 1u, 2u, 3u, 4u, 32u, 34u, 65u, 200u}) {
        const _VelmorHdrDynamicInfo r = generatedRecord(rng);
        const OETFCurveData curve(adapted(r, 600));
        const Table want = referenceTable(curve, count);
        const Table got = dtmTable(r, 600, count);
        EXPECT_EQ(got.x, want.x) << count;
        EXPECT_EQ(got.y, want.y) << count;
        const EOTFCurveData pq(r, 1000);
        EXPECT_EQ(eotfTable(r, 1000, count).x, referenceTable(pq, count).x) << count;
        EXPECT_EQ(eotfTable(r, 1000, count).y, referenceTable(pq, count).y) << count;
    }
}

TEST(SelectionEquivalence, GainSamplerMatchesItsDefinition) {
    std::mt19937 rng(7);
    std::vector<_VelmorHdrDynamicInfo> records = realRecords();
    for (int i = 0; i < 2000; i++) records.push_back(generatedRecord(rng));
    quality::SilenceOutput quiet(true);
    size_t checked = 0;
    for (const _VelmorHdrDynamicInfo& raw : records) {
        // The record as it comes, and adapted as the table sees it.
        for (const _VelmorHdrDynamicInfo& r : {raw, adapted(raw, 600)}) {
            const OETFCurveData curve(r);
            const int32_t knee =
                static_cast<int32_t>(static_cast<float>(r.knee_point_x / 4095.0) * 134217728.0);
            std::vector<int> xs = {0,    1,        2,        3,         knee - 1,
                                   knee, knee + 1, 67108864, 134217727, 134217728};
            for (int k = 0; k < 8; k++) {
                xs.push_back(std::uniform_int_distribution<int>(0, 134217728)(rng));
            }
            xs.erase(
                std::remove_if(xs.begin(), xs.end(), [](int x) { return x < 0 || x > 134217728; }),
                xs.end());
            for (int x : xs) {
                ASSERT_EQ(curve.getY(x), referenceGain(r, x))
                    << "x " << x << ", anchors " << r.num_bezier_curve_anchors;
                checked++;
            }
            // The same abscissae in one batch, which the sampler computes
            // several lanes at a time, from every starting lane.
            for (size_t from = 0; from < 5 && from < xs.size(); from++) {
                std::vector<int32_t> ys(xs.size() - from);
                curve.getYs(xs.data() + from, ys.data(), ys.size());
                for (size_t k = 0; k < ys.size(); k++) {
                    ASSERT_EQ(ys[k], referenceGain(r, xs[from + k]))
                        << "batch from " << from << ", x " << xs[from + k] << ", anchors "
                        << r.num_bezier_curve_anchors << ", knee " << r.knee_point_x;
                }
            }
        }
    }
    EXPECT_GT(checked, 50000u);
}

// A descent towards 0 samples x = 2^m and 3 2^m, whose straight-segment
// samples the sampler reads from those at 1 and 3. Every power of two times
// small odd numbers, and its neighbours, against the definition: knees where
// the segment is clamped at 1 (knee_point_y above 4095), ends at the range's
// end (knee_point_x 4095), is flat, or is missing; and slopes of exactly 2
// and just below and above it, whose clamp starts right after 2^26.
TEST(SelectionEquivalence, GainSamplerAtScaledAbscissaeMatchesItsDefinition) {
    struct Knee {
        uint16_t x, y;
    };
    const Knee knees[] = {{191, 900},   {4094, 4095}, {4095, 4095}, {4095, 2000}, {2048, 65535},
                          {3000, 8190}, {1, 4095},    {100, 0},     {0, 4095},    {4095, 40000},
                          {2457, 4914}, {2457, 4913}, {2457, 4915}};
    std::vector<_VelmorHdrDynamicInfo> records;
    for (const Knee& k : knees) {
        _VelmorHdrDynamicInfo r;
        std::memset(&r, 0, sizeof r);
        r.knee_point_x = k.x;
        r.knee_point_y = k.y;
        r.num_bezier_curve_anchors = 3;
        r.bezier_curve_anchors[0] = 300;
        r.bezier_curve_anchors[1] = 600;
        r.bezier_curve_anchors[2] = 900;
        records.push_back(r);
    }
    const std::vector<_VelmorHdrDynamicInfo> real = realRecords();
    for (size_t i = 0; i < real.size(); i += 16) records.push_back(adapted(real[i], 600));
    size_t clamped = 0;
    for (const _VelmorHdrDynamicInfo& r : records) {
        const OETFCurveData curve(r);
        std::vector<int32_t> xs;
        for (int m = 0; m <= 27; m++) {
            for (int64_t odd : {1, 3, 5}) {
                const int64_t x = odd << m;
                for (int64_t near : {x - 1, x, x + 1}) {
                    if (near >= 0 && near <= 134217728) xs.push_back(static_cast<int32_t>(near));
                }
            }
        }
        std::vector<int32_t> batch(xs.size());
        curve.getYs(xs.data(), batch.data(), xs.size());
        for (size_t k = 0; k < xs.size(); k++) {
            const int32_t want = referenceGain(r, xs[k]);
            ASSERT_EQ(curve.getY(xs[k]), want)
                << "x " << xs[k] << ", knee (" << r.knee_point_x << ", " << r.knee_point_y << ")";
            ASSERT_EQ(batch[k], want) << "batch, x " << xs[k];
            // The clamp at 1 shows as a gain of 2^27 * 1048575 / x.
            if (xs[k] > 4) {
                clamped +=
                    want == kestrel::truncateToInt32((static_cast<float>(134217728) * 1048575.0f) /
                                                     static_cast<float>(xs[k]));
            }
        }
    }
    EXPECT_GT(clamped, 0u);  // the clamp is reached, so its guard is exercised
}

TEST(SelectionEquivalence, GeneratedCurvesTiesWrapAndRangesThatRunOut) {
    std::mt19937 rng(1234);
    const int32_t ranges[] = {0,    1,     2,       3,          4,          5,          6,
                              7,    8,     9,       16,         100,        1023,       1024,
                              4097, 65536, 1 << 27, 1073741823, 1073741824, 1073741825, INT32_MAX};
    int cases = 0;
    for (int32_t xMax : ranges) {
        for (int kind = 0; kind < 6; kind++) {
            for (int rep = 0; rep < 12; rep++) {
                const uint64_t seed = mix(static_cast<uint64_t>(cases));
                std::function<int32_t(int)> f;
                switch (kind) {
                    case 0:  // few values: ties everywhere
                        f = [seed](int x) { return static_cast<int32_t>(mix(seed ^ x) % 3); };
                        break;
                    case 1:  // any int32: sums wrap
                        f = [seed](int x) { return static_cast<int32_t>(mix(seed ^ x)); };
                        break;
                    case 2:  // saturated ends around smaller values
                        f = [seed](int x) {
                            const uint64_t h = mix(seed ^ x);
                            return h % 4 == 0   ? INT32_MAX
                                   : h % 4 == 1 ? INT32_MIN
                                                : static_cast<int32_t>(h % 1000);
                        };
                        break;
                    case 3:  // straight: every miss 0
                        f = [](int x) { return x; };
                        break;
                    case 4:  // steps
                        f = [seed](int x) {
                            return static_cast<int32_t>(static_cast<uint32_t>(x >> (seed % 20)) *
                                                        7u);
                        };
                        break;
                    default:  // smooth with noise
                        f = [seed](int x) {
                            return static_cast<int32_t>(x / 3 +
                                                        static_cast<int32_t>(mix(seed ^ x) % 5));
                        };
                        break;
                }
                const FunctionCurve curve(xMax, f);
                // Selection in one call, and in two calls that go on where the
                // first stopped; counts from none to more than the range holds.
                const int first = std::uniform_int_distribution<int>(-2, 40)(rng);
                const int second =
                    std::uniform_int_distribution<int>(0, rep % 4 == 0 ? 300 : 40)(rng);
                const std::string what = "xMax " + std::to_string(xMax) + ", kind " +
                                         std::to_string(kind) + ", calls " + std::to_string(first) +
                                         " then " + std::to_string(second);
                ASSERT_TRUE(sameSelection(curve, {first, second}, what));
                ASSERT_TRUE(sameSelection(curve, {first + second}, what));
                cases++;
            }
        }
    }
    EXPECT_EQ(cases, 21 * 6 * 12);
}

// The extractor makes room for its steps in rounds of at most 1024 (its
// arrays outgrow their inline room past 33 points): selections of 1,500 and
// more steps, in one call and in two, up to a range that runs out.
TEST(SelectionEquivalence, SelectionsOverSeveralRoundsOfRoom) {
    const FunctionCurve noisy(4096, [](int x) { return static_cast<int32_t>(mix(x) % 1000); });
    const FunctionCurve smooth(4096,
                               [](int x) { return x / 3 + static_cast<int32_t>(mix(x) % 5); });
    for (const FunctionCurve* curve : {&noisy, &smooth}) {
        ASSERT_TRUE(sameSelection(*curve, {1500}, "1500 steps"));
        ASSERT_TRUE(sameSelection(*curve, {1023, 1025}, "1023 then 1025 steps"));
        ASSERT_TRUE(sameSelection(*curve, {5000}, "more steps than the range holds"));
    }
}

}  // namespace
