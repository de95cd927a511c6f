// The scalar matte kernel: the rule by byte offset applied pixel by pixel. Also the path for
// the tails that the vector kernels leave.
#include <cstring>

#include "effects/matte/matte_kernels.h"

namespace qov::matte::scalar {

void applyMatte(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                size_t pixelCount, const MatteByteRule& r) {
  for (size_t i = 0; i < pixelCount; ++i) {
    const size_t offset = i * bytesPerPixel;
    // Both inputs are read before the output is written: it may be either of them.
    uint8_t pixel[bytesPerPixel];
    std::memcpy(pixel, colourSource + offset, bytesPerPixel);
    pixel[r.maskByte] = byteRuleMask(maskSource + offset, r);
    std::memcpy(destination + offset, pixel, bytesPerPixel);
  }
}

}  // namespace qov::matte::scalar
