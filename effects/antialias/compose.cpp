// The composition of whole images: the argument checks, the walk over rows, and the level
// chosen for this process.
#include "effects/antialias/compose_internal.h"

namespace qov::aa {

const ComposeKernels& composeKernels() { return *simd::chosen<kComposeLevels>().kernel; }

int composeWith(const ComposeKernels& kernels, int channels, const uint8_t* src1, int src1Step,
                uint8_t alpha1, const uint8_t* src2, int src2Step, uint8_t alpha2, uint8_t* dst,
                int dstStep, int width, int height, int kind) {
  if (src1 == nullptr || src2 == nullptr || dst == nullptr) return COMPOSE_NULL_POINTER;
  if (width < 1 || height < 1) return COMPOSE_BAD_SIZE;
  const bool fourBytes = channels == kPixelBytes4;
  ComposeRow row = nullptr;
  switch (kind) {
    case COMPOSE_OVER: row = fourBytes ? kernels.over4 : kernels.over3; break;
    case COMPOSE_PLUS: row = fourBytes ? kernels.plus4 : kernels.plus3; break;
    default: return COMPOSE_BAD_KIND;
  }

  const std::size_t rowBytes = static_cast<std::size_t>(width) *
                               static_cast<std::size_t>(fourBytes ? kPixelBytes4 : kPixelBytes3);
  for (int y = 0; y < height; ++y) {
    row(src1 + static_cast<std::ptrdiff_t>(y) * src1Step,
        src2 + static_cast<std::ptrdiff_t>(y) * src2Step,
        dst + static_cast<std::ptrdiff_t>(y) * dstStep, rowBytes, alpha1, alpha2);
  }
  return COMPOSE_OK;
}

int composeConstAlpha3(const uint8_t* src1, int src1Step, uint8_t alpha1,
                       const uint8_t* src2, int src2Step, uint8_t alpha2,
                       uint8_t* dst, int dstStep, int width, int height, int kind) {
  return composeWith(composeKernels(), kPixelBytes3, src1, src1Step, alpha1, src2, src2Step,
                     alpha2, dst, dstStep, width, height, kind);
}

int composeConstAlpha4(const uint8_t* src1, int src1Step, uint8_t alpha1,
                       const uint8_t* src2, int src2Step, uint8_t alpha2,
                       uint8_t* dst, int dstStep, int width, int height, int kind) {
  return composeWith(composeKernels(), kPixelBytes4, src1, src1Step, alpha1, src2, src2Step,
                     alpha2, dst, dstStep, width, height, kind);
}

}  // namespace qov::aa
