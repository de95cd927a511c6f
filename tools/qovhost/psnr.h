// Peak signal-to-noise ratio between two pictures: how close a result is to a reference.
#pragma once

#include "tools/qovhost/rgba_image.h"

namespace qov::qovhost {

// Over the red, green and blue channels (alpha is left out), in decibels, with 255 as the
// peak; infinity for identical pictures. Both pictures must have the same size.
double psnr(const RgbaImage& a, const RgbaImage& b);

}  // namespace qov::qovhost
