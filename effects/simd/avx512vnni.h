// The AVX-512 VNNI level's vector primitives: those of avx512.h and the byte dot product,
// for the kernel files compiled for this level and only those. Internal linkage, as in
// avx512.h.
#pragma once

#if !defined(__AVX512VNNI__)
#error "effects/simd/avx512vnni.h belongs to files compiled for AVX-512 VNNI (qov_simd_source ... avx512vnni)"
#endif

#include "effects/simd/avx512.h"

namespace qov::simd {
namespace {

struct Avx512Vnni : Avx512 {
  // Per 32-bit lane: acc + the four products of an unsigned byte of `unsignedBytes` and the
  // signed byte at the same place in `signedBytes`. The products and their sum are exact
  // (each product within 255 * 128 in magnitude); only the final addition to acc wraps
  // modulo 2^32, so the caller bounds acc.
  static Vector dotBytesAdd32(Vector acc, Vector unsignedBytes, Vector signedBytes) {
    return _mm512_dpbusd_epi32(acc, unsignedBytes, signedBytes);
  }
};

}  // namespace
}  // namespace qov::simd
