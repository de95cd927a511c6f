// Constant-alpha composition of two 8-bit images into a third, for 3-byte and 4-byte
// pixels. These entry points pick the fastest implementation the processor runs, once,
// on first use; every implementation gives the results described here.
#pragma once

#include <cstdint>

namespace qov::aa {

// How the two sources combine, with A, B the source bytes and a1, a2 the alphas:
//   COMPOSE_OVER: D = round((a1*A + (a2*(255 - a1)/255)*B) / 255), never above 255;
//   COMPOSE_PLUS: D = min(255, round((a1*A + a2*B) / 255)).
// `plus` is exact in every implementation. `over` is computed by the generic
// implementation in floating point with 1/255 as the nearest single-precision constant;
// the vector implementations use an integer form that differs from it by one unit on
// a small share of bytes (see compose_levels.h).
enum ComposeKind : int { COMPOSE_OVER = 0, COMPOSE_PLUS = 1 };

// Status results. Nothing is written when a call fails.
inline constexpr int COMPOSE_OK = 0;
inline constexpr int COMPOSE_NULL_POINTER = -8;  // src1, src2 or dst is null
inline constexpr int COMPOSE_BAD_SIZE = -6;      // width or height below 1
inline constexpr int COMPOSE_BAD_KIND = -50;     // kind is neither COMPOSE_OVER nor COMPOSE_PLUS

// Composes width x height pixels of 3 bytes. Steps are row steps in bytes and may exceed
// the row's width x 3 bytes. alpha1 weighs src1, alpha2 weighs src2. dst may be the
// same image as src1 or src2 (same pointer and step).
int composeConstAlpha3(const uint8_t* src1, int src1Step, uint8_t alpha1,
                       const uint8_t* src2, int src2Step, uint8_t alpha2,
                       uint8_t* dst, int dstStep, int width, int height, int kind);

// The same for pixels of 4 bytes: bytes 0, 1 and 2 of every pixel are composed, byte 3
// of dst keeps the value it held before the call.
int composeConstAlpha4(const uint8_t* src1, int src1Step, uint8_t alpha1,
                       const uint8_t* src2, int src2Step, uint8_t alpha2,
                       uint8_t* dst, int dstStep, int width, int height, int kind);

}  // namespace qov::aa
