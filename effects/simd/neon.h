// The NEON level's vector primitives (AArch64 Advanced SIMD, 16-byte vectors), for the kernel
// files of that level and only those. They give the SSE2 level's names and exactly its
// lane semantics (sse2.h), so that vector.h and the kernels written once over a level's
// primitives run unchanged here and store the same bytes. Lanes are little-endian as on x86.
//
// Everything here has internal linkage (an unnamed namespace), as for the other levels.
#pragma once

#if !defined(__aarch64__) && !defined(_M_ARM64)
#error "effects/simd/neon.h belongs to AArch64 builds (QOV_SIMD_NEON)"
#endif

#include <arm_neon.h>

#include <cstddef>
#include <cstdint>

namespace qov::simd {
namespace {

struct Neon {
  // Bytes, reinterpreted for the lane width of each operation (a reinterpretation is free).
  using Vector = uint8x16_t;
  static constexpr std::size_t kBytes = 16;
  static constexpr bool kMaskedStores = false;

  static Vector load(const void* p) { return vld1q_u8(static_cast<const uint8_t*>(p)); }
  static void store(void* p, Vector v) { vst1q_u8(static_cast<uint8_t*>(p), v); }

  static Vector zero() { return vdupq_n_u8(0); }
  static Vector set8(uint8_t value) { return vdupq_n_u8(value); }
  static Vector set16(int value) { return u8(vdupq_n_u16(static_cast<uint16_t>(value))); }
  static Vector set32(uint32_t value) { return u8(vdupq_n_u32(value)); }

  static Vector bitAnd(Vector a, Vector b) { return vandq_u8(a, b); }
  static Vector bitOr(Vector a, Vector b) { return vorrq_u8(a, b); }
  static Vector bitXor(Vector a, Vector b) { return veorq_u8(a, b); }
  // ~mask & v, as SSE2's and-not takes its operands.
  static Vector andNot(Vector mask, Vector v) { return vbicq_u8(v, mask); }

  static Vector subSaturated8(Vector a, Vector b) { return vqsubq_u8(a, b); }
  static Vector add16(Vector a, Vector b) { return u8(vaddq_u16(u16(a), u16(b))); }
  static Vector sub16(Vector a, Vector b) { return u8(vsubq_u16(u16(a), u16(b))); }
  // The low 16 bits of a product are the same for signed and unsigned factors.
  static Vector mulLow16(Vector a, Vector b) { return u8(vmulq_u16(u16(a), u16(b))); }
  static Vector addSaturated16(Vector a, Vector b) { return u8(vqaddq_u16(u16(a), u16(b))); }
  static Vector subSaturated16(Vector a, Vector b) { return u8(vqsubq_u16(u16(a), u16(b))); }
  // (a + b + 1) >> 1 without overflow.
  static Vector average16(Vector a, Vector b) { return u8(vrhaddq_u16(u16(a), u16(b))); }
  // Products of signed 16-bit lane pairs, each pair summed into a 32-bit lane: the widening
  // products of lanes 0..3 and 4..7, then the sums of adjacent products. Where the x86 form
  // wraps (both products 2^30) the pairwise add wraps alike.
  static Vector mulAddPairs16(Vector a, Vector b) {
    const int16x8_t x = vreinterpretq_s16_u8(a), y = vreinterpretq_s16_u8(b);
    const int32x4_t low = vmull_s16(vget_low_s16(x), vget_low_s16(y));
    const int32x4_t high = vmull_high_s16(x, y);
    return vreinterpretq_u8_s32(vpaddq_s32(low, high));
  }
  static Vector add32(Vector a, Vector b) { return u8(vaddq_u32(u32(a), u32(b))); }
  static Vector equal32(Vector a, Vector b) { return u8(vceqq_u32(u32(a), u32(b))); }
  // Whether every byte of a equals that of b: the differences' two halves OR-ed in general
  // registers, which costs less than a reduction across 16 byte lanes.
  static bool same(Vector a, Vector b) {
    const uint64x2_t differ = vreinterpretq_u64_u8(veorq_u8(a, b));
    return (vgetq_lane_u64(differ, 0) | vgetq_lane_u64(differ, 1)) == 0;
  }
  // The top bit of each 32-bit lane, lane k's as bit k: the sign spread over the lane, kept
  // at the lane's place value, and the four summed.
  static uint32_t signs32(Vector v) {
    constexpr int kTopBit = 31;
    const uint32x4_t placeValues = {1, 2, 4, 8};
    return vaddvq_u32(vandq_u32(vreinterpretq_u32_s32(vshrq_n_s32(vreinterpretq_s32_u8(v), kTopBit)), placeValues));
  }
  template <int bits>
  static Vector shiftRight16(Vector v) { return u8(vshrq_n_u16(u16(v), bits)); }
  template <int bits>
  static Vector shiftLeft32(Vector v) { return u8(vshlq_n_u32(u32(v), bits)); }
  template <int bits>
  static Vector shiftRightSigned32(Vector v) {
    return vreinterpretq_u8_s32(vshrq_n_s32(vreinterpretq_s32_u8(v), bits));
  }

  // The x86 packs: signed words saturated to unsigned bytes, signed 32-bit lanes saturated
  // to signed words, the low operand's lanes first.
  static Vector narrow16(Vector low, Vector high) {
    return vqmovun_high_s16(vqmovun_s16(vreinterpretq_s16_u8(low)), vreinterpretq_s16_u8(high));
  }
  static Vector narrowSigned32(Vector low, Vector high) {
    return vreinterpretq_u8_s16(
        vqmovn_high_s32(vqmovn_s32(vreinterpretq_s32_u8(low)), vreinterpretq_s32_u8(high)));
  }
  // The x86 interleaves: lanes of a and b alternating, from the low or the high half.
  static Vector interleaveLow8(Vector a, Vector b) { return vzip1q_u8(a, b); }
  static Vector interleaveHigh8(Vector a, Vector b) { return vzip2q_u8(a, b); }
  static Vector interleaveLow16(Vector a, Vector b) { return u8(vzip1q_u16(u16(a), u16(b))); }
  static Vector interleaveHigh16(Vector a, Vector b) { return u8(vzip2q_u16(u16(a), u16(b))); }

  // |a - b| of unsigned bytes, in one instruction.
  static Vector absoluteDifference8(Vector a, Vector b) { return vabdq_u8(a, b); }
  // All bits set in the 32-bit lanes where a and b share a set bit, in one instruction.
  static Vector test32(Vector a, Vector b) { return u8(vtstq_u32(u32(a), u32(b))); }

  // The bits of a where mask is set, those of b elsewhere: one bit select.
  static Vector select(Vector mask, Vector a, Vector b) { return vbslq_u8(mask, a, b); }
  static Vector selectIntoZeros(Vector mask, Vector a, Vector b) { return vbslq_u8(mask, a, b); }

 private:
  static uint16x8_t u16(Vector v) { return vreinterpretq_u16_u8(v); }
  static uint32x4_t u32(Vector v) { return vreinterpretq_u32_u8(v); }
  static Vector u8(uint16x8_t v) { return vreinterpretq_u8_u16(v); }
  static Vector u8(uint32x4_t v) { return vreinterpretq_u8_u32(v); }
};

}  // namespace
}  // namespace qov::simd
