// The SSE2 level's vector primitives, for the kernel files compiled for SSE2 and only those.
// avx2.h and avx512.h give the same names at their widths; vector.h builds on them.
//
// Everything here has internal linkage (an unnamed namespace): an inline function with
// external linkage emitted from a file compiled for one level could be the copy the linker
// keeps for the files of another level.
#pragma once

#if !defined(__SSE2__)
#error "effects/simd/sse2.h belongs to files compiled for SSE2 (qov_simd_source ... sse2)"
#endif

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

namespace qov::simd {
namespace {

struct Sse2 {
  using Vector = __m128i;
  static constexpr std::size_t kBytes = 16;
  static constexpr bool kMaskedStores = false;

  static Vector load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
  static void store(void* p, Vector v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }

  static Vector zero() { return _mm_setzero_si128(); }
  static Vector set8(uint8_t value) { return _mm_set1_epi8(static_cast<char>(value)); }
  static Vector set16(int value) { return _mm_set1_epi16(static_cast<short>(value)); }
  static Vector set32(uint32_t value) { return _mm_set1_epi32(static_cast<int>(value)); }

  static Vector bitAnd(Vector a, Vector b) { return _mm_and_si128(a, b); }
  static Vector bitOr(Vector a, Vector b) { return _mm_or_si128(a, b); }
  static Vector bitXor(Vector a, Vector b) { return _mm_xor_si128(a, b); }
  static Vector andNot(Vector mask, Vector v) { return _mm_andnot_si128(mask, v); }

  static Vector subSaturated8(Vector a, Vector b) { return _mm_subs_epu8(a, b); }
  static Vector add16(Vector a, Vector b) { return _mm_add_epi16(a, b); }
  static Vector sub16(Vector a, Vector b) { return _mm_sub_epi16(a, b); }
  static Vector mulLow16(Vector a, Vector b) { return _mm_mullo_epi16(a, b); }
  static Vector addSaturated16(Vector a, Vector b) { return _mm_adds_epu16(a, b); }
  static Vector subSaturated16(Vector a, Vector b) { return _mm_subs_epu16(a, b); }
  static Vector average16(Vector a, Vector b) { return _mm_avg_epu16(a, b); }
  // Products of 16-bit lane pairs, each pair summed into a 32-bit lane.
  static Vector mulAddPairs16(Vector a, Vector b) { return _mm_madd_epi16(a, b); }
  static Vector add32(Vector a, Vector b) { return _mm_add_epi32(a, b); }
  static Vector equal32(Vector a, Vector b) { return _mm_cmpeq_epi32(a, b); }
  // Whether every byte of a equals that of b.
  static bool same(Vector a, Vector b) { return _mm_movemask_epi8(_mm_cmpeq_epi8(a, b)) == 0xFFFF; }
  // The top bit of each 32-bit lane, lane k's as bit k.
  static uint32_t signs32(Vector v) { return static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(v))); }
  template <int bits>
  static Vector shiftRight16(Vector v) { return _mm_srli_epi16(v, bits); }
  template <int bits>
  static Vector shiftLeft32(Vector v) { return _mm_slli_epi32(v, bits); }
  template <int bits>
  static Vector shiftRightSigned32(Vector v) { return _mm_srai_epi32(v, bits); }

  // Packs and interleaves work within 16-byte blocks at every width, so a pack undone by the
  // matching interleaves (or the other way round) keeps every byte in place.
  static Vector narrow16(Vector low, Vector high) { return _mm_packus_epi16(low, high); }
  static Vector narrowSigned32(Vector low, Vector high) { return _mm_packs_epi32(low, high); }
  static Vector interleaveLow8(Vector a, Vector b) { return _mm_unpacklo_epi8(a, b); }
  static Vector interleaveHigh8(Vector a, Vector b) { return _mm_unpackhi_epi8(a, b); }
  static Vector interleaveLow16(Vector a, Vector b) { return _mm_unpacklo_epi16(a, b); }
  static Vector interleaveHigh16(Vector a, Vector b) { return _mm_unpackhi_epi16(a, b); }

  // |a - b| of unsigned bytes: the two saturating differences, one of them zero.
  static Vector absoluteDifference8(Vector a, Vector b) { return bitOr(subSaturated8(a, b), subSaturated8(b, a)); }
  // All bits set in the 32-bit lanes where a and b share a set bit.
  static Vector test32(Vector a, Vector b) { return bitXor(equal32(bitAnd(a, b), zero()), set32(0xFFFFFFFFu)); }

  // The bits of a where mask is set, those of b elsewhere.
  static Vector select(Vector mask, Vector a, Vector b) { return bitOr(bitAnd(mask, a), andNot(mask, b)); }
  // select for a b that is zero wherever mask is set: one operation fewer.
  static Vector selectIntoZeros(Vector mask, Vector a, Vector b) { return bitOr(bitAnd(mask, a), b); }
};

}  // namespace
}  // namespace qov::simd
