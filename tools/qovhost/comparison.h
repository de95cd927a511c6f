// The demo's before/after picture: input and output side by side at half size with the
// close-up areas marked, and under them each close-up enlarged, as input, output and
// ground truth.
#pragma once

#include <vector>

#include "tools/qovhost/rgba_image.h"

namespace qov::qovhost {

// All three pictures have the same size; the areas lie inside them.
RgbaImage comparisonPicture(const RgbaImage& input, const RgbaImage& output, const RgbaImage& truth,
                            const std::vector<Rect>& closeUps);

}  // namespace qov::qovhost
