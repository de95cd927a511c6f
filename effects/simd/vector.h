// Helpers written once over a level's primitives (the Sse2, Avx2, Avx512 and Neon of sse2.h,
// avx2.h, avx512.h and neon.h): include after the level's header, from files compiled for that level.
// Templates over a type with internal linkage have internal linkage themselves.
#pragma once

#include <cstdint>

namespace qov::simd {
namespace {

// round(x / 255) per 16-bit lane for x in 0..65025: (x + 128 + ((x + 128) >> 8)) >> 8, where
// every intermediate stays below 2^16.
template <class L>
typename L::Vector divide255(typename L::Vector x) {
  constexpr int kHalf = 128;
  constexpr int kByteBits = 8;
  const typename L::Vector biased = L::add16(x, L::set16(kHalf));
  return L::template shiftRight16<kByteBits>(L::add16(biased, L::template shiftRight16<kByteBits>(biased)));
}

// Bytes 0, 1 and 2 of every 4-byte pixel of v go to p; byte 3 keeps what p held.
template <class L>
void storeColourBytes(uint8_t* p, typename L::Vector v) {
  constexpr uint32_t kAlphaByte = 0xFF000000u;  // byte 3 of a little-endian pixel word
  if constexpr (L::kMaskedStores) {
    constexpr uint64_t kColourBytes = 0x7777777777777777ull;  // bytes 0, 1, 2 of each pixel
    L::storeMasked(p, kColourBytes, v);
  } else {
    L::store(p, L::select(L::set32(kAlphaByte), L::load(p), v));
  }
}

}  // namespace
}  // namespace qov::simd
