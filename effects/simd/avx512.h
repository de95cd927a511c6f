// The AVX-512 level's vector primitives (F, BW and VL), for the kernel files compiled for
// AVX-512 and only those. sse2.h and avx2.h give the same names at their widths; vector.h
// builds on them.
//
// Everything here has internal linkage (an unnamed namespace): an inline function with
// external linkage emitted from a file compiled for one level could be the copy the linker
// keeps for the files of another level.
#pragma once

#if !defined(__AVX512BW__) || !defined(__AVX512VL__) || !defined(__AVX512F__)
#error "effects/simd/avx512.h belongs to files compiled for AVX-512 (qov_simd_source ... avx512)"
#endif

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace qov::simd {
namespace {

struct Avx512 {
  using Vector = __m512i;
  static constexpr std::size_t kBytes = 64;
  static constexpr bool kMaskedStores = true;
  // GCC 12 warns about the undefined pass-through operand of some unmasked 512-bit shifts by
  // an immediate and 32-bit minimum and maximum; the zero-masked forms with every lane
  // selected compile to the same instruction.
  static constexpr __mmask16 kAll32 = 0xFFFF;
  // Ternary-logic truth table of (mask ? a : b), bit by bit, with (a, b, mask) as operands.
  static constexpr int kBitSelect = 0xE4;

  static Vector load(const void* p) { return _mm512_loadu_si512(p); }
  static void store(void* p, Vector v) { _mm512_storeu_si512(p, v); }
  // Stores the bytes whose bit is set in `bytes`; the others keep what memory held.
  static void storeMasked(void* p, __mmask64 bytes, Vector v) { _mm512_mask_storeu_epi8(p, bytes, v); }

  static Vector zero() { return _mm512_setzero_si512(); }
  static Vector set8(uint8_t value) { return _mm512_set1_epi8(static_cast<char>(value)); }
  static Vector set16(int value) { return _mm512_set1_epi16(static_cast<short>(value)); }
  static Vector set32(uint32_t value) { return _mm512_set1_epi32(static_cast<int>(value)); }

  static Vector bitAnd(Vector a, Vector b) { return _mm512_and_si512(a, b); }
  static Vector bitOr(Vector a, Vector b) { return _mm512_or_si512(a, b); }
  static Vector bitXor(Vector a, Vector b) { return _mm512_xor_si512(a, b); }
  static Vector andNot(Vector mask, Vector v) { return _mm512_andnot_si512(mask, v); }

  static Vector subSaturated8(Vector a, Vector b) { return _mm512_subs_epu8(a, b); }
  static Vector add16(Vector a, Vector b) { return _mm512_add_epi16(a, b); }
  static Vector sub16(Vector a, Vector b) { return _mm512_sub_epi16(a, b); }
  static Vector mulLow16(Vector a, Vector b) { return _mm512_mullo_epi16(a, b); }
  static Vector addSaturated16(Vector a, Vector b) { return _mm512_adds_epu16(a, b); }
  static Vector subSaturated16(Vector a, Vector b) { return _mm512_subs_epu16(a, b); }
  static Vector average16(Vector a, Vector b) { return _mm512_avg_epu16(a, b); }
  static Vector mulAddPairs16(Vector a, Vector b) { return _mm512_madd_epi16(a, b); }
  static Vector add32(Vector a, Vector b) { return _mm512_add_epi32(a, b); }
  static Vector equal32(Vector a, Vector b) { return _mm512_movm_epi32(_mm512_cmpeq_epi32_mask(a, b)); }
  // Whether every byte of a equals that of b.
  static bool same(Vector a, Vector b) { return _mm512_cmpneq_epi64_mask(a, b) == 0; }
  static Vector maxSigned32(Vector a, Vector b) { return _mm512_maskz_max_epi32(kAll32, a, b); }
  static Vector minSigned32(Vector a, Vector b) { return _mm512_maskz_min_epi32(kAll32, a, b); }
  template <int bits>
  static Vector shiftRight16(Vector v) { return _mm512_srli_epi16(v, bits); }
  template <int bits>
  static Vector shiftLeft32(Vector v) { return _mm512_maskz_slli_epi32(kAll32, v, bits); }
  template <int bits>
  static Vector shiftRightSigned32(Vector v) { return _mm512_maskz_srai_epi32(kAll32, v, bits); }

  static Vector narrow16(Vector low, Vector high) { return _mm512_packus_epi16(low, high); }
  static Vector narrowSigned32(Vector low, Vector high) { return _mm512_packs_epi32(low, high); }
  static Vector interleaveLow8(Vector a, Vector b) { return _mm512_unpacklo_epi8(a, b); }
  static Vector interleaveHigh8(Vector a, Vector b) { return _mm512_unpackhi_epi8(a, b); }
  static Vector interleaveLow16(Vector a, Vector b) { return _mm512_unpacklo_epi16(a, b); }
  static Vector interleaveHigh16(Vector a, Vector b) { return _mm512_unpackhi_epi16(a, b); }

  static Vector select(Vector mask, Vector a, Vector b) { return _mm512_ternarylogic_epi32(a, b, mask, kBitSelect); }
  // select for a b that is zero wherever mask is set (one instruction either way).
  static Vector selectIntoZeros(Vector mask, Vector a, Vector b) { return select(mask, a, b); }
};

}  // namespace
}  // namespace qov::simd
