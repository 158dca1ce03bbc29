// SPDX-License-Identifier: Apache-2.0
// Running out of memory at any point of a load: nothing escapes, every
// stored entry is whole, a default OETF entry is in both of its places or in
// neither, and the tables stay sorted. The test replaces the global
// allocation operators to fail the Nth allocation, for every N until the load
// goes through.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "preset/Hdr10Lut.h"
#include "preset_files.h"
#include "store_fill.h"
#include "support/capture.h"

using kestrel_test::CapturedText;
using kestrel_test::captureText;

// These operators pair malloc with free on purpose; GCC cannot see that once
// they are inlined into the library's templates.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
// Allocations left before one fails; negative: never fail.
long gAllocationsLeft = -1;
}  // namespace

// Every replaceable form is replaced, so that none falls through to another
// allocator (a sanitizer runtime supplies its own).
void* operator new(std::size_t size) {
    if (gAllocationsLeft == 0) {
        gAllocationsLeft = -1;
        throw std::bad_alloc();
    }
    if (gAllocationsLeft > 0) gAllocationsLeft--;
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

// Which tags the store holds and how often, after checking that each table
// is sorted, each root non-empty and each entry intact.
std::string checkedContents(const Hdr10Lut& store) {
    for (const auto& table : store.eotfTables) {
        for (size_t i = 1; i < table.size(); i++) {
            EXPECT_LE(table[i - 1].luminance, table[i].luminance);
        }
    }
    for (const auto& table : store.oetfTables) {
        for (size_t i = 1; i < table.size(); i++) {
            EXPECT_LT(table[i - 1].productPeak, table[i].productPeak);
        }
        for (const OetfRoot& root : table) EXPECT_FALSE(root.entries.empty());
    }
    const std::string text = describe(store);
    EXPECT_EQ(text.find("tag-1"), std::string::npos) << text;
    return text;
}

TEST(AllocationFailure, EveryFailurePointLeavesWholeEntriesAndReturnsFalse) {
    TempDir dir;
    const std::string path = dir.write(
        "p.json", R"({"eotf": [)" + eotf(1, R"("function": "st2084-pq", "max_luminance": 1000)") +
                      ", " + eotf(2, R"("function": "st2084-pq")") + R"(], "oetf": [)" +
                      oetf(3, R"("function": "srgb", "product_peak": 500, "default": true)") +
                      ", " + oetf(4, R"("function": "srgb", "product_peak": 500)") +
                      R"(], "gamut_mapping": [)" +
                      gamut("bt2020", "bt709", "[1, 2, 3, 4, 5, 6, 7, 8, 9]") + "]}");
    const std::string complete =
        "eotf st2084-pq 1000 tag1/65\n"
        "eotf st2084-pq 4000 tag2/65\n"
        "oetf srgb 0 0 tag3/33\n"
        "oetf srgb 500 0 tag3/33\n"
        "oetf srgb 500 0 tag4/33\n"
        "gm 0x60000 0x10000 1 2 3 4 5 6 7 8 9\n";

    long failAt = 0;
    for (;; failAt++) {
        std::unique_ptr<Hdr10Lut> store = quietStore();
        bool loaded = false;
        CapturedText c = captureText([&] {
            gAllocationsLeft = failAt;
            loaded = store->load(path.c_str());
            gAllocationsLeft = -1;
        });
        const std::string contents = checkedContents(*store);
        if (loaded) {
            EXPECT_EQ(contents, complete);
            EXPECT_EQ(c.err, "");
            break;
        }
        // A default entry is stored in both places or in neither.
        size_t copies = 0;
        for (size_t at = contents.find("tag3/"); at != std::string::npos;
             at = contents.find("tag3/", at + 1)) {
            copies++;
        }
        EXPECT_TRUE(copies == 0 || copies == 2) << "failing allocation " << failAt << "\n"
                                                << contents;
        EXPECT_NE(c.err, "") << "failing allocation " << failAt;

        // The lock was released: the same store loads the file now.
        captureText([&] { EXPECT_TRUE(store->load(path.c_str())); });
    }
    EXPECT_GT(failAt, 20) << "the load should allocate at many points";
}

TEST(AllocationFailure, ASectionInterruptedAfterAnOutOfOrderEntryIsStillSorted) {
    // Each section's second entry sorts before its first, and a third entry
    // follows: a failure while storing the third finds the first two in file
    // order, which only the sort on the way out puts right.
    TempDir dir;
    const std::string path = dir.write(
        "p.json", R"({"eotf": [)" + eotf(1, R"("function": "st2084-pq", "max_luminance": 4000)") +
                      ", " + eotf(2, R"("function": "st2084-pq", "max_luminance": 1000)") + ", " +
                      eotf(5, R"("function": "st2084-pq", "max_luminance": 2000)") +
                      R"(], "oetf": [)" + oetf(3, R"("function": "srgb", "product_peak": 900)") +
                      ", " + oetf(4, R"("function": "srgb", "product_peak": 500)") + ", " +
                      oetf(6, R"("function": "srgb", "product_peak": 700)") + "]}");
    long failAt = 0;
    for (bool loaded = false; !loaded; failAt++) {
        std::unique_ptr<Hdr10Lut> store = quietStore();
        captureText([&] {
            gAllocationsLeft = failAt;
            loaded = store->load(path.c_str());
            gAllocationsLeft = -1;
        });
        SCOPED_TRACE("failing allocation " + std::to_string(failAt));
        checkedContents(*store);
    }
    EXPECT_GT(failAt, 20);
}

}  // namespace
