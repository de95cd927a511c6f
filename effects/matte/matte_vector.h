// The vector matte kernel, written once over a level's primitives L (Sse2, Avx2 or Avx512 of
// effects/simd/): 2 x kBytes / 4 pixels per step in two vectors, the mask written at byte 3
// or byte 0 of each pixel; the tail goes to the scalar kernel. Included by matte_<level>.cpp
// only, after the level's header.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/matte/matte_kernels.h"
#include "effects/matte/matte_word_weights.h"

namespace qov::matte {
namespace {

constexpr int byteBits = 8;
constexpr uint32_t evenBytesOfPixel = 0x00FF00FF;
// The bytes a pixel keeps from the colour source, by where the mask goes.
constexpr uint32_t keptBytesMaskLast = 0x00FFFFFF;
constexpr uint32_t keptBytesMaskFirst = 0xFFFFFF00;
constexpr int lastByte = 3;

template <class L>
struct Constants {
  using V = typename L::Vector;
  V evenBytes, evenHigh, oddHigh, evenLow, oddLow, sumConstant, colourBytes, invertAll;

  explicit Constants(const MatteByteRule& r) {
    const MatteWordWeights w = matteWordWeights(r);
    evenBytes = L::set32(evenBytesOfPixel);
    evenHigh = L::set32(static_cast<uint32_t>(w.evenHigh));
    oddHigh = L::set32(static_cast<uint32_t>(w.oddHigh));
    evenLow = L::set32(static_cast<uint32_t>(w.evenLow));
    oddLow = L::set32(static_cast<uint32_t>(w.oddLow));
    sumConstant = L::set32(static_cast<uint32_t>(w.constant));
    colourBytes = L::set32(r.maskByte == lastByte ? keptBytesMaskLast : keptBytesMaskFirst);
    invertAll = L::set8(static_cast<uint8_t>(r.invertAll ? maskMax : 0));
  }
};

// floor(sum / 8) of the rule, unclamped, for the pixels of one vector.
template <class L>
typename L::Vector shiftedSums(typename L::Vector pixels, const Constants<L>& k) {
  using V = typename L::Vector;
  const V even = L::bitAnd(pixels, k.evenBytes);                 // bytes 0 and 2 as words
  const V odd = L::template shiftRight16<byteBits>(pixels);      // bytes 1 and 3 as words
  const V high = L::add32(L::mulAddPairs16(even, k.evenHigh), L::mulAddPairs16(odd, k.oddHigh));
  const V low = L::add32(L::mulAddPairs16(even, k.evenLow), L::mulAddPairs16(odd, k.oddLow));
  const V sum = L::add32(L::add32(L::template shiftLeft32<lowSplitBits>(high), low), k.sumConstant);
  return L::template shiftRightSigned32<maskShift>(sum);
}

template <class L, bool maskLast>
void applyMatteSteps(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                     size_t steps, const Constants<L>& k) {
  using V = typename L::Vector;
  constexpr size_t vectorBytes = L::kBytes;
  constexpr size_t stepBytes = 2 * vectorBytes;
  const V zero = L::zero();
  for (size_t step = 0; step < steps; ++step) {
    const size_t offset = step * stepBytes;
    // Every input of the step is loaded before anything is stored (in-place processing).
    const V maskA = L::load(maskSource + offset);
    const V maskB = L::load(maskSource + offset + vectorBytes);
    const V colourA = L::load(colourSource + offset);
    const V colourB = L::load(colourSource + offset + vectorBytes);
    // The saturating packs are the clamp: to signed words (the sign survives), then to
    // unsigned bytes 0..255. 255 - m is m ^ 255 on that range.
    V masks = L::narrow16(L::narrowSigned32(shiftedSums<L>(maskA, k), shiftedSums<L>(maskB, k)), zero);
    masks = L::bitXor(masks, k.invertAll);
    // Spread the mask bytes to byte 3 (or byte 0) of their pixels, leaving the other bytes 0.
    // Packs and interleaves work within 16-byte blocks; interleaving undoes the packing's
    // order, so pixels stay in place.
    V alphaA, alphaB;
    if constexpr (maskLast) {
      const V maskWords = L::interleaveLow8(zero, masks);
      alphaA = L::interleaveLow16(zero, maskWords);
      alphaB = L::interleaveHigh16(zero, maskWords);
    } else {
      const V maskWords = L::interleaveLow8(masks, zero);
      alphaA = L::interleaveLow16(maskWords, zero);
      alphaB = L::interleaveHigh16(maskWords, zero);
    }
    L::store(destination + offset, L::selectIntoZeros(k.colourBytes, colourA, alphaA));
    L::store(destination + offset + vectorBytes, L::selectIntoZeros(k.colourBytes, colourB, alphaB));
  }
}

template <class L>
void applyMatteWith(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                    size_t pixelCount, const MatteByteRule& r) {
  constexpr size_t pixelsPerStep = 2 * L::kBytes / bytesPerPixel;
  const Constants<L> k(r);
  const size_t steps = pixelCount / pixelsPerStep;
  if (r.maskByte == lastByte)
    applyMatteSteps<L, true>(colourSource, maskSource, destination, steps, k);
  else
    applyMatteSteps<L, false>(colourSource, maskSource, destination, steps, k);
  const size_t done = steps * pixelsPerStep;
  const size_t offset = done * bytesPerPixel;
  scalar::applyMatte(colourSource + offset, maskSource + offset, destination + offset, pixelCount - done, r);
}

}  // namespace
}  // namespace qov::matte
