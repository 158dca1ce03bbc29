// SPDX-License-Identifier: Apache-2.0
// Greedy choice of look-up-table points along a sampled curve. Starting from
// the two end points, each iteration adds the midpoint of the interval whose
// chord misses the curve the most there, so points gather where the curve
// bends and the hardware's linear interpolation follows it closely.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/export.h"
#include "dtm/curve_samplers.h"
#include "dtm/small_array.h"
#include "plugin/hdrCoef.h"

// One point with the interval [x0, x1] whose split produced it. Sums wrap
// around in 32 bits and halving is an arithmetic shift (rounds toward minus
// infinity), as the hardware's table arithmetic does.
struct Node {
    int32_t x0 = 0;
    int32_t y0 = 0;
    int32_t x1 = 0;
    int32_t y1 = 0;
    int32_t x = 0;      // (x0 + x1) >> 1, the point's abscissa
    int32_t y = 0;      // the curve at x
    int32_t error = 0;  // |y - ((y0 + y1) >> 1)|, the chord's miss at x

    Node() = default;
    // y is the curve's value at (x0 + x1) >> 1.
    Node(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t y);
};

// Orders nodes by abscissa (signed).
KESTREL_EXPORT bool compare(Node const& a, Node const& b);

namespace kestrel {
// (a + b) >> 1 with 32-bit wrap-around: the split point of an interval.
int32_t splitPoint(int32_t a, int32_t b);
}  // namespace kestrel

// The extractor's arrays of nodes (see SmallArray).
template <size_t kInline>
using NodeArray = SmallArray<Node, kInline>;

// Selection, with n iterations and so n + 2 points:
// - the 3 + 2n curve samples the choice needs, in the order it needs them:
//   the two halves of each step's interval in one call of getYs (the gain
//   curve's sampler, OETFCurveData, called directly, without the virtual call);
// - the candidate with the largest miss is found through a binary max-heap
//   keyed on (miss, age): O(log n) per iteration, O(n log n) in all, where a
//   scan over the candidates was O(n) per iteration and O(n^2) in all. The
//   larger half of a split skips the heap when it outranks the heap's top,
//   so a step of a descent queues only the smaller half;
// - the points are kept in abscissa order as they are chosen, in a list
//   threaded through the nodes (each candidate knows the node at its left end,
//   and a split point goes right after it), so ordering them at the end is one
//   O(n) walk instead of an O(n log n) sort. A sort remains only as the
//   fallback for curves whose abscissae wrap around in 32 bits, where the
//   walk's order is not the order of the signed abscissae.
// The choice itself is the plain greedy one: the same candidates, chosen in
// the same order, ties going to the oldest.
class kneePointExtractor {
public:
    // A 33-point table: the two end points and 31 chosen points. Every
    // iteration makes at most two candidates, so 2n + 1 are made in all, and
    // at most n + 1 of them wait at any time.
    static constexpr size_t kInlineNodes = kestrel::kTonePoints;
    static constexpr size_t kInlineCandidates = 2 * kInlineNodes - 1;

    // Samples the curve at 0, xMax and xMax >> 1: the two end points and the
    // whole range as the first candidate. The curve must outlive the extractor.
    explicit kneePointExtractor(const curveData& curve);

    // Runs n iterations, or fewer when no candidate is left, then sorts
    // nodes by abscissa. n below 1 only sorts.
    void select_from_candidate(int n);

    // Runs n iterations as select_from_candidate does and writes the points'
    // abscissae and ordinates in ascending abscissa into x and y, which hold
    // room for the points chosen so far and n more (n + 2 on a new
    // extractor); returns how many were written. The points are read off
    // the list they are kept in, so neither they nor the candidates are
    // moved: nodes and candidates stay as during selection until a call of
    // select_from_candidate (with any n) settles them.
    size_t select_into(int n, uint32_t* x, uint32_t* y);

    // Points chosen so far; in ascending abscissa after select_from_candidate.
    NodeArray<kInlineNodes> nodes;
    // Intervals not yet split, oldest first, after select_from_candidate.
    // During selection, entry i is the i-th interval made, written when it
    // was queued; an interval chosen straight from its making (held in
    // registers) leaves its entry unwritten.
    NodeArray<kInlineCandidates> candidates;
    const curveData& curve;

private:
    // The iterations of select_from_candidate, without settling.
    void choose(int n);
    // choose, with sample(xs, ys) writing the curve's samples at xs[0] and
    // xs[1]: the gain curve's inline, any other through getYs.
    template <class Sampler>
    void chooseWith(int n, const Sampler& sample);
    // Puts nodes in abscissa order and drops the chosen candidates.
    void settle();
    // Rebuilds the list, the left ends and the queue from the settled arrays,
    // for selection that goes on after select_from_candidate returned.
    void resume();

    // Max-heap of the waiting candidates: the high word is the miss (sign bit
    // flipped, so that unsigned order is signed order), the low word the
    // complement of the candidate's index, so that of equal misses the older
    // candidate ranks higher.
    SmallArray<uint64_t, kInlineNodes> mQueue;
    // For each queued candidate, the index in nodes of the node at its left
    // end. Candidates are stored (here and in candidates) only when queued:
    // one chosen straight from its making lives in registers.
    SmallArray<uint32_t, kInlineCandidates> mLeftNode;
    // For each node, the index of the node that follows it in abscissa order;
    // the end point (index 1) ends the list.
    SmallArray<uint32_t, kInlineNodes> mNext;
    // Whether nodes and candidates are in the form the caller reads.
    bool mSettled = false;
};
