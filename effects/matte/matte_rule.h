// The matte rule for one pixel: the mask that replaces a pixel's alpha byte, computed from
// the four bytes of a (possibly other) pixel. This is the reference every kernel matches.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/matte/matte_settings.h"

namespace qov::matte {

constexpr size_t bytesPerPixel = 4;
constexpr size_t blueByte = 0;
constexpr size_t greenByte = 1;
constexpr size_t redByte = 2;
constexpr size_t alphaByte = 3;

// An inverted term is subtracted from one whole weight unit, not from 255 * weight.
constexpr int32_t invertedTermBase = 65536;
// The sum is scaled down by 2^3, not 2^16: the mask saturates as soon as the sum reaches 2040.
constexpr int maskShift = 3;
constexpr int32_t maskMax = 255;

// The mask of one 4-byte pixel. Signed 32-bit arithmetic throughout: with weights in
// [0, maxWeight] every term lies in [65536 - 255 * 65536, 255 * 65536] and the sum of four
// stays below 2^27 in magnitude.
inline uint8_t matteMask(const uint8_t* pixel, const MatteSettings& s) {
  int32_t blueTerm = int32_t{pixel[blueByte]} * s.blueWeight;
  int32_t greenTerm = int32_t{pixel[greenByte]} * s.greenWeight;
  int32_t redTerm = int32_t{pixel[redByte]} * s.redWeight;
  int32_t alphaTerm = int32_t{pixel[alphaByte]} * s.alphaWeight;
  if (s.invertBlue) blueTerm = invertedTermBase - blueTerm;
  if (s.invertGreen) greenTerm = invertedTermBase - greenTerm;
  if (s.invertRed) redTerm = invertedTermBase - redTerm;
  if (s.invertAlpha) alphaTerm = invertedTermBase - alphaTerm;
  const int32_t sum = blueTerm + greenTerm + redTerm + alphaTerm;
  // Arithmetic shift, so a negative sum is floored (GCC and Clang shift signed values this
  // way, and C++20 requires it).
  int32_t m = sum >> maskShift;
  if (m >= maskMax) m = maskMax;
  if (m < 0) m = 0;
  // The final inversion acts on the clamped value, on top of any per-byte inversion.
  if (s.invertAll) m = maskMax - m;
  return static_cast<uint8_t>(m);
}

// One output pixel: the colour bytes of colourPixel and the mask of maskPixel. All inputs
// are read before the output is written, so output may be either input.
inline void mattePixel(const uint8_t* colourPixel, const uint8_t* maskPixel, uint8_t* output,
                       const MatteSettings& s) {
  const uint8_t mask = matteMask(maskPixel, s);
  const uint8_t blue = colourPixel[blueByte];
  const uint8_t green = colourPixel[greenByte];
  const uint8_t red = colourPixel[redByte];
  output[blueByte] = blue;
  output[greenByte] = green;
  output[redByte] = red;
  output[alphaByte] = mask;
}

}  // namespace qov::matte
