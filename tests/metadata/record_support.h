// SPDX-License-Identifier: Apache-2.0
// Records for the adaptation tests, and a guard page that turns any read past
// the end of a record into a crash.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "metadata/tone_curve_adaptation.h"
#include "support/records.h"

// The worked records: tests/support/records.h's bright scene.
inline _VelmorHdrDynamicInfo workedRecord(uint16_t flag) {
    return kestrel_test::brightSceneRecord(flag);
}

// A T that ends exactly where an inaccessible page begins.
template <typename T>
class Guarded {
public:
    Guarded() {
        page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        base_ = static_cast<char*>(
            mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        if (base_ == MAP_FAILED || mprotect(base_ + page_, page_, PROT_NONE) != 0) std::abort();
        value_ = new (base_ + page_ - sizeof(T)) T{};
    }
    ~Guarded() { munmap(base_, 2 * page_); }
    Guarded(const Guarded&) = delete;
    Guarded& operator=(const Guarded&) = delete;
    T& operator*() { return *value_; }
    T* operator->() { return value_; }

private:
    size_t page_ = 0;
    char* base_ = nullptr;
    T* value_ = nullptr;
};
