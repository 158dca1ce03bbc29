// SPDX-License-Identifier: Apache-2.0
#include "hdr10plus/internal/json_plain_entry.h"

#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <array>
#include <cstdint>
#include <string_view>

#include "hdr10plus/internal/json_layout.h"

namespace kestrel::hdr10plus {

namespace {

using rapidjson::SizeType;

// The values the layout reads, each in one place of the entry. A bit each in
// the set of those seen, so that a second one (which the tree reader would
// take instead of the first) is noticed.
enum Slot : uint8_t {
    kNone,  // a member the layout does not read
    kTargeted,
    kLuminance,
    kCurve,
    kSceneId,
    kSceneFrameIndex,
    kSequenceFrameIndex,
    kMaxScl,
    kAverageRgb,
    kDistributions,
    kDistributionIndex,
    kDistributionValues,
    kKneePointX,
    kKneePointY,
    kAnchors,
};

// The objects the layout reads.
enum class Place : uint8_t { Entry, Luminance, Distributions, Curve };

struct Member {
    std::string_view name;
    Slot slot;
};

constexpr Member kEntryMembers[] = {
    {json_keys::kTargeted, kTargeted},
    {json_keys::kLuminance, kLuminance},
    {json_keys::kCurve, kCurve},
    {json_keys::kSceneId, kSceneId},
    {json_keys::kSceneFrameIndex, kSceneFrameIndex},
    {json_keys::kSequenceFrameIndex, kSequenceFrameIndex},
};
constexpr Member kLuminanceMembers[] = {
    {json_keys::kMaxScl, kMaxScl},
    {json_keys::kAverageRgb, kAverageRgb},
    {json_keys::kDistributions, kDistributions},
};
constexpr Member kDistributionMembers[] = {
    {json_keys::kDistributionIndex, kDistributionIndex},
    {json_keys::kDistributionValues, kDistributionValues},
};
constexpr Member kCurveMembers[] = {
    {json_keys::kKneePointX, kKneePointX},
    {json_keys::kKneePointY, kKneePointY},
    {json_keys::kAnchors, kAnchors},
};

template <size_t N>
Slot find(const Member (&members)[N], std::string_view name) {
    for (const Member& m : members) {
        if (m.name == name) return m.slot;
    }
    return kNone;
}

// Deeper than this inside a member the layout does not read, the entry is
// left to the tree reader; it also bounds the parser's recursion, which
// follows the handler's answers.
constexpr unsigned kMaxSkippedDepth = 64;

constexpr uint32_t kMaxWord = UINT32_MAX;

// Up to `Capacity` whole numbers of one array.
template <unsigned Capacity>
struct Numbers {
    std::array<uint32_t, Capacity> values{};
    unsigned count = 0;
    bool add(uint32_t value) {
        if (count == Capacity) return false;
        values[count++] = value;
        return true;
    }
};

// Follows the parser's events through one entry. Every answer false ends
// the parse: the entry is not plain.
class EntryHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, EntryHandler> {
public:
    void reset() { *this = EntryHandler(); }

    // Strings, booleans, nulls and negative or 64-bit integers: fine where
    // the layout does not look, never where it reads a value.
    bool Default() { return unread(); }
    // A fraction or an exponent anywhere: the two parsers need not agree on
    // such a number's value or even its validity, so the tree reader decides.
    bool Double(double) { return false; }
    bool Uint(unsigned value) {
        if (mSkipped > 0) return true;
        if (mArray != kNone) return element(value);
        const Slot slot = mPending;
        mPending = kNone;
        switch (slot) {
            case kNone: return true;
            case kTargeted: return store(value, kMaxWord, mTargeted);
            case kSceneId: return store(value, kMaxWord, mSceneId);
            case kSceneFrameIndex: return store(value, kMaxWord, mSceneFrameIndex);
            case kSequenceFrameIndex: return store(value, kMaxWord, mSequenceFrameIndex);
            case kAverageRgb: return store(value, kMaxWord, mAverageRgb);
            case kKneePointX: return store(value, kKneePointOne, mKneePointX);
            case kKneePointY: return store(value, kKneePointOne, mKneePointY);
            default: return false;  // a number where an object or array belongs
        }
    }
    bool Key(const char* name, SizeType length, bool) {
        if (mSkipped > 0) return true;
        const std::string_view key(name, length);
        Slot slot = kNone;
        switch (mPlaces[mDepth - 1]) {
            case Place::Entry: slot = find(kEntryMembers, key); break;
            case Place::Luminance: slot = find(kLuminanceMembers, key); break;
            case Place::Distributions: slot = find(kDistributionMembers, key); break;
            case Place::Curve: slot = find(kCurveMembers, key); break;
        }
        if (slot != kNone) {
            const uint32_t bit = 1u << slot;
            if (mSeen & bit) return false;  // given twice
            mSeen |= bit;
        }
        mPending = slot;
        return true;
    }
    bool StartObject() {
        if (mSkipped > 0) return ++mSkipped <= kMaxSkippedDepth;
        if (mDepth == 0) return open(Place::Entry);
        if (mArray != kNone) return false;
        const Slot slot = mPending;
        mPending = kNone;
        switch (slot) {
            case kNone: mSkipped = 1; return true;
            case kLuminance: return open(Place::Luminance);
            case kDistributions: return open(Place::Distributions);
            case kCurve: return open(Place::Curve);
            default: return false;
        }
    }
    bool EndObject(SizeType) {
        if (mSkipped > 0) {
            --mSkipped;
            return true;
        }
        switch (mPlaces[--mDepth]) {
            case Place::Entry:
                mDone = has(kTargeted) && has(kLuminance);
                return mDone;
            case Place::Luminance: return has(kMaxScl);
            case Place::Distributions:
                return has(kDistributionIndex) && has(kDistributionValues) && distributionHolds();
            case Place::Curve: return has(kKneePointX) && has(kKneePointY) && has(kAnchors);
        }
        return false;
    }
    bool StartArray() {
        if (mSkipped > 0) return ++mSkipped <= kMaxSkippedDepth;
        if (mArray != kNone) return false;
        const Slot slot = mPending;
        mPending = kNone;
        switch (slot) {
            case kNone: mSkipped = 1; return true;
            case kMaxScl:
            case kDistributionIndex:
            case kDistributionValues:
            case kAnchors: mArray = slot; return true;
            default: return false;
        }
    }
    bool EndArray(SizeType) {
        if (mSkipped > 0) {
            --mSkipped;
            return true;
        }
        const Slot array = mArray;
        mArray = kNone;
        return array != kMaxScl || mMaxScl.count == 3;
    }

    // Whether the entry, an object, has been read to its end.
    bool done() const { return mDone; }
    // The frame, once done.
    Frame frame() const {
        Frame f;
        f.targeted_system_display_maximum_luminance = mTargeted;
        if (has(kSceneId)) f.scene_id = mSceneId;
        if (has(kSceneFrameIndex)) f.scene_frame_index = mSceneFrameIndex;
        if (has(kSequenceFrameIndex)) f.sequence_frame_index = mSequenceFrameIndex;
        f.windows.resize(1);
        Window& w = f.windows[0];
        for (size_t c = 0; c < 3; c++) w.maxscl[c] = mMaxScl.values[c];
        w.average_maxrgb = mAverageRgb;
        w.distribution.reserve(mPercentages.count);
        for (unsigned i = 0; i < mPercentages.count; i++) {
            w.distribution.push_back(
                {static_cast<uint8_t>(mPercentages.values[i]), mPercentiles.values[i]});
        }
        if (has(kCurve)) {
            ToneCurve& c = w.tone_curve.emplace();
            c.knee_point_x = static_cast<uint16_t>(mKneePointX);
            c.knee_point_y = static_cast<uint16_t>(mKneePointY);
            c.bezier_curve_anchors.assign(mAnchors.values.begin(),
                                          mAnchors.values.begin() + mAnchors.count);
        }
        return f;
    }

private:
    bool has(Slot slot) const { return (mSeen >> slot) & 1u; }
    bool unread() const { return mSkipped > 0 || (mArray == kNone && mPending == kNone); }
    bool open(Place place) {
        mPlaces[mDepth++] = place;
        return true;
    }
    static bool store(uint32_t value, uint32_t max, uint32_t& out) {
        out = value;
        return value <= max;
    }
    bool element(uint32_t value) {
        switch (mArray) {
            case kMaxScl: return mMaxScl.add(value);
            case kDistributionIndex: return value <= kMaxPercentage && mPercentages.add(value);
            case kDistributionValues: return mPercentiles.add(value);
            case kAnchors: return value <= kAnchorOne && mAnchors.add(value);
            default: return false;
        }
    }
    // As many percentages as percentiles, never falling.
    bool distributionHolds() const {
        if (mPercentages.count != mPercentiles.count) return false;
        for (unsigned i = 1; i < mPercentages.count; i++) {
            if (mPercentages.values[i] < mPercentages.values[i - 1]) return false;
        }
        return true;
    }

    std::array<Place, 4> mPlaces{};  // the objects read, outermost first
    unsigned mDepth = 0;             // how many of them are open
    unsigned mSkipped = 0;           // depth inside a value the layout does not read
    Slot mPending = kNone;           // the member whose value comes next
    Slot mArray = kNone;             // the array being read
    uint32_t mSeen = 0;              // bit per slot
    bool mDone = false;

    uint32_t mTargeted = 0;
    uint32_t mSceneId = 0;
    uint32_t mSceneFrameIndex = 0;
    uint32_t mSequenceFrameIndex = 0;
    uint32_t mAverageRgb = 0;
    uint32_t mKneePointX = 0;
    uint32_t mKneePointY = 0;
    Numbers<3> mMaxScl;
    Numbers<kMaxDistributionEntries> mPercentages;
    Numbers<kMaxDistributionEntries> mPercentiles;
    Numbers<kMaxBezierAnchors> mAnchors;
};

}  // namespace

struct PlainEntryReader::Parser {
    rapidjson::Reader reader;  // its buffer for strings is kept between entries
    EntryHandler handler;
};

PlainEntryReader::PlainEntryReader() : mParser(std::make_unique<Parser>()) {}
PlainEntryReader::~PlainEntryReader() = default;

std::optional<Frame> PlainEntryReader::read(const char* text, size_t size) {
    // As lenient as the tree reader: comments and trailing commas pass.
    constexpr unsigned kFlags = rapidjson::kParseCommentsFlag | rapidjson::kParseTrailingCommasFlag;
    rapidjson::MemoryStream in(text, size);
    EntryHandler& handler = mParser->handler;
    handler.reset();
    if (mParser->reader.Parse<kFlags>(in, handler).IsError() || !handler.done()) {
        return std::nullopt;
    }
    return handler.frame();
}

}  // namespace kestrel::hdr10plus
