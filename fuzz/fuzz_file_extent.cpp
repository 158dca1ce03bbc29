// SPDX-License-Identifier: Apache-2.0
// Arbitrary bytes as a container file whose top-level sizes are checked
// against its length (container/file_extent.cpp reads sizes an untrusted
// file declares).
//
// Invariants:
//  - nothing reads outside the file (the sanitizers watch);
//  - a truncation is reported for this file's length, ends beyond it, and
//    names one of the elements whose sizes are read;
//  - the file extended with zero bytes up to the reported end is no longer
//    cut there: it is whole, or cut further on (a later element's end).
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "container/file_extent.h"
#include "fuzz_check.h"

namespace {

// Longest extension tried: enough for every structure a short input can
// declare to end nearby, small enough to keep runs fast.
constexpr uint64_t kMaxExtension = 1 << 20;

std::optional<kestrel::container::Truncation> check(std::vector<uint8_t>& bytes) {
    std::FILE* file = fmemopen(bytes.data(), bytes.size(), "rb");
    FUZZ_CHECK(file != nullptr);
    std::optional<kestrel::container::Truncation> t =
        kestrel::container::findTruncation(file, bytes.size());
    std::fclose(file);
    return t;
}

bool knownElement(const std::string& element) {
    if (element == "EBML header" || element == "Segment") return true;
    // An MP4 box: its four type bytes and " box".
    return element.size() == 8 && element.compare(4, 4, " box") == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;  // fmemopen takes no empty buffer
    std::vector<uint8_t> bytes(data, data + size);
    const std::optional<kestrel::container::Truncation> cut = check(bytes);
    if (!cut) return 0;
    FUZZ_CHECK(cut->fileSize == size);
    FUZZ_CHECK(cut->declaredEnd > cut->fileSize);
    FUZZ_CHECK(knownElement(cut->element));

    if (cut->declaredEnd - size > kMaxExtension) return 0;
    bytes.resize(static_cast<size_t>(cut->declaredEnd), 0);
    const std::optional<kestrel::container::Truncation> again = check(bytes);
    FUZZ_CHECK(!again || again->declaredEnd > cut->declaredEnd);
    return 0;
}
