// The matte weights in the form the vector kernels multiply with: 16-bit words for the
// multiply-and-add-pairs instructions, which take a pixel's bytes two at a time.
//
// The rule by byte offset (matte_byte_rule.h) sums constant + byte * v over the four bytes,
// with each signed weight v in [-65536, 65536], too wide for a signed 16-bit factor. So v is
// split as v = 256 * high + low with high in [-256, 256] and low in [0, 255]:
//     sum = constant + 256 * (sum of byte * high) + (sum of byte * low),
// both partial sums being exact 32-bit results of the pair instructions.
//
// A 4-byte pixel in a 32-bit lane is split into two word pairs: the even bytes (offsets 0
// and 2) and the odd bytes (1 and 3). The pair weights below follow that order, the first
// byte of a pair in the lower word (x86 is little-endian).
#pragma once

#include <cstdint>
#include <cstring>

#include "effects/matte/matte_byte_rule.h"

namespace qov::matte {

// v = (high << lowSplitBits) + low.
constexpr int lowSplitBits = 8;

struct MatteWordWeights {
  int32_t evenHigh;  // (byte 0, byte 2) high words
  int32_t oddHigh;   // (byte 1, byte 3) high words
  int32_t evenLow;   // (byte 0, byte 2) low words
  int32_t oddLow;    // (byte 1, byte 3) low words
  int32_t constant;
};

namespace detail {

constexpr int32_t lowSplit = int32_t{1} << lowSplitBits;

struct SplitWeight {
  int16_t high;
  int16_t low;
};

inline SplitWeight splitWeight(int32_t v) {
  // Floor division by 256, written so that it is exact and defined for negative v.
  const int32_t low = ((v % lowSplit) + lowSplit) % lowSplit;
  const int32_t high = (v - low) / lowSplit;
  return {static_cast<int16_t>(high), static_cast<int16_t>(low)};
}

inline int32_t wordPair(int16_t lowerWord, int16_t upperWord) {
  const int16_t words[2] = {lowerWord, upperWord};
  int32_t pair;
  std::memcpy(&pair, words, sizeof pair);
  return pair;
}

}  // namespace detail

inline MatteWordWeights matteWordWeights(const MatteByteRule& r) {
  using detail::splitWeight;
  using detail::wordPair;
  const detail::SplitWeight byte0 = splitWeight(r.weights[0]);
  const detail::SplitWeight byte1 = splitWeight(r.weights[1]);
  const detail::SplitWeight byte2 = splitWeight(r.weights[2]);
  const detail::SplitWeight byte3 = splitWeight(r.weights[3]);
  MatteWordWeights w;
  w.evenHigh = wordPair(byte0.high, byte2.high);
  w.oddHigh = wordPair(byte1.high, byte3.high);
  w.evenLow = wordPair(byte0.low, byte2.low);
  w.oddLow = wordPair(byte1.low, byte3.low);
  w.constant = r.constant;
  return w;
}

}  // namespace qov::matte
