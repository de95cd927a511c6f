// The blending passes with SSE2: the colour mix in one lane per byte, four pixels of a span
// at once, and the bit sets of the pass bits gathered 16 edge words at a time. Every lane
// computes what the scalar level computes for its byte (the same two products, their sum,
// the same truncation), so the bits are the same. SSE2 is part of every x86 build's baseline
// (cmake/QovFlags.cmake), so the inline helpers of mlaa_internal.h compiled here are baseline
// code like everywhere else.
#include "effects/simd/simd.h"

#if QOV_SIMD_X86
#include "effects/simd/sse2.h"
// After the level's primitives:
#include "effects/antialias/mlaa_blend_passes.h"
#include "effects/antialias/mlaa_band_passes.h"

namespace qov::aa::detail {
namespace {

using simd::Sse2;

constexpr uint32_t kByteMask = 0xFFu;
constexpr int kColourBytes = 3;
constexpr int kFour = 4;
constexpr int kWordsPerStep = 16;  // edge words whose signs one step of packs gathers

struct Sse2Blend {
  // Lane c holds byte c of the pixels; lane 3 (alpha) is computed along and then replaced.
  static uint32_t mix(uint32_t p, uint32_t q, float wp, float wq) {
    const __m128i zero = Sse2::zero();
    const __m128i pBytes = _mm_cvtsi32_si128(static_cast<int>(p));
    const __m128i qBytes = _mm_cvtsi32_si128(static_cast<int>(q));
    const __m128 pLanes = _mm_cvtepi32_ps(Sse2::interleaveLow16(Sse2::interleaveLow8(pBytes, zero), zero));
    const __m128 qLanes = _mm_cvtepi32_ps(Sse2::interleaveLow16(Sse2::interleaveLow8(qBytes, zero), zero));
    const __m128 v = _mm_add_ps(_mm_mul_ps(pLanes, _mm_set1_ps(wp)), _mm_mul_ps(qLanes, _mm_set1_ps(wq)));
    // Truncation toward zero, then the low 8 bits; the masked values fit the saturating packs
    // unchanged.
    __m128i bytes = Sse2::bitAnd(_mm_cvttps_epi32(v), Sse2::set32(kByteMask));
    bytes = Sse2::narrowSigned32(bytes, bytes);
    bytes = Sse2::narrow16(bytes, bytes);
    return (static_cast<uint32_t>(_mm_cvtsi128_si32(bytes)) & ~kOpaque) | kOpaque;
  }

  // Four pixels at once, pixel i of p and q with the weights in lane i of wp and wq: one
  // register per colour byte, each lane computing what mix computes for that byte of that
  // pixel.
  static __m128i mixFour(__m128i p, __m128i q, __m128 wp, __m128 wq) {
    const __m128i byteMask = Sse2::set32(kByteMask);
    __m128i out = Sse2::set32(kOpaque);
    for (int c = 0; c < kColourBytes; ++c) {
      const __m128 pc = _mm_cvtepi32_ps(Sse2::bitAnd(_mm_srli_epi32(p, 8 * c), byteMask));
      const __m128 qc = _mm_cvtepi32_ps(Sse2::bitAnd(_mm_srli_epi32(q, 8 * c), byteMask));
      const __m128 v = _mm_add_ps(_mm_mul_ps(pc, wp), _mm_mul_ps(qc, wq));
      out = Sse2::bitOr(out, _mm_slli_epi32(Sse2::bitAnd(_mm_cvttps_epi32(v), byteMask), 8 * c));
    }
    return out;
  }

  // None of the four pixels reads a pixel that another of them writes: the pixels are
  // adjacent and their partners four or more pixels away.
  static Index mixFours(uint8_t* image, Index j, Index end, Index across, float& w, float step, bool onSide) {
    for (; j + kFour <= end; j += kFour) {
      // The weights are summed one by one, as for single pixels.
      const float w0 = w, w1 = w0 + step, w2 = w1 + step, w3 = w2 + step;
      w = w3 + step;
      const __m128 wp = _mm_setr_ps(w0, w1, w2, w3);
      const __m128 wq = _mm_sub_ps(_mm_set1_ps(1.0f), wp);
      uint8_t* const own = image + j * kBytesPerPixel;
      uint8_t* const partner = own + across * kBytesPerPixel;
      Sse2::store(onSide ? own : partner, mixFour(Sse2::load(own), Sse2::load(partner), wp, wq));
    }
    return j;
  }

  // EDGE_BELOW is the sign bit: saturating packs keep the signs of 16 words in 16 bytes.
  static void gatherSigns(const uint8_t* edges, Index first, int width, int& x, int& bit, uint64_t& word) {
    for (; bit < kBitsPerWord && x + kWordsPerStep <= width; bit += kWordsPerStep, x += kWordsPerStep) {
      const auto load = [&](int k) { return Sse2::load(edges + (first + x + 4 * k) * kBytesPerPixel); };
      const __m128i signs = _mm_packs_epi16(Sse2::narrowSigned32(load(0), load(1)),
                                            Sse2::narrowSigned32(load(2), load(3)));
      word |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(signs)) & 0xFFFFu) << bit;
    }
  }

  // Two rows at a time: EDGE_RIGHT is moved to the sign bit, and saturating packs keep the
  // signs of the 16 words in 16 bytes, row y0 + r in the low 8, the next in the high.
  static int gatherRowMasks(const uint8_t* edges, int width, int x0, int y0, int rows, uint8_t* rowMasks) {
    const auto rightAsSign = [&](int row, int k) {
      const Index index = static_cast<Index>(y0 + row) * width + x0 + 4 * k;
      return _mm_slli_epi32(Sse2::load(edges + index * kBytesPerPixel), 1);
    };
    int r = 0;
    for (; r + 1 < rows; r += 2) {
      const __m128i signs = _mm_packs_epi16(Sse2::narrowSigned32(rightAsSign(r, 0), rightAsSign(r, 1)),
                                            Sse2::narrowSigned32(rightAsSign(r + 1, 0), rightAsSign(r + 1, 1)));
      const auto pair = static_cast<uint32_t>(_mm_movemask_epi8(signs));
      rowMasks[r] = static_cast<uint8_t>(pair);
      rowMasks[r + 1] = static_cast<uint8_t>(pair >> 8);
    }
    return r;
  }

  // Adding a byte to itself moves each bit up by one without crossing into the next byte,
  // so bit 7 of every byte walks through the columns 7, 6, ..., 0.
  static void spreadColumns(const uint8_t* rowMasks, int count, int shift, uint64_t* out, Index stride) {
    __m128i masks = Sse2::load(rowMasks);
    for (int c = kBlockLines - 1; c >= 0; --c) {
      const auto column = static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(masks)));
      if (c < count) out[c * stride] = (shift == 0 ? 0 : out[c * stride]) | (column << shift);
      masks = _mm_add_epi8(masks, masks);
    }
  }
};

}  // namespace

namespace sse2 {
const BlendKernels kBlendKernels = blendKernelsWith<Sse2Blend>();
}

}  // namespace qov::aa::detail
#endif
