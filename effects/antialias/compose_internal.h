// Constant-alpha composition of two 8-bit images into a third, for 3-byte and 4-byte pixels,
// in two kinds and with status results: the general operation behind the Strength mix, which
// the effect itself uses in one fixed form (strength_blend.h). Here for the tests and the
// benchmarks: its row kernels per instruction-set level, their table, and whole images
// composed with the chosen level or with a given one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/simd/simd.h"

namespace qov::aa {

// How the two sources combine, with A, B the source bytes and a1, a2 the alphas:
//   COMPOSE_OVER: D = round((a1*A + (a2*(255 - a1)/255)*B) / 255), never above 255;
//   COMPOSE_PLUS: D = min(255, round((a1*A + a2*B) / 255)).
// `plus` is exact at every level. `over` is computed by the scalar level in floating point
// with 1/255 as the nearest single-precision constant; the vector levels use the integer
// form below, which differs from it by one unit on a small share of bytes.
enum ComposeKind : int { COMPOSE_OVER = 0, COMPOSE_PLUS = 1 };

// Status results. Nothing is written when a call fails.
inline constexpr int COMPOSE_OK = 0;
inline constexpr int COMPOSE_NULL_POINTER = -8;  // src1, src2 or dst is null
inline constexpr int COMPOSE_BAD_SIZE = -6;      // width or height below 1
inline constexpr int COMPOSE_BAD_KIND = -50;     // kind is neither COMPOSE_OVER nor COMPOSE_PLUS

// Pixel layouts of the two forms: 3 colour bytes, or 3 colour bytes and byte 3 (alpha).
inline constexpr int kPixelBytes3 = 3;
inline constexpr int kPixelBytes4 = 4;
inline constexpr int kColourBytes = 3;

// Composes one row of rowBytes bytes (width x channels). A kernel for 4-byte pixels gets a
// multiple of 4 and leaves byte 3 of each dst pixel as it was. Every kernel reads the sources
// of a group before it stores that group, so dst may be src1 or src2. Bytes are independent,
// so rows packed back to back may be composed as one long row.
using ComposeRow = void (*)(const uint8_t* src1, const uint8_t* src2, uint8_t* dst,
                            std::size_t rowBytes, int alpha1, int alpha2);

// The row kernels of one level.
struct ComposeKernels {
  ComposeRow over3, plus3;  // 3-byte pixels
  ComposeRow over4, plus4;  // 4-byte pixels, byte 3 kept
  // 4-byte pixels, `plus` on the colour bytes and byte 3 of dst that of src1: the Strength
  // mix of 4-byte frames in one pass, with no copy of src1 into dst first.
  ComposeRow crossFade4;
};

// crossFade4 for the levels that work a pixel at a time, from their 4-byte `plus` row kernel.
template <ComposeRow plus4>
void crossFade4ByPixel(const uint8_t* src1, const uint8_t* src2, uint8_t* dst, std::size_t rowBytes, int alpha1,
                       int alpha2) {
  for (std::size_t p = 0; p < rowBytes; p += kPixelBytes4) {
    const uint8_t fourth = src1[p + kColourBytes];  // read before dst, which may be src1, is written
    plus4(src1 + p, src2 + p, dst + p, kPixelBytes4, alpha1, alpha2);
    dst[p + kColourBytes] = fourth;
  }
}

// The reference: one byte at a time; `plus` in exact integer arithmetic, `over` in floating
// point with 1/255 as a single-precision constant.
namespace scalar {
extern const ComposeKernels kComposeKernels;
}

// The integer form, one byte at a time: with x a sum of products of bytes and alphas, the
// quotient by 255 is taken as (x + 128 + ((x + 128) >> 8)) >> 8, which is round(x/255) for x
// in 0..65025.
//   plus: x = a1*A + a2*B, saturated at 65025 (255 is the answer from there on).
//   over: t = B*(255 - a1)*a2 and q = its quotient by the formula above (t may exceed
//         65025, so q is not always the rounded quotient); then D = the quotient of
//         a1*A + q. This differs from the reference by one unit on about 0.05 % of all
//         byte and alpha combinations (at most 0.4 % for one pair of alphas), never more.
// The vector levels compute exactly this, and use these kernels for their row tails. Not a
// level of its own: the exact model of the vector levels in the tests.
namespace integer {
extern const ComposeKernels kComposeKernels;
}

#if QOV_SIMD_X86
// 16, 32 and 64 bytes per step in 16-bit lanes.
namespace sse2 {
extern const ComposeKernels kComposeKernels;
}
namespace avx2 {
extern const ComposeKernels kComposeKernels;
}
namespace avx512 {
extern const ComposeKernels kComposeKernels;
}
#endif
#if QOV_SIMD_NEON
// 16 bytes per step in 16-bit lanes, as SSE2.
namespace neon {
extern const ComposeKernels kComposeKernels;
}
#endif

inline constexpr simd::Entry<const ComposeKernels*> kComposeLevels[] = {
    {simd::Level::scalar, &scalar::kComposeKernels},
#if QOV_SIMD_X86
    {simd::Level::sse2, &sse2::kComposeKernels},
    {simd::Level::avx2, &avx2::kComposeKernels},
    {simd::Level::avx512, &avx512::kComposeKernels},
#endif
#if QOV_SIMD_NEON
    {simd::Level::neon, &neon::kComposeKernels},
#endif
};

// The kernels of the chosen level.
const ComposeKernels& composeKernels();

// Composes width x height pixels of `channels` bytes (3 or 4) with the given kernels. Steps
// are row steps in bytes and may exceed the row's width x channels bytes. alpha1 weighs src1,
// alpha2 weighs src2. dst may be the same image as src1 or src2 (same pointer and step).
// With 4 channels, bytes 0, 1 and 2 of every pixel are composed and byte 3 of dst keeps the
// value it held. Checks the arguments first: a failure status comes before anything is
// written.
int composeWith(const ComposeKernels& kernels, int channels, const uint8_t* src1, int src1Step,
                uint8_t alpha1, const uint8_t* src2, int src2Step, uint8_t alpha2, uint8_t* dst,
                int dstStep, int width, int height, int kind);

// The same with the chosen level, for 3-byte and 4-byte pixels.
int composeConstAlpha3(const uint8_t* src1, int src1Step, uint8_t alpha1,
                       const uint8_t* src2, int src2Step, uint8_t alpha2,
                       uint8_t* dst, int dstStep, int width, int height, int kind);
int composeConstAlpha4(const uint8_t* src1, int src1Step, uint8_t alpha1,
                       const uint8_t* src2, int src2Step, uint8_t alpha2,
                       uint8_t* dst, int dstStep, int width, int height, int kind);

}  // namespace qov::aa
