// The matte weights in the form the vector kernels multiply with: 16-bit words for the
// multiply-and-add-pairs instructions, which take a pixel's bytes two at a time.
//
// With v = weight, negated when its byte is inverted, and invertedCount the number of
// inverted bytes, the rule's sum is
//     sum = 65536 * invertedCount + sum over the four bytes of byte * v.
// v lies in [-65536, 65536], too wide for a signed 16-bit factor, so it is split as
// v = 256 * high + low with high in [-256, 256] and low in [0, 255]:
//     sum = constant + 256 * (sum of byte * high) + (sum of byte * low),
// both partial sums being exact 32-bit results of the pair instructions.
//
// A 4-byte pixel in a 32-bit lane is split into two word pairs: the even bytes (blue, red)
// and the odd bytes (green, alpha). The pair weights below follow that order, the first
// byte of a pair in the lower word (x86 is little-endian).
#pragma once

#include <cstdint>
#include <cstring>

#include "effects/matte/matte_rule.h"
#include "effects/matte/matte_settings.h"

namespace qov::matte {

// v = (high << lowSplitBits) + low.
constexpr int lowSplitBits = 8;

struct MatteWordWeights {
  int32_t evenHigh;  // (blue, red) high words
  int32_t oddHigh;   // (green, alpha) high words
  int32_t evenLow;   // (blue, red) low words
  int32_t oddLow;    // (green, alpha) low words
  int32_t constant;  // 65536 for every inverted byte
};

namespace detail {

constexpr int32_t lowSplit = int32_t{1} << lowSplitBits;

struct SplitWeight {
  int16_t high;
  int16_t low;
};

inline SplitWeight splitWeight(int32_t weight, bool inverted) {
  const int32_t v = inverted ? -weight : weight;
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

inline MatteWordWeights matteWordWeights(const MatteSettings& s) {
  using detail::splitWeight;
  using detail::wordPair;
  const detail::SplitWeight blue = splitWeight(s.blueWeight, s.invertBlue);
  const detail::SplitWeight green = splitWeight(s.greenWeight, s.invertGreen);
  const detail::SplitWeight red = splitWeight(s.redWeight, s.invertRed);
  const detail::SplitWeight alpha = splitWeight(s.alphaWeight, s.invertAlpha);
  const int32_t invertedCount = int32_t{s.invertBlue} + int32_t{s.invertGreen} +
                                int32_t{s.invertRed} + int32_t{s.invertAlpha};
  MatteWordWeights w;
  w.evenHigh = wordPair(blue.high, red.high);
  w.oddHigh = wordPair(green.high, alpha.high);
  w.evenLow = wordPair(blue.low, red.low);
  w.oddLow = wordPair(green.low, alpha.low);
  w.constant = invertedTermBase * invertedCount;
  return w;
}

}  // namespace qov::matte
