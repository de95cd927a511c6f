// Parameter indices of QovMLAA1.
#pragma once

#include <cstdint>

namespace qov::mlaa1 {

enum Parameter : uint32_t {
  kStrength = 0,
  kUseHalf = 1,
  kThinLines = 2,
  kVisualize = 3,
  kUseAlpha = 4,
  kNumParameters = 5,
};

}  // namespace qov::mlaa1
