// SPDX-License-Identifier: Apache-2.0
// Replacement of the global allocation operators for the tests of this
// folder that link counting_allocator.cpp: every operator new and delete of
// the process goes through it, so a test can count the allocations of one
// call and the bytes that stay allocated.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quality {

struct AllocationCounts {
    uint64_t calls;     // operator new calls of every form
    int64_t liveBytes;  // bytes requested and not yet released
};

// Counts of the whole process since it started.
AllocationCounts allocationCounts();

// Allocation calls made on the calling thread while an instance lives.
class CountAllocationsOnThisThread {
public:
    CountAllocationsOnThisThread();
    ~CountAllocationsOnThisThread();
    CountAllocationsOnThisThread(const CountAllocationsOnThisThread&) = delete;
    CountAllocationsOnThisThread& operator=(const CountAllocationsOnThisThread&) = delete;
    uint64_t calls() const;

private:
    uint64_t mStart;
};

}  // namespace quality
