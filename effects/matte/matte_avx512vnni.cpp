// The AVX-512 VNNI matte kernel: 32 pixels per step in two 64-byte vectors. Each pixel is
// one 32-bit lane, so the sum of its four weighted bytes is three byte dot products of the
// pixel with the weights' digits (matte_digit_weights.h), and the mask stays in its lane:
// clamped, shifted onto its byte and merged with the colour bytes, with no packing.
#include "effects/simd/simd.h"

#if QOV_SIMD_X86
#include "effects/matte/matte_digit_weights.h"
#include "effects/matte/matte_kernels.h"
#include "effects/simd/avx512vnni.h"

namespace qov::matte::avx512vnni {
namespace {

using L = simd::Avx512Vnni;
using V = L::Vector;

constexpr int lastByte = 3;
// The bytes a pixel keeps from the colour source, by where the mask goes.
constexpr uint32_t keptBytesMaskLast = 0x00FFFFFF;
constexpr uint32_t keptBytesMaskFirst = 0xFFFFFF00;
// A clamped sum (0..2047) shifted so that floor(sum / 8) is byte 3 of the lane; its three
// low bits land in byte 2, which the colour replaces.
constexpr int maskLastShift = 3 * 8 - maskShift;

struct Constants {
  V digit0, digit1, digit2, highConstant, lowConstant, zero, sumMax, colourBytes;

  explicit Constants(const MatteByteRule& r) {
    const MatteDigitWeights w = matteDigitWeights(r);
    digit0 = L::set32(static_cast<uint32_t>(w.digits[0]));
    digit1 = L::set32(static_cast<uint32_t>(w.digits[1]));
    digit2 = L::set32(static_cast<uint32_t>(w.digits[2]));
    highConstant = L::set32(static_cast<uint32_t>(w.highConstant));
    lowConstant = L::set32(static_cast<uint32_t>(w.lowConstant));
    zero = L::zero();
    sumMax = L::set32(static_cast<uint32_t>(maskSumMax));
    colourBytes = L::set32(r.maskByte == lastByte ? keptBytesMaskLast : keptBytesMaskFirst);
  }
};

// The mask of every pixel of `pixels` at its byte (3 or 0) of the lane; the other bytes
// are 0, except byte 2 under maskLast.
template <bool maskLast>
V placedMasks(V pixels, const Constants& k) {
  V sum = L::dotBytesAdd32(k.highConstant, pixels, k.digit2);
  sum = L::dotBytesAdd32(L::shiftLeft32<digitBits>(sum), pixels, k.digit1);
  sum = L::dotBytesAdd32(L::shiftLeft32<digitBits>(sum), pixels, k.digit0);
  sum = L::add32(sum, k.lowConstant);
  // floor(clamp(sum, 0, 2047) / 8) = clamp(floor(sum / 8), 0, 255).
  const V clamped = L::minSigned32(L::maxSigned32(sum, k.zero), k.sumMax);
  if constexpr (maskLast)
    return L::shiftLeft32<maskLastShift>(clamped);
  else
    return L::shiftRightSigned32<maskShift>(clamped);
}

template <bool maskLast>
void applyMatteSteps(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                     size_t steps, const Constants& k) {
  constexpr size_t vectorBytes = L::kBytes;
  constexpr size_t stepBytes = 2 * vectorBytes;
  for (size_t step = 0; step < steps; ++step) {
    const size_t offset = step * stepBytes;
    // Every input of the step is loaded before anything is stored (in-place processing).
    const V maskA = L::load(maskSource + offset);
    const V maskB = L::load(maskSource + offset + vectorBytes);
    const V colourA = L::load(colourSource + offset);
    const V colourB = L::load(colourSource + offset + vectorBytes);
    L::store(destination + offset, L::select(k.colourBytes, colourA, placedMasks<maskLast>(maskA, k)));
    L::store(destination + offset + vectorBytes,
             L::select(k.colourBytes, colourB, placedMasks<maskLast>(maskB, k)));
  }
}

}  // namespace

void applyMatte(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                size_t pixelCount, const MatteByteRule& r) {
  constexpr size_t pixelsPerStep = 2 * L::kBytes / bytesPerPixel;
  const Constants k(r);
  const size_t steps = pixelCount / pixelsPerStep;
  if (r.maskByte == lastByte)
    applyMatteSteps<true>(colourSource, maskSource, destination, steps, k);
  else
    applyMatteSteps<false>(colourSource, maskSource, destination, steps, k);
  const size_t done = steps * pixelsPerStep;
  const size_t offset = done * bytesPerPixel;
  scalar::applyMatte(colourSource + offset, maskSource + offset, destination + offset, pixelCount - done, r);
}

}  // namespace qov::matte::avx512vnni
#endif
