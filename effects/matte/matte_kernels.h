// The matte kernels: one function, applyMatte, per instruction-set level, and their table. Each writes
// pixelCount 4-byte pixels of destination: the mask of the maskSource pixel at the same index
// at the rule's maskByte, the other three bytes from colourSource. destination may be
// colourSource and/or maskSource (same index, processed in place); partial overlaps at other
// offsets are not allowed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/matte/matte_byte_rule.h"
#include "effects/simd/simd.h"

namespace qov::matte {

using MatteKernel = void (*)(const uint8_t* colourSource, const uint8_t* maskSource,
                             uint8_t* destination, size_t pixelCount, const MatteByteRule& r);

namespace scalar {
// The plain form: the rule by byte offset, one pixel after the other.
void applyMatte(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                size_t pixelCount, const MatteByteRule& r);
}  // namespace scalar

#if QOV_SIMD_X86
namespace sse2 {
void applyMatte(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                size_t pixelCount, const MatteByteRule& r);
}  // namespace sse2

namespace avx2 {
void applyMatte(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                size_t pixelCount, const MatteByteRule& r);
}  // namespace avx2

namespace avx512 {
void applyMatte(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                size_t pixelCount, const MatteByteRule& r);
}  // namespace avx512

namespace avx512vnni {
void applyMatte(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                size_t pixelCount, const MatteByteRule& r);
}  // namespace avx512vnni
#endif

#if QOV_SIMD_NEON
namespace neon {
void applyMatte(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                size_t pixelCount, const MatteByteRule& r);
}  // namespace neon
#endif

inline constexpr simd::Entry<MatteKernel> kMatteLevels[] = {
    {simd::Level::scalar, scalar::applyMatte},
#if QOV_SIMD_X86
    {simd::Level::sse2, sse2::applyMatte},
    {simd::Level::avx2, avx2::applyMatte},
    {simd::Level::avx512, avx512::applyMatte},
    {simd::Level::avx512vnni, avx512vnni::applyMatte},
#endif
#if QOV_SIMD_NEON
    {simd::Level::neon, neon::applyMatte},
#endif
};

}  // namespace qov::matte
