// SPDX-License-Identifier: Apache-2.0
// Cutting a picture down to what the preview shows: a crop, then a scale by
// averaging in linear light (so a 4K frame shrinks without the aliasing or
// the darkening of averaging PQ codes).
#pragma once

#include <string>

#include "common/status.h"
#include "picture/image.h"

namespace kestrel::tool {

struct Crop {
    unsigned width = 0, height = 0, x = 0, y = 0;
};

// "WxH+X+Y" (as X11 geometry), or "WxH" for a crop at the top left corner.
// A text of neither shape, or with an empty side or a negative number, is
// an ErrorKind::Invalid failure keyed "--crop".
Result<Crop> parseCrop(const std::string& text);

// The crop, refused when it reaches outside the picture.
Result<picture::RgbImage> cropImage(const picture::RgbImage& in, const Crop& crop);

// The picture shrunk to round(width * factor) x round(height * factor)
// (at least 1 x 1), each output pixel the mean of the input pixels whose
// centres fall inside it (a box filter). A factor of 1 or more returns the
// picture unchanged: the preview never invents pixels.
picture::RgbImage scaleImage(const picture::RgbImage& in, double factor);

// The factor that makes the picture at most `maxWidth` wide (1 when it is
// already narrower).
double fitFactor(unsigned width, unsigned maxWidth);

}  // namespace kestrel::tool
