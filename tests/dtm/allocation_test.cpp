// SPDX-License-Identifier: Apache-2.0
// A 33-point table is what every frame with dynamic metadata computes; it
// must not touch the heap once the process is warm.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "dtm/meta2lut.h"
#include "records.h"

namespace {
std::atomic<long> gAllocations{0};
}

// GCC pairs the inlined free() below with the new-expression that called
// operator new and warns; the pair is matched, both are replaced here.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    gAllocations++;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(ToneTableAllocation, ThirtyThreePointTablesUseNoHeap) {
    _VelmorHdrDynamicInfo record = kneeExampleRecord();
    record.targeted_system_display_maximum_luminance = 1000;
    unsigned x[40], y[40];
    testing::internal::CaptureStdout();
    meta2lut_dtm(1000, 1000, &record, x, y, 33);  // warm-up: stdout's buffer
    gAllocations = 0;
    meta2lut_dtm(1000, 1000, &record, x, y, 33);
    meta2lut_eotf(1000, &record, x, y, 33);
    const long during = gAllocations;
    // A larger table spills into the heap: the counter does see allocations.
    meta2lut_eotf(1000, &record, x, y, 40);
    const long larger = gAllocations - during;
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(during, 0);
    EXPECT_GT(larger, 0);
}

}  // namespace
