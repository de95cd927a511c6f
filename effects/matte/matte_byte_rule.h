// The matte rule laid onto the bytes of a pixel: where a frame keeps blue, green, red and
// its fourth byte, and the rule rewritten per byte offset, the form every kernel applies.
//
// The rule's sum, with v = weight, negated when its byte is inverted, is
//     sum = 65536 * (number of inverted terms) + sum over the four bytes of byte * v,
// so a kernel needs only a signed weight per byte offset and one constant. A fourth byte
// that is padding carries no alpha: the pixel counts as opaque, its alpha term is that of
// 255, a constant as well.
#pragma once

#include <cstdint>

#include "effects/matte/matte_rule.h"
#include "effects/matte/matte_settings.h"

namespace qov::matte {

// Byte offsets within a 4-byte pixel. The mask is written over the fourth byte, which sits
// at offset 0 or 3 in every layout the kernels take.
struct MatteLayout {
  int blue;
  int green;
  int red;
  int fourth;
  bool fourthIsAlpha;  // false: padding, never read; the pixel counts as opaque
};

inline constexpr MatteLayout kNativeMatteLayout = {blueByte, greenByte, redByte, alphaByte, true};

// The value a padding byte stands for: fully opaque.
constexpr int32_t opaqueAlpha = 255;

// The rule for one frame, by byte offset. |constant| stays below 2^25 and each weight in
// [-maxWeight, maxWeight], so the sum keeps the rule's bound of 2^27.
struct MatteByteRule {
  int32_t weights[bytesPerPixel] = {};
  int32_t constant = 0;
  bool invertAll = false;
  int maskByte = alphaByte;

  MatteByteRule() = default;
  // Not explicit: code written for frames in the native order passes its settings as they are.
  MatteByteRule(const MatteSettings& s, const MatteLayout& layout = kNativeMatteLayout) {
    const auto signedWeight = [](int32_t weight, bool inverted) { return inverted ? -weight : weight; };
    const auto invertedBase = [](bool inverted) { return inverted ? invertedTermBase : 0; };
    weights[layout.blue] = signedWeight(s.blueWeight, s.invertBlue);
    weights[layout.green] = signedWeight(s.greenWeight, s.invertGreen);
    weights[layout.red] = signedWeight(s.redWeight, s.invertRed);
    constant = invertedBase(s.invertBlue) + invertedBase(s.invertGreen) + invertedBase(s.invertRed) +
               invertedBase(s.invertAlpha);
    const int32_t alphaWeight = signedWeight(s.alphaWeight, s.invertAlpha);
    if (layout.fourthIsAlpha)
      weights[layout.fourth] = alphaWeight;
    else
      constant += opaqueAlpha * alphaWeight;
    invertAll = s.invertAll;
    maskByte = layout.fourth;
  }
};

// The mask of one pixel: the rule's steps after the terms (shift, clamp, final inversion).
inline uint8_t byteRuleMask(const uint8_t* pixel, const MatteByteRule& r) {
  int32_t sum = r.constant;
  for (size_t i = 0; i < bytesPerPixel; ++i) sum += int32_t{pixel[i]} * r.weights[i];
  int32_t m = sum >> maskShift;
  if (m >= maskMax) m = maskMax;
  if (m < 0) m = 0;
  if (r.invertAll) m = maskMax - m;
  return static_cast<uint8_t>(m);
}

}  // namespace qov::matte
