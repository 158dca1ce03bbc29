// SPDX-License-Identifier: Apache-2.0
// Shot cuts found in the pictures themselves.
//
// Each picture is reduced to a signature: a grid of up to 16 x 16 cells,
// each the mean of the picture's PQ-coded luma (Y', the signal itself, 0 to
// 1) over the cell. Two pictures are compared by the mean absolute
// difference of their cells, after
//  - taking out the difference of the two pictures' means, so that a fade
//    (light scaled over the whole picture: close to an offset in the PQ
//    domain, which is nearly logarithmic) changes the structure little, and
//  - letting the grid move by up to one cell in each direction and keeping
//    the best match, so that a pan or a moving object that stays within a
//    cell from one picture to the next does not count either;
// to which the difference of the means is added back once: a fade spreads
// it over many pictures, a cut from a dark scene to a bright one (of little
// structure either) has it all at once.
// A cut starts a picture when that distance to the picture before exceeds
// kCutThreshold (0.08 of the PQ signal, about 80 10-bit codes: at 100 cd/m²
// a factor of two in light, over the whole picture), unless the change goes
// away again: when one of the next two pictures is within the threshold of
// the picture before the change, the change was a flash (an explosion, a
// photographer's flash), not a new shot; and the return from a flash, a
// picture back within the threshold of one of the three before the change
// (the two flash pictures' span), is no cut either.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace kestrel::measure {

constexpr unsigned kSignatureSide = 16;
constexpr float kCutThreshold = 0.08f;
constexpr unsigned kFlashPictures = 2;  // a change gone within this many pictures is a flash

struct ShotSignature {
    unsigned cols = 0, rows = 0;
    std::vector<float> cells;  // row-major, cols x rows, PQ signal 0..1
    float mean = 0.0f;         // over the cells
};

// The signature of a luma plane of `width` x `height` samples, `stride`
// samples apart per row, whose codes `black` and `white` stand for signal 0
// and 1 (64 and 940 at 10 bits for limited range).
ShotSignature lumaSignature(const uint16_t* luma, unsigned width, unsigned height, size_t stride,
                            float black, float white);

// The distance described above, 0 to 1, 0 for equal pictures; pictures of
// different grids are as far apart as can be (1).
float signatureDistance(const ShotSignature& a, const ShotSignature& b);

// Takes the signatures in display order and says which pictures start a
// shot. Decisions wait for kFlashPictures pictures after the change.
class ShotCutDetector {
public:
    // Adds picture `index` (the next one); returns the pictures decided by
    // it, as (index, starts a shot) in order.
    struct Decision {
        uint64_t picture;
        bool cut;
        float distance;  // to the picture before, for reports
    };
    std::vector<Decision> push(ShotSignature signature);
    // Decides the pictures still waiting (the stream has ended).
    std::vector<Decision> finish();

private:
    std::vector<Decision> decide(bool ending);

    // The pictures the undecided ones are compared with: up to
    // kFlashPictures + 1 before the first undecided one, then the rest.
    std::deque<ShotSignature> mWindow;
    uint64_t mNext = 0;                 // index of the first undecided picture
    uint64_t mPushed = 0;
};

}  // namespace kestrel::measure
