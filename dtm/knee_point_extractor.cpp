// SPDX-License-Identifier: Apache-2.0
#include "dtm/knee_point_extractor.h"

#include <algorithm>

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

// The heap key of candidate `index`: larger misses first, then older
// candidates (smaller indices) first.
uint64_t rankOf(const Node& candidate, uint32_t index) {
    const uint32_t miss = static_cast<uint32_t>(candidate.error) ^ 0x80000000u;
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
    enqueue(makeCandidate(0, yStart, xMax, yEnd, yMid, 0));
}

inline uint64_t kneePointExtractor::makeCandidate(int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                                                  int32_t y, uint32_t leftNode) {
    const uint32_t index = static_cast<uint32_t>(candidates.size());
    const Node& candidate = candidates.emplace_back(x0, y0, x1, y1, y);
    mLeftNode.push_back(leftNode);
    return rankOf(candidate, index);
}

inline void kneePointExtractor::enqueue(uint64_t key) {
    // Sift up from the new leaf.
    size_t hole = mQueue.size();
    mQueue.push_back(key);
    uint64_t* heap = mQueue.data();
    while (hole > 0) {
        const size_t parent = (hole - 1) / 2;
        if (heap[parent] > key) break;
        heap[hole] = heap[parent];
        hole = parent;
    }
    heap[hole] = key;
}

void kneePointExtractor::siftDown(uint64_t key) {
    uint64_t* heap = mQueue.data();
    const size_t size = mQueue.size();
    // The slot behind the last ranks below every key, so that a missing right
    // child loses without a test of its own (a real key's low word is never
    // the complement of UINT32_MAX, as there are fewer candidates than that).
    // The callers make sure that the slot exists.
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

uint32_t kneePointExtractor::takeBest() {
    const uint32_t best = ~static_cast<uint32_t>(mQueue[0]);
    const uint64_t last = mQueue.back();
    // The slot it leaves stays in the storage, behind the last.
    mQueue.pop_back();
    if (!mQueue.empty()) siftDown(last);
    return best;
}

uint32_t kneePointExtractor::exchangeBest(uint64_t key) {
    const uint32_t best = ~static_cast<uint32_t>(mQueue[0]);
    // Room for the slot behind the last (the one a removal leaves).
    mQueue.push_back(0);
    mQueue.pop_back();
    siftDown(key);
    return best;
}

namespace {

// The samples of one interval's two halves, taken ahead of its choice.
struct Ahead {
    int32_t x0, x1;         // the interval
    int32_t yLeft, yRight;  // the curve at the split points of its halves
};

// Most levels sampled ahead of a descent at once.
constexpr int kAheadLevels = 16;

}  // namespace

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

void kneePointExtractor::choose(int n) {
    if (mSettled && n > 0) resume();
    if (n <= 0 || mQueue.empty()) return;
    // While the choice descends towards one end of the range (a gain curve
    // starts at 0, so the halves at its left end miss the most, one after
    // another, down to x = 1), the intervals it will split are known before
    // the samples that decide it: the next half of the half just chosen.
    // Their samples are taken ahead, several levels in one call, so that
    // they are computed side by side instead of each step waiting for its
    // own. The depth doubles with every level that came true (1, 2, 4, ...),
    // so a descent that stops early wastes at most as many samples as it
    // used. A sample is a function of its abscissa alone, so a sample taken
    // ahead is the one the step would take; the choice is unchanged. Only
    // ranges without wrap-around are sampled ahead: there every interval
    // ahead lies inside the range.
    const bool lookAhead = curve.xMax >= 0 && curve.xMax <= (1 << 30);
    Ahead ahead[kAheadLevels];
    int aheadNext = 0, aheadEnd = 0;
    int descent = 0;  // consecutive steps into the same half
    bool leftward = false;

    // The candidate to choose next, already out of the queue. Of the two
    // intervals a split makes, the one with the larger miss is often the next
    // choice (always while the choice descends); when it outranks everything
    // queued it goes straight here, so that such a step queues one candidate
    // instead of queuing two and taking one back.
    uint32_t next = takeBest();
    for (int i = 0; i < n; i++) {
        // The fields one by one: a copy of the whole node would be read back
        // in wider words than it was written in, which stalls the store.
        const Node& chosen = candidates[next];
        const int32_t x0 = chosen.x0, y0 = chosen.y0, x1 = chosen.x1, y1 = chosen.y1;
        const int32_t x = chosen.x, y = chosen.y;

        // An interval narrower than 3 has no inner point left that its halves
        // could add, so it is used up. The samples come first: the next
        // choice depends on their misses, and the bookkeeping below does not,
        // so it runs while they are computed.
        const bool split = kestrel::wrapSub(x1, x0) >= 3;
        int32_t yLeft = 0, yRight = 0;
        if (split) {
            if (aheadNext < aheadEnd && ahead[aheadNext].x0 == x0 && ahead[aheadNext].x1 == x1) {
                yLeft = ahead[aheadNext].yLeft;
                yRight = ahead[aheadNext].yRight;
                aheadNext++;
            } else {
                const int32_t xs[2] = {kestrel::splitPoint(x0, x), kestrel::splitPoint(x, x1)};
                int32_t ys[2];
                curve.getYs(xs, ys, 2);
                yLeft = ys[0];
                yRight = ys[1];
            }
        }

        const uint32_t left = mLeftNode[next];
        mLeftNode[next] = kChosen;
        nodes.push_back(candidates[next]);
        // The split point lies between the interval's ends, and the node at
        // its left end is followed in the list by the one at its right end.
        const uint32_t added = static_cast<uint32_t>(nodes.size() - 1);
        const uint32_t right = mNext[left];
        mNext.push_back(right);
        mNext[left] = added;

        if (!split) {
            if (mQueue.empty()) return;
            next = takeBest();
            descent = 0;
            continue;
        }
        const uint64_t keyLeft = makeCandidate(x0, y0, x, y, yLeft, left);
        const uint64_t keyRight = makeCandidate(x, y, x1, y1, yRight, added);
        const bool leftHigher = keyLeft > keyRight;
        const uint64_t higher = leftHigher ? keyLeft : keyRight;
        const uint64_t lower = leftHigher ? keyRight : keyLeft;
        // Keys are distinct (their low words are), so the largest of the
        // three is one key.
        enqueue(lower);
        if (!mQueue.empty() && mQueue[0] > higher) {
            next = exchangeBest(higher);
            descent = 0;
            continue;
        }
        next = ~static_cast<uint32_t>(higher);
        descent = descent > 0 && leftHigher == leftward ? descent + 1 : 1;
        leftward = leftHigher;
        // The half chosen next is certain; the halves of its halves on the
        // same side are the guess.
        int32_t a = leftHigher ? x0 : x;
        int32_t b = leftHigher ? x : x1;
        const bool known =
            aheadNext < aheadEnd && ahead[aheadNext].x0 == a && ahead[aheadNext].x1 == b;
        if (known || !lookAhead) continue;
        const int levels = std::min(std::min(descent, kAheadLevels), n - i - 1);
        int32_t xs[2 * kAheadLevels];
        int32_t ys[2 * kAheadLevels];
        aheadNext = 0;
        aheadEnd = 0;
        while (aheadEnd < levels && b - a >= 3) {
            const int32_t m = kestrel::splitPoint(a, b);
            ahead[aheadEnd].x0 = a;
            ahead[aheadEnd].x1 = b;
            xs[2 * aheadEnd] = kestrel::splitPoint(a, m);
            xs[2 * aheadEnd + 1] = kestrel::splitPoint(m, b);
            aheadEnd++;
            if (leftHigher) {
                b = m;
            } else {
                a = m;
            }
        }
        curve.getYs(xs, ys, static_cast<size_t>(2 * aheadEnd));
        for (int k = 0; k < aheadEnd; k++) {
            ahead[k].yLeft = ys[2 * k];
            ahead[k].yRight = ys[2 * k + 1];
        }
    }
    // The n iterations are done and the next choice is out of the queue: it
    // goes back, so that selection can go on from the list and the queue
    // as they stand (settling keeps it either way, as a waiting candidate).
    enqueue(rankOf(candidates[next], next));
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

    // Only the waiting candidates stay, in the order they were made.
    Node* waiting = candidates.data();
    const uint32_t* left = mLeftNode.data();
    size_t kept = 0;
    for (size_t i = 0; i < candidates.size(); i++) {
        waiting[kept] = waiting[i];
        kept += left[i] != kChosen;
    }
    candidates.truncate(kept);
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
        mQueue.push_back(rankOf(candidates[c], static_cast<uint32_t>(c)));
    }
    std::make_heap(mQueue.begin(), mQueue.end());
    mSettled = false;
}
