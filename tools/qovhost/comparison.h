// The demo's pictures of its results: close-ups of a few areas, enlarged so that single
// pixels show, side by side for several versions of the frame; and the before/after
// picture, input and output side by side at half size with the close-up areas marked,
// over the close-ups as input, output and ground truth.
#pragma once

#include <string>
#include <vector>

#include "tools/qovhost/rgba_image.h"

namespace qov::qovhost {

struct LabelledPicture {
  std::string label;  // in the glyphs' capitals
  const RgbaImage* picture;
};

// A column per picture under its label, a numbered row per area. All pictures have the
// same size; the areas lie inside them.
RgbaImage closeUpTable(const std::vector<LabelledPicture>& columns, const std::vector<Rect>& areas);

// All three pictures have the same size; the areas lie inside them.
RgbaImage comparisonPicture(const RgbaImage& input, const RgbaImage& output, const RgbaImage& truth,
                            const std::vector<Rect>& closeUps);

}  // namespace qov::qovhost
