// The row loop shared by every implementation of the constant-alpha composition: the
// argument checks and the walk over rows.
#include <cstddef>

#include "effects/antialias/compose_levels.h"

namespace qov::aa {

int composeRows(const uint8_t* src1, int src1Step, uint8_t alpha1,
                const uint8_t* src2, int src2Step, uint8_t alpha2,
                uint8_t* dst, int dstStep, int width, int height, int kind, int channels,
                const ComposeRowKernels& kernels) {
  if (src1 == nullptr || src2 == nullptr || dst == nullptr) return COMPOSE_NULL_POINTER;
  if (width < 1 || height < 1) return COMPOSE_BAD_SIZE;
  ComposeRow row = nullptr;
  switch (kind) {
    case COMPOSE_OVER: row = kernels.over; break;
    case COMPOSE_PLUS: row = kernels.plus; break;
    default: return COMPOSE_BAD_KIND;
  }

  const std::size_t rowBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
  for (int y = 0; y < height; ++y) {
    row(src1 + static_cast<std::ptrdiff_t>(y) * src1Step,
        src2 + static_cast<std::ptrdiff_t>(y) * src2Step,
        dst + static_cast<std::ptrdiff_t>(y) * dstStep, rowBytes, alpha1, alpha2);
  }
  return COMPOSE_OK;
}

}  // namespace qov::aa
