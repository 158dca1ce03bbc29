// SPDX-License-Identifier: Apache-2.0
#include "counting_allocator.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<uint64_t> gCalls{0};
std::atomic<int64_t> gLiveBytes{0};
thread_local uint64_t tCalls = 0;

// Every block carries a header just before the pointer handed out: the size
// requested (for the live-byte count) and the distance back to the start of
// the block that malloc or aligned_alloc returned.
struct Header {
    size_t size;
    size_t offset;
};
constexpr size_t kHeaderRoom = 16;
static_assert(sizeof(Header) <= kHeaderRoom, "header fits in front of the block");

void* allocate(size_t size, size_t alignment) {
    if (alignment < kHeaderRoom) alignment = kHeaderRoom;
    size_t total = alignment + (size == 0 ? 1 : size);
    total = (total + alignment - 1) / alignment * alignment;  // aligned_alloc's rule
    char* base = static_cast<char*>(std::aligned_alloc(alignment, total));
    if (base == nullptr) return nullptr;
    char* user = base + alignment;
    Header* header = reinterpret_cast<Header*>(user - kHeaderRoom);
    header->size = size;
    header->offset = alignment;
    gCalls.fetch_add(1, std::memory_order_relaxed);
    gLiveBytes.fetch_add(static_cast<int64_t>(size), std::memory_order_relaxed);
    tCalls++;
    return user;
}

void* allocateOrThrow(size_t size, size_t alignment) {
    void* p = allocate(size, alignment);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

void release(void* p) {
    if (p == nullptr) return;
    char* user = static_cast<char*>(p);
    Header* header = reinterpret_cast<Header*>(user - kHeaderRoom);
    gLiveBytes.fetch_sub(static_cast<int64_t>(header->size), std::memory_order_relaxed);
    std::free(user - header->offset);
}

constexpr size_t kDefaultAlignment = __STDCPP_DEFAULT_NEW_ALIGNMENT__;

}  // namespace

namespace quality {

AllocationCounts allocationCounts() { return AllocationCounts{gCalls.load(), gLiveBytes.load()}; }

CountAllocationsOnThisThread::CountAllocationsOnThisThread() : mStart(tCalls) {}
CountAllocationsOnThisThread::~CountAllocationsOnThisThread() = default;
uint64_t CountAllocationsOnThisThread::calls() const { return tCalls - mStart; }

}  // namespace quality

void* operator new(size_t size) { return allocateOrThrow(size, kDefaultAlignment); }
void* operator new[](size_t size) { return allocateOrThrow(size, kDefaultAlignment); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return allocate(size, kDefaultAlignment);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return allocate(size, kDefaultAlignment);
}
void* operator new(size_t size, std::align_val_t a) {
    return allocateOrThrow(size, static_cast<size_t>(a));
}
void* operator new[](size_t size, std::align_val_t a) {
    return allocateOrThrow(size, static_cast<size_t>(a));
}
void* operator new(size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return allocate(size, static_cast<size_t>(a));
}
void* operator new[](size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return allocate(size, static_cast<size_t>(a));
}

void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, size_t) noexcept { release(p); }
void operator delete[](void* p, size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }
