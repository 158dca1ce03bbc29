// Records for the adaptation tests, and a guard page that turns any read past
// the end of a record into a crash.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "metadata/tone_curve_adaptation.h"

// The scene of the worked records: maxscl 4000, 3500, 3000 cd/m², nine
// distribution entries up to 99 % at 2500 cd/m², a curve made for 1000 cd/m².
inline _VelmorHdrDynamicInfo workedRecord(uint16_t flag) {
    _VelmorHdrDynamicInfo r;
    std::memset(&r, 0, sizeof r);
    r.maxscl[0] = 40000;
    r.maxscl[1] = 35000;
    r.maxscl[2] = 30000;
    const uint8_t pct[9] = {1, 5, 10, 25, 50, 75, 90, 95, 99};
    const uint32_t lum[9] = {5, 20, 50, 200, 1000, 3000, 8000, 12000, 25000};
    r.num_distribution_maxrgb_percentiles = 9;
    for (int i = 0; i < 9; ++i) {
        r.distribution_maxrgb_percentages[i] = pct[i];
        r.distribution_maxrgb_percentiles[i] = lum[i];
    }
    r.targeted_system_display_maximum_luminance = 1000;
    r.tone_mapping_flag = flag;
    r.knee_point_x = 1700;
    r.knee_point_y = 1600;
    r.num_bezier_curve_anchors = 9;
    const uint16_t anchors[9] = {500, 700, 800, 870, 920, 960, 990, 1010, 1020};
    for (int i = 0; i < 9; ++i) r.bezier_curve_anchors[i] = anchors[i];
    return r;
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
