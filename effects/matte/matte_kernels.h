// The matte kernels: one function, applyMatte, per instruction-set level. Each writes
// pixelCount 4-byte pixels of destination: bytes 0..2 from colourSource, byte 3 the mask of
// the maskSource pixel at the same index. destination may be colourSource and/or maskSource
// (same index, processed in place); partial overlaps at other offsets are not allowed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/matte/matte_settings.h"

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#define QOV_MATTE_X86_KERNELS 1
#else
#define QOV_MATTE_X86_KERNELS 0
#endif

namespace qov::matte {

using MatteKernel = void (*)(const uint8_t* colourSource, const uint8_t* maskSource,
                             uint8_t* destination, size_t pixelCount, const MatteSettings& s);

namespace scalar {
// The reference: the per-pixel rule, one pixel after the other.
void applyMatte(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                size_t pixelCount, const MatteSettings& s);
}  // namespace scalar

#if QOV_MATTE_X86_KERNELS
namespace sse2 {
void applyMatte(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                size_t pixelCount, const MatteSettings& s);
}  // namespace sse2

namespace avx2 {
void applyMatte(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                size_t pixelCount, const MatteSettings& s);
}  // namespace avx2

namespace avx512bw {
void applyMatte(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                size_t pixelCount, const MatteSettings& s);
}  // namespace avx512bw
#endif

}  // namespace qov::matte
