// The implementations behind composeConstAlpha3/4: one namespace per instruction-set
// level with the same function names, the integer form of the arithmetic that the vector
// levels share, and the row loop they all run in. Used by the dispatch in compose.cpp and
// by the tests and benchmarks, which call each implementation directly.
//
// Everything declared here is defined out of line in a file compiled for the baseline
// processor: the vector files are compiled with wider instruction sets, and an inline
// function emitted from one of them could be the copy the linker keeps for everybody.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "effects/antialias/compose.h"
#include "effects/simd/cpu_level.h"

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#define QOV_COMPOSE_X86 1
#else
#define QOV_COMPOSE_X86 0
#endif

namespace qov::aa {

// The signature of composeConstAlpha3 and composeConstAlpha4 at every level.
using ComposeFunction = int (*)(const uint8_t* src1, int src1Step, uint8_t alpha1,
                                const uint8_t* src2, int src2Step, uint8_t alpha2,
                                uint8_t* dst, int dstStep, int width, int height, int kind);

// Composes one row of rowBytes bytes (width x channels). A kernel for 4-byte pixels gets
// a multiple of 4 and leaves byte 3 of each dst pixel as it was. Every kernel reads the
// sources of a group before it stores that group, so dst may be src1 or src2.
using ComposeRow = void (*)(const uint8_t* src1, const uint8_t* src2, uint8_t* dst,
                            std::size_t rowBytes, int alpha1, int alpha2);

struct ComposeRowKernels {
  ComposeRow over;
  ComposeRow plus;
};

// Checks the arguments (returning the failure status before anything is written), then
// runs the kernel of `kind` over every row. Rows are independent (an in-place dst shares
// each row only with the same row of its source), so callers may split an image into bands
// of rows and compose each band on its own.
int composeRows(const uint8_t* src1, int src1Step, uint8_t alpha1,
                const uint8_t* src2, int src2Step, uint8_t alpha2,
                uint8_t* dst, int dstStep, int width, int height, int kind, int channels,
                const ComposeRowKernels& kernels);

// Pixel layouts of the two forms: 3 colour bytes, or 3 colour bytes and byte 3 (alpha).
inline constexpr int kPixelBytes3 = 3;
inline constexpr int kPixelBytes4 = 4;
inline constexpr int kColourBytes = 3;

// The reference: one byte at a time; `plus` in exact integer arithmetic, `over` in
// floating point with 1/255 as a single-precision constant.
namespace scalar {
int composeConstAlpha3(const uint8_t* src1, int src1Step, uint8_t alpha1,
                       const uint8_t* src2, int src2Step, uint8_t alpha2,
                       uint8_t* dst, int dstStep, int width, int height, int kind);
int composeConstAlpha4(const uint8_t* src1, int src1Step, uint8_t alpha1,
                       const uint8_t* src2, int src2Step, uint8_t alpha2,
                       uint8_t* dst, int dstStep, int width, int height, int kind);
}  // namespace scalar

// The integer form, one byte at a time. With x a sum of products of bytes and alphas,
// the quotient by 255 is taken as (x + 128 + ((x + 128) >> 8)) >> 8, which is round(x/255)
// for x in 0..65025.
//   plus: x = a1*A + a2*B, saturated at 65025 (255 is the answer from there on).
//   over: t = B*(255 - a1)*a2 and q = its quotient by the formula above (t may exceed
//         65025, so q is not always the rounded quotient); then D = the quotient of
//         a1*A + q. This differs from the reference by one unit on about 0.05 % of all
//         byte and alpha combinations (at most 0.4 % for one pair of alphas), never more.
// The vector levels compute exactly this, and use these row kernels for their row tails.
namespace integer {
void overRow3(const uint8_t* src1, const uint8_t* src2, uint8_t* dst, std::size_t rowBytes,
              int alpha1, int alpha2);
void plusRow3(const uint8_t* src1, const uint8_t* src2, uint8_t* dst, std::size_t rowBytes,
              int alpha1, int alpha2);
void overRow4(const uint8_t* src1, const uint8_t* src2, uint8_t* dst, std::size_t rowBytes,
              int alpha1, int alpha2);
void plusRow4(const uint8_t* src1, const uint8_t* src2, uint8_t* dst, std::size_t rowBytes,
              int alpha1, int alpha2);

// Whole images in the integer form, the exact model of the vector levels in the tests.
int composeConstAlpha3(const uint8_t* src1, int src1Step, uint8_t alpha1,
                       const uint8_t* src2, int src2Step, uint8_t alpha2,
                       uint8_t* dst, int dstStep, int width, int height, int kind);
int composeConstAlpha4(const uint8_t* src1, int src1Step, uint8_t alpha1,
                       const uint8_t* src2, int src2Step, uint8_t alpha2,
                       uint8_t* dst, int dstStep, int width, int height, int kind);
}  // namespace integer

#if QOV_COMPOSE_X86
// 16 bytes per step in 16-bit lanes.
namespace sse2 {
int composeConstAlpha3(const uint8_t* src1, int src1Step, uint8_t alpha1,
                       const uint8_t* src2, int src2Step, uint8_t alpha2,
                       uint8_t* dst, int dstStep, int width, int height, int kind);
int composeConstAlpha4(const uint8_t* src1, int src1Step, uint8_t alpha1,
                       const uint8_t* src2, int src2Step, uint8_t alpha2,
                       uint8_t* dst, int dstStep, int width, int height, int kind);
}  // namespace sse2

// 32 bytes per step in 16-bit lanes.
namespace avx2 {
int composeConstAlpha3(const uint8_t* src1, int src1Step, uint8_t alpha1,
                       const uint8_t* src2, int src2Step, uint8_t alpha2,
                       uint8_t* dst, int dstStep, int width, int height, int kind);
int composeConstAlpha4(const uint8_t* src1, int src1Step, uint8_t alpha1,
                       const uint8_t* src2, int src2Step, uint8_t alpha2,
                       uint8_t* dst, int dstStep, int width, int height, int kind);
}  // namespace avx2

// 64 bytes per step in 16-bit lanes; byte 3 of 4-byte pixels is kept by masked stores.
namespace avx512bw {
int composeConstAlpha3(const uint8_t* src1, int src1Step, uint8_t alpha1,
                       const uint8_t* src2, int src2Step, uint8_t alpha2,
                       uint8_t* dst, int dstStep, int width, int height, int kind);
int composeConstAlpha4(const uint8_t* src1, int src1Step, uint8_t alpha1,
                       const uint8_t* src2, int src2Step, uint8_t alpha2,
                       uint8_t* dst, int dstStep, int width, int height, int kind);
}  // namespace avx512bw
#endif

struct ComposeImplementation {
  simd::Level level;
  ComposeFunction compose3;
  ComposeFunction compose4;
};

// Every implementation this build contains, lowest level first. Whether the processor
// runs one is for the caller to ask (simd::supports).
const std::vector<ComposeImplementation>& composeImplementations();

// The implementation the entry points use, choosing it if no call has done so yet.
const ComposeImplementation& chosenComposeImplementation();

// Forgets the choice, so that the next call chooses afresh. Tests only: no other thread
// may be inside the entry points meanwhile.
void resetComposeDispatchForTesting();

}  // namespace qov::aa
