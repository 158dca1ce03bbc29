// SPDX-License-Identifier: Apache-2.0
#include "dtm/knee_point_extractor.h"

#include <algorithm>
#include <typeinfo>

#include "common/numeric.h"

namespace kestrel {
int32_t splitPoint(int32_t a, int32_t b) {
    // Right shift of a negative int32 is arithmetic with every compiler we
    // build with (and guaranteed from C++20).
    return wrapAdd(a, b) >> 1;
}
}  // namespace kestrel

Node::Node(int32_t x0_, int32_t y0_, int32_t x1_, int32_t y1_, int32_t y_)
    : x0(x0_), y0(y0_), x1(x1_), y1(y1_), x(kestrel::splitPoint(x0_, x1_)), y(y_) {
    const int32_t miss = kestrel::wrapSub(y, kestrel::splitPoint(y0, y1));
    // |miss| in two's complement: the magnitude of INT32_MIN stays INT32_MIN.
    error = miss < 0 ? kestrel::wrapSub(0, miss) : miss;
}

bool compare(Node const& a, Node const& b) { return a.x < b.x; }

namespace {

// Ends the list of nodes in abscissa order.
constexpr uint32_t kNoNode = UINT32_MAX;

// The heap key of candidate `index` with the given miss: larger misses
// first, then older candidates (smaller indices) first.
inline uint64_t rankOf(int32_t error, uint32_t index) {
    const uint32_t miss = static_cast<uint32_t>(error) ^ 0x80000000u;
    return (static_cast<uint64_t>(miss) << 32) | static_cast<uint32_t>(~index);
}

}  // namespace

kneePointExtractor::kneePointExtractor(const curveData& curveIn) : curve(curveIn) {
    const int32_t xMax = curve.xMax;
    const int32_t yStart = curve.getY(0);
    nodes.push_back(Node(0, yStart, 0, yStart, yStart));
    mNext.push_back(1);
    const int32_t yEnd = curve.getY(xMax);
    nodes.push_back(Node(xMax, yEnd, xMax, yEnd, yEnd));
    mNext.push_back(kNoNode);
    const int32_t yMid = curve.getY(kestrel::splitPoint(0, xMax));
    const Node& whole = candidates.emplace_back(0, yStart, xMax, yEnd, yMid);
    mLeftNode.push_back(0);
    mQueue.push_back(rankOf(whole.error, 0));
}

void kneePointExtractor::select_from_candidate(int n) {
    choose(n);
    settle();
}

size_t kneePointExtractor::select_into(int n, uint32_t* xOut, uint32_t* yOut) {
    choose(n);
    if (!mSettled) {
        // The list's order is the abscissae's unless a sum of interval ends
        // wrapped around; then the nodes are settled (sorted) and read below.
        size_t count = 0;
        int32_t previous = INT32_MIN;
        bool ascending = true;
        for (uint32_t i = 0; i != kNoNode; i = mNext[i]) {
            const Node& node = nodes[i];
            ascending &= node.x >= previous;
            previous = node.x;
            xOut[count] = static_cast<uint32_t>(node.x);
            yOut[count] = static_cast<uint32_t>(node.y);
            count++;
        }
        if (ascending) return count;
        settle();
    }
    for (size_t i = 0; i < nodes.size(); i++) {
        xOut[i] = static_cast<uint32_t>(nodes[i].x);
        yOut[i] = static_cast<uint32_t>(nodes[i].y);
    }
    return nodes.size();
}

namespace {

// The chord's miss |y - ((y0 + y1) >> 1)| in two's complement: the magnitude
// of INT32_MIN stays INT32_MIN (as Node computes it).
inline int32_t missOf(int32_t y0, int32_t y1, int32_t y) {
    const int32_t miss = kestrel::wrapSub(y, kestrel::splitPoint(y0, y1));
    return miss < 0 ? kestrel::wrapSub(0, miss) : miss;
}

// Sifts key up from the new leaf heap[size] of a max-heap of size + 1 keys.
inline void heapPush(uint64_t* heap, size_t size, uint64_t key) {
    size_t hole = size;
    while (hole > 0) {
        const size_t parent = (hole - 1) / 2;
        if (heap[parent] > key) break;
        heap[hole] = heap[parent];
        hole = parent;
    }
    heap[hole] = key;
}

// Puts key at the top of a max-heap of `size` keys, in place of the top, and
// sifts it down. heap[size] must exist: it is set to a key that ranks below
// every real one, so that a missing right child loses without a test of its
// own (a real key's low word is never the complement of UINT32_MAX, as there
// are fewer candidates than that).
inline void heapReplaceTop(uint64_t* heap, size_t size, uint64_t key) {
    heap[size] = 0;
    size_t hole = 0;
    for (size_t child = 1; child < size; child = 2 * hole + 1) {
        child += heap[child + 1] > heap[child];
        if (heap[child] < key) break;
        heap[hole] = heap[child];
        hole = child;
    }
    heap[hole] = key;
}

// The candidate being chosen, held in registers: a candidate that goes
// straight from its making to its choice is never stored.
struct Current {
    int32_t x0, y0, x1, y1, y, error;
    uint32_t left;   // index in nodes of the node at x0
    uint32_t index;  // its age: the order of making
};

inline Current load(const Node* candidates, const uint32_t* leftNode, uint32_t index) {
    // The fields one by one: a copy of the whole node would be read back in
    // wider words than it was written in, which stalls the store.
    const Node& c = candidates[index];
    return Current{c.x0, c.y0, c.x1, c.y1, c.y, c.error, leftNode[index], index};
}

inline void store(Node* candidates, uint32_t* leftNode, const Current& c, int32_t x) {
    Node& n = candidates[c.index];
    n.x0 = c.x0;
    n.y0 = c.y0;
    n.x1 = c.x1;
    n.y1 = c.y1;
    n.x = x;
    n.y = c.y;
    n.error = c.error;
    leftNode[c.index] = c.left;
}

// Steps made between checks of the arrays' room when a table outgrows them.
constexpr size_t kStepsPerReserve = 1024;

}  // namespace

void kneePointExtractor::choose(int n) {
    // The gain curve's samples inline: no virtual call, and no registers of
    // the step saved around one, for the two samples of every step.
    if (typeid(curve) == typeid(OETFCurveData)) {
        const auto& gain = static_cast<const OETFCurveData&>(curve);
        chooseWith(n, [&gain](const int32_t* xs, int32_t* ys) {
            ys[0] = gain.sampleAt(xs[0]);
            ys[1] = gain.sampleAt(xs[1]);
        });
    } else {
        const curveData& any = curve;
        chooseWith(n, [&any](const int32_t* xs, int32_t* ys) { any.getYs(xs, ys, 2); });
    }
}

template <class Sampler>
void kneePointExtractor::chooseWith(int n, const Sampler& sample) {
    if (mSettled && n > 0) resume();
    if (n <= 0 || mQueue.empty()) return;
    // The candidate to choose next, already out of the queue. Of the two
    // intervals a split makes, the one with the larger miss is often the next
    // choice (always while the choice descends); when it outranks everything
    // queued it stays in registers, so that such a step stores and queues
    // one candidate instead of two.
    uint64_t* heap = mQueue.data();
    size_t queued = mQueue.size();
    Current cur = load(candidates.data(), mLeftNode.data(), ~static_cast<uint32_t>(heap[0]));
    queued--;
    if (queued > 0) heapReplaceTop(heap, queued, heap[queued]);

    bool exhausted = false;  // every interval used up before n steps
    int i = 0;
    while (i < n && !exhausted) {
        // Room for the steps of this round in every array, so that the steps
        // themselves write through plain pointers without a check each: a
        // step adds one node, makes two candidates and queues at most one
        // more than it takes, and a heap keeps one slot behind its last key.
        const size_t want = std::min(static_cast<size_t>(n - i), kStepsPerReserve);
        size_t steps = std::min({want, nodes.capacity() - nodes.size(),
                                 (candidates.capacity() - candidates.size()) / 2});
        if (mQueue.capacity() < queued + 2) {
            steps = 0;
        } else {
            steps = std::min(steps, mQueue.capacity() - queued - 2);
        }
        if (steps == 0) {
            nodes.reserve(nodes.size() + want);
            mNext.reserve(nodes.size() + want);
            candidates.reserve(candidates.size() + 2 * want);
            mLeftNode.reserve(candidates.size() + 2 * want);
            mQueue.setSize(queued);
            mQueue.reserve(queued + want + 2);
            heap = mQueue.data();
            continue;
        }
        Node* const nodeData = nodes.data();
        uint32_t* const next = mNext.data();
        Node* const cand = candidates.data();
        uint32_t* const leftOf = mLeftNode.data();
        uint32_t nodeCount = static_cast<uint32_t>(nodes.size());
        uint32_t made = static_cast<uint32_t>(candidates.size());
        const int end = i + static_cast<int>(steps);
        for (; i < end; i++) {
            const int32_t x0 = cur.x0, y0 = cur.y0, x1 = cur.x1, y1 = cur.y1, y = cur.y;
            const int32_t x = kestrel::splitPoint(x0, x1);

            // An interval narrower than 3 has no inner point left that its
            // halves could add, so it is used up. The samples come first: the
            // next choice depends on their misses, and the bookkeeping below
            // does not, so it runs while they are computed.
            const bool split = kestrel::wrapSub(x1, x0) >= 3;
            const int32_t xLeft = kestrel::splitPoint(x0, x);
            const int32_t xRight = kestrel::splitPoint(x, x1);
            int32_t yLeft = 0, yRight = 0;
            if (split) {
                const int32_t xs[2] = {xLeft, xRight};
                int32_t ys[2];
                sample(xs, ys);
                yLeft = ys[0];
                yRight = ys[1];
            }

            // The split point lies between the interval's ends, and the node
            // at its left end is followed in the list by the one at its
            // right end.
            const uint32_t added = nodeCount++;
            Node& node = nodeData[added];
            node.x0 = x0;
            node.y0 = y0;
            node.x1 = x1;
            node.y1 = y1;
            node.x = x;
            node.y = y;
            node.error = cur.error;
            next[added] = next[cur.left];
            next[cur.left] = added;

            if (!split) {
                if (queued == 0) {
                    exhausted = true;
                    i++;
                    break;
                }
                cur = load(cand, leftOf, ~static_cast<uint32_t>(heap[0]));
                queued--;
                if (queued > 0) heapReplaceTop(heap, queued, heap[queued]);
                continue;
            }
            const Current leftHalf{x0, y0, x, y, yLeft, missOf(y0, y, yLeft), cur.left, made};
            const Current rightHalf{x, y, x1, y1, yRight, missOf(y, y1, yRight), added, made + 1};
            made += 2;
            const uint64_t keyLeft = rankOf(leftHalf.error, leftHalf.index);
            const uint64_t keyRight = rankOf(rightHalf.error, rightHalf.index);
            // Keys are distinct (their low words are), so the largest of the
            // three is one key.
            const bool leftHigher = keyLeft > keyRight;
            const Current& lower = leftHigher ? rightHalf : leftHalf;
            const Current& higher = leftHigher ? leftHalf : rightHalf;
            const uint64_t keyHigher = leftHigher ? keyLeft : keyRight;
            store(cand, leftOf, lower, leftHigher ? xRight : xLeft);
            heapPush(heap, queued++, leftHigher ? keyRight : keyLeft);
            if (heap[0] > keyHigher) {
                store(cand, leftOf, higher, leftHigher ? xLeft : xRight);
                cur = load(cand, leftOf, ~static_cast<uint32_t>(heap[0]));
                heapReplaceTop(heap, queued, keyHigher);
                continue;
            }
            cur = higher;
        }
        nodes.setSize(nodeCount);
        mNext.setSize(nodeCount);
        candidates.setSize(made);
        mLeftNode.setSize(made);
    }
    if (!exhausted) {
        // The n iterations are done and the next choice is out of the queue:
        // it goes back, so that selection can go on from the list and the
        // queue as they stand (settling keeps it either way, as a waiting
        // candidate).
        store(candidates.data(), mLeftNode.data(), cur, kestrel::splitPoint(cur.x0, cur.x1));
        heapPush(heap, queued++, rankOf(cur.error, cur.index));
    }
    mQueue.setSize(queued);
}

void kneePointExtractor::settle() {
    if (mSettled) return;
    // The nodes in the list's order, from the start point.
    SmallArray<Node, kInlineNodes> ordered;
    bool ascending = true;
    for (uint32_t i = 0; i != kNoNode; i = mNext[i]) {
        const Node& node = nodes[i];
        ascending &= ordered.empty() || node.x >= ordered.back().x;
        ordered.push_back(node);
    }
    std::copy(ordered.begin(), ordered.end(), nodes.begin());
    // Split points stay between their interval's ends unless the sum of the
    // ends wraps around, which only an xMax above 2^30 allows.
    if (!ascending) std::sort(nodes.begin(), nodes.end(), compare);

    // Only the waiting candidates stay, in the order they were made: the
    // queue holds exactly them, and each of them was stored when queued
    // (the slots of candidates chosen straight from their making were never
    // written).
    uint32_t* waiting = mLeftNode.data();  // reused: rebuilt by resume()
    const size_t count = mQueue.size();
    for (size_t k = 0; k < count; k++) waiting[k] = ~static_cast<uint32_t>(mQueue[k]);
    std::sort(waiting, waiting + count);
    Node* stored = candidates.data();
    // Ascending and distinct indices: index k is at least k, so the copies
    // only move entries towards the front.
    for (size_t k = 0; k < count; k++) stored[k] = stored[waiting[k]];
    candidates.truncate(count);
    mSettled = true;
}

void kneePointExtractor::resume() {
    // The sorted nodes are their own list.
    const size_t count = nodes.size();
    for (size_t i = 0; i < count; i++) mNext[i] = static_cast<uint32_t>(i + 1);
    mNext[count - 1] = kNoNode;
    // A waiting interval has no node inside it: its left end is the last node
    // at or before x0 (the last of two at one abscissa), and the next node is
    // its right end.
    mLeftNode.truncate(0);
    mQueue.truncate(0);
    for (size_t c = 0; c < candidates.size(); c++) {
        const auto after =
            std::upper_bound(nodes.begin(), nodes.end(), candidates[c],
                             [](const Node& a, const Node& b) { return a.x < b.x0; });
        // Where the ends wrapped around, x0 may lie before every node; any
        // node then serves, as the order is sorted out at the end.
        const ptrdiff_t leftEnd = std::max<ptrdiff_t>(after - nodes.begin() - 1, 0);
        mLeftNode.push_back(static_cast<uint32_t>(leftEnd));
        mQueue.push_back(rankOf(candidates[c].error, static_cast<uint32_t>(c)));
    }
    std::make_heap(mQueue.begin(), mQueue.end());
    mSettled = false;
}
