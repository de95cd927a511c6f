// The scalar matte kernel: the reference rule applied pixel by pixel. Also the path for
// the tails that the vector kernels leave.
#include "effects/matte/matte_kernels.h"
#include "effects/matte/matte_rule.h"

namespace qov::matte::scalar {

void applyMatte(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                size_t pixelCount, const MatteSettings& s) {
  for (size_t i = 0; i < pixelCount; ++i) {
    const size_t offset = i * bytesPerPixel;
    mattePixel(colourSource + offset, maskSource + offset, destination + offset, s);
  }
}

}  // namespace qov::matte::scalar
