// SPDX-License-Identifier: Apache-2.0
// Where the entries of a document's "SceneInfo" array lie in its text,
// found without building the document: a document of a film holds hundreds
// of thousands of entries, and a tree of all of them takes many times the
// text's size. Each entry is then read on its own (readJsonFrame).
#pragma once

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

namespace kestrel::hdr10plus {

// Byte ranges [first, second) of the entries, in order; nothing when the
// text is anything but a well-formed object with exactly one "SceneInfo"
// member that is an array, nesting no deeper than the whole-document reader
// allows. Whoever gets nothing reads the document whole, which then says
// what is wrong with it in the whole-document reader's words.
std::optional<std::vector<std::pair<size_t, size_t>>> sceneInfoEntries(const char* text,
                                                                      size_t size);

}  // namespace kestrel::hdr10plus
