// The blending pieces with SSE2: the colour mix in one lane per byte, four pixels of a span
// at once, and the bit sets of the pass bits gathered 16 edge words at a time. Every lane
// computes what the scalar level computes for its byte (the same two products, their sum,
// the same truncation), so the bits are the same. mlaa_blend_sse2.cpp builds the SSE2 level
// from them, and the AVX2 level (mlaa_blend_avx2.cpp) builds on them.
#pragma once

#include "effects/simd/sse2.h"
// After the level's primitives:
#include "effects/antialias/mlaa_blend_passes.h"

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

  // EDGE_BELOW is the sign bit of an edge word, and EDGE_RIGHT becomes it one shift up.
  static constexpr bool kEdgeBits8 = true;
  static EdgeBits8 edgeBits8(const uint8_t* edges, Index first) {
    const __m128i low = Sse2::load(edges + first * kBytesPerPixel);
    const __m128i high = Sse2::load(edges + (first + kFour) * kBytesPerPixel);
    const auto signs = [](__m128i words) {
      return static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(words)));
    };
    return {signs(low) | signs(high) << kFour,
            signs(_mm_slli_epi32(low, 1)) | signs(_mm_slli_epi32(high, 1)) << kFour};
  }

  // Down a column: the four words from first - 1 on each of eight rows `stride` apart,
  // turned into one register per column (two per column, four rows each).
  static LineBits8 columnEdgeBits8(const uint8_t* edges, Index first, Index stride) {
    const auto quad = [&](int k) { return _mm_castsi128_ps(Sse2::load(edges + (first - 1 + k * stride) * kBytesPerPixel)); };
    const auto columns = [&](int k0, __m128& before, __m128& own, __m128& after) {
      const __m128 r0 = quad(k0), r1 = quad(k0 + 1), r2 = quad(k0 + 2), r3 = quad(k0 + 3);
      const __m128 t0 = _mm_unpacklo_ps(r0, r1), t1 = _mm_unpacklo_ps(r2, r3);
      before = _mm_movelh_ps(t0, t1);
      own = _mm_movehl_ps(t1, t0);
      after = _mm_movelh_ps(_mm_unpackhi_ps(r0, r1), _mm_unpackhi_ps(r2, r3));
    };
    __m128 before0, own0, after0, before1, own1, after1;
    columns(0, before0, own0, after0);
    columns(kFour, before1, own1, after1);
    const auto bits = [](__m128 low, __m128 high) {
      const auto signs = [](__m128 v) { return static_cast<uint32_t>(_mm_movemask_ps(v)); };
      const auto shifted = [](__m128 v) { return _mm_castsi128_ps(_mm_slli_epi32(_mm_castps_si128(v), 1)); };
      return EdgeBits8{signs(low) | signs(high) << kFour, signs(shifted(low)) | signs(shifted(high)) << kFour};
    };
    return {bits(before0, before1), bits(own0, own1), bits(after0, after1)};
  }

  static constexpr bool kEndsInLanes = false;

  static __m128 floatLanes(uint32_t word) {
    const __m128i zero = Sse2::zero();
    return _mm_cvtepi32_ps(
        Sse2::interleaveLow16(Sse2::interleaveLow8(_mm_cvtsi32_si128(static_cast<int>(word)), zero), zero));
  }

  // The low 8 bits of four lanes of truncated values, into one word with byte 3 = 255.
  static uint32_t opaqueWord(__m128i lanes) {
    __m128i bytes = Sse2::narrowSigned32(lanes, lanes);
    bytes = Sse2::narrow16(bytes, bytes);
    return (static_cast<uint32_t>(_mm_cvtsi128_si32(bytes)) & ~kOpaque) | kOpaque;
  }

  // The one-pixel run as two mixes, the new P handed from the first to the second in lanes:
  // its bytes are the masked truncated values of the first mix.
  static void onePixelRun(uint8_t* image, Index i, Index lineStride) {
    const Index across = i + lineStride;
    const __m128 p = floatLanes(loadWord(image, i)), q = floatLanes(loadWord(image, across));
    const __m128i newP = Sse2::bitAnd(
        _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(p, _mm_set1_ps(kOnePixelKeep)), _mm_mul_ps(q, _mm_set1_ps(1.0f - kOnePixelKeep)))),
        Sse2::set32(kByteMask));
    storeWord(image, i, opaqueWord(newP));
    const __m128 pf = _mm_cvtepi32_ps(newP);
    const __m128i newQ = Sse2::bitAnd(
        _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(pf, _mm_set1_ps(kOnePixelGive)), _mm_mul_ps(q, _mm_set1_ps(1.0f - kOnePixelGive)))),
        Sse2::set32(kByteMask));
    storeWord(image, across, opaqueWord(newQ));
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

  // The same down a column: pixels j, j + s, j + 2s, j + 3s, whose partners are their
  // neighbours in the row (across is 1 or -1), so that one 8-byte load holds a pixel and its
  // partner. None of the pixels is another one's partner, since s is 2 or more.
  static Index mixFoursDown(uint8_t* image, Index j, Index end, Index s, Index across, float& w, float step,
                            bool onSide) {
    const Index pairStart = across < 0 ? -1 : 0;  // the pair is [P, Q] or [Q, P] in memory
    const Index written = onSide ? 0 : across;
    for (; j + 3 * s < end; j += kFour * s) {
      const float w0 = w, w1 = w0 + step, w2 = w1 + step, w3 = w2 + step;
      w = w3 + step;
      const __m128 wp = _mm_setr_ps(w0, w1, w2, w3);
      const __m128 wq = _mm_sub_ps(_mm_set1_ps(1.0f), wp);
      const auto pair = [&](int k) {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(image + (j + k * s + pairStart) * kBytesPerPixel));
      };
      const __m128i first = _mm_unpacklo_epi32(pair(0), pair(1)), second = _mm_unpacklo_epi32(pair(2), pair(3));
      const __m128i low = _mm_unpacklo_epi64(first, second), high = _mm_unpackhi_epi64(first, second);
      const __m128i out = across < 0 ? mixFour(high, low, wp, wq) : mixFour(low, high, wp, wq);
      storeWord(image, j + written, static_cast<uint32_t>(_mm_cvtsi128_si32(out)));
      storeWord(image, j + s + written, static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(out, 1))));
      storeWord(image, j + 2 * s + written, static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(out, 2))));
      storeWord(image, j + 3 * s + written, static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(out, 3))));
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
    const auto pair = [&](int r) {
      const __m128i signs = _mm_packs_epi16(Sse2::narrowSigned32(rightAsSign(r, 0), rightAsSign(r, 1)),
                                            Sse2::narrowSigned32(rightAsSign(r + 1, 0), rightAsSign(r + 1, 1)));
      return static_cast<uint32_t>(_mm_movemask_epi8(signs));
    };
    // A full group's masks go out in one store: spreadColumns loads them back at once, which
    // the processor forwards from one store of the same 16 bytes but not from 16 byte stores.
    static_assert(kRowsPerGather == 16, "four quads of two pairs of rows");
    if (rows == kRowsPerGather) {
      const auto quad = [&](int r) { return static_cast<int>(pair(r) | pair(r + 2) << 16); };
      Sse2::store(rowMasks, _mm_set_epi32(quad(12), quad(8), quad(4), quad(0)));
      return rows;
    }
    int r = 0;
    for (; r + 1 < rows; r += 2) {
      const uint32_t masks = pair(r);
      rowMasks[r] = static_cast<uint8_t>(masks);
      rowMasks[r + 1] = static_cast<uint8_t>(masks >> 8);
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
}  // namespace qov::aa::detail
