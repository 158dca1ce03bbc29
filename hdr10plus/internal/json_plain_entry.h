// SPDX-License-Identifier: Apache-2.0
// One "SceneInfo" entry read straight from its text into the frame, without
// a tree of its values: a film's document holds hundreds of thousands of
// entries, and building and walking a tree of each was most of the time of
// reading one. Internal to the library and its tests.
//
// It reads only plain entries: every value the layout reads is a whole
// number within its limit, of the right shape, given once, and every
// container the layout reads is complete; nothing anywhere in the entry is
// written with a fraction or an exponent. Anything else (a bad value, a
// duplicate key, 5.0 for 5, -0) gets nothing, and its caller reads the entry
// through readJsonFrame, whose rules and messages are the layout's. So the
// frames and the failures are those of readJsonFrame for every entry; this
// reader only makes the common case fast.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>

#include "hdr10plus/frame.h"

namespace kestrel::hdr10plus {

class PlainEntryReader {
public:
    PlainEntryReader();
    ~PlainEntryReader();
    PlainEntryReader(const PlainEntryReader&) = delete;
    PlainEntryReader& operator=(const PlainEntryReader&) = delete;

    // The frame of the entry whose text is [text, text + size) (an object,
    // braces included), when the entry is plain; nothing otherwise.
    std::optional<Frame> read(const char* text, size_t size);

private:
    struct Parser;  // the JSON parser and its buffers, kept from entry to entry
    std::unique_ptr<Parser> mParser;
};

}  // namespace kestrel::hdr10plus
