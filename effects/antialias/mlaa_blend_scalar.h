// The scalar blending pieces: one colour byte at a time, in single precision. The scalar
// level is built from them (mlaa_blend_scalar.cpp), and the NEON level builds on them
// (mlaa_blend_neon.cpp).
//
// Every value is computed in single precision exactly in the order written and truncated
// toward zero; the build forbids fused multiply-adds and fast-math, since either would move
// some results across an integer boundary and change the truncated byte.
#pragma once

#include "effects/antialias/mlaa_blend_passes.h"

namespace qov::aa::detail {
namespace {

constexpr uint32_t kByteMask = 0xFFu;
constexpr int kColourBytes = 3;

inline uint32_t truncatedByte(float value, int c) {
  return (static_cast<uint32_t>(static_cast<int32_t>(value)) & kByteMask) << (8 * c);
}

struct ScalarBlend {
  static uint32_t mix(uint32_t p, uint32_t q, float wp, float wq) {
    uint32_t out = kOpaque;
    for (int c = kColourBytes - 1; c >= 0; --c) {
      const float v = static_cast<float>(channel(p, c)) * wp + static_cast<float>(channel(q, c)) * wq;
      out |= truncatedByte(v, c);
    }
    return out;
  }

  static constexpr bool kEdgeBits8 = false;
  static EdgeBits8 edgeBits8(const uint8_t*, Index) { return {}; }
  static LineBits8 columnEdgeBits8(const uint8_t*, Index, Index) { return {}; }
  static constexpr bool kEndsInLanes = false;

  static Index mixFours(uint8_t*, Index j, Index, Index, float&, float, bool) { return j; }
  static void onePixelRun(uint8_t* image, Index i, Index lineStride) {
    onePixelRunByMixes<ScalarBlend>(image, i, lineStride);
  }
  static Index mixFoursDown(uint8_t*, Index j, Index, Index, Index, float&, float, bool) { return j; }

  static void gatherSigns(const uint8_t*, Index, int, int&, int&, uint64_t&) {}

  static int gatherRowMasks(const uint8_t*, int, int, int, int, uint8_t*) { return 0; }

  static void spreadColumns(const uint8_t* rowMasks, int count, int shift, uint64_t* out, Index stride) {
    for (int c = 0; c < count; ++c) {
      uint64_t column = 0;
      for (int r = 0; r < kRowsPerGather; ++r) column |= static_cast<uint64_t>((rowMasks[r] >> c) & 1u) << r;
      out[c * stride] = (shift == 0 ? 0 : out[c * stride]) | (column << shift);
    }
  }
};

}  // namespace
}  // namespace qov::aa::detail
