// Greedy choice of look-up-table points along a sampled curve. Starting from
// the two end points, each iteration adds the midpoint of the interval whose
// chord misses the curve the most there, so points gather where the curve
// bends and the hardware's linear interpolation follows it closely.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/export.h"
#include "dtm/curve_samplers.h"

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

// A growable array of nodes that keeps its first kInline entries in the
// object itself, so that a table of the hardware's size never touches the
// heap; larger requests spill into a std::vector.
template <size_t kInline>
class NodeArray {
public:
    size_t size() const { return mSize; }
    bool empty() const { return mSize == 0; }
    Node* begin() { return data(); }
    Node* end() { return data() + mSize; }
    const Node* begin() const { return data(); }
    const Node* end() const { return data() + mSize; }
    Node& operator[](size_t i) { return data()[i]; }
    const Node& operator[](size_t i) const { return data()[i]; }

    void push_back(const Node& node) {
        if (mHeap.empty()) {
            if (mSize < kInline) {
                mInline[mSize++] = node;
                return;
            }
            mHeap.reserve(2 * kInline + 2);
            mHeap.assign(mInline.begin(), mInline.begin() + mSize);
        }
        mHeap.push_back(node);
        mSize++;
    }

    // Removes entry i and closes the gap, keeping the order of the rest.
    void erase(size_t i) {
        if (mHeap.empty()) {
            for (size_t k = i + 1; k < mSize; k++) mInline[k - 1] = mInline[k];
        } else {
            mHeap.erase(mHeap.begin() + static_cast<std::ptrdiff_t>(i));
        }
        mSize--;
    }

private:
    // Once spilled, the entries live in mHeap until it empties again.
    Node* data() { return mHeap.empty() ? mInline.data() : mHeap.data(); }
    const Node* data() const { return mHeap.empty() ? mInline.data() : mHeap.data(); }

    std::array<Node, kInline> mInline;
    std::vector<Node> mHeap;
    size_t mSize = 0;
};

class kneePointExtractor {
public:
    // A 33-point table: the two end points and 31 chosen points. At any time
    // there are at most one more candidates than iterations done.
    static constexpr size_t kInlineNodes = 33;
    static constexpr size_t kInlineCandidates = kInlineNodes - 1;

    // Samples the curve at 0, xMax and xMax >> 1: the two end points and the
    // whole range as the first candidate. The curve must outlive the extractor.
    explicit kneePointExtractor(const curveData& curve);

    // Runs n iterations, or fewer when no candidate is left, then sorts
    // nodes by abscissa. n below 1 only sorts.
    void select_from_candidate(int n);

    NodeArray<kInlineNodes> nodes;            // points chosen so far
    NodeArray<kInlineCandidates> candidates;  // intervals not yet split, oldest first
    const curveData& curve;
};
