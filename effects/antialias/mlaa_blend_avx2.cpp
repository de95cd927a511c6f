// The blending passes with AVX2: the SSE2 pieces (mlaa_blend_sse2.h) with a colour mix that
// widens bytes in one step and packs them with one shuffle, and spans eight pixels at a time.
// Every lane still computes what the scalar level computes for its byte: the same two
// products in single precision, their sum, the same truncation (the build allows no fused
// multiply-add). The whole line loop and the end searches are compiled for this level too.
#include "effects/simd/simd.h"

#if QOV_SIMD_X86
#include <immintrin.h>

#include "effects/antialias/mlaa_blend_sse2.h"
#include "effects/antialias/mlaa_search_avx2.h"
#include "effects/antialias/mlaa_band_passes.h"

namespace qov::aa::detail {
namespace {

constexpr int kEight = 8;

struct Avx2Blend : Sse2Blend {
  // Byte 0 of every 32-bit lane, lanes 0 to 3, into bytes 0 to 3: the low 8 bits of the
  // truncated values, as the scalar level masks them.
  static __m128i lowBytes(__m128i lanes) {
    return _mm_shuffle_epi8(lanes, _mm_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1));
  }

  static uint32_t mix(uint32_t p, uint32_t q, float wp, float wq) {
    const __m128 pLanes = _mm_cvtepi32_ps(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(static_cast<int>(p))));
    const __m128 qLanes = _mm_cvtepi32_ps(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(static_cast<int>(q))));
    const __m128 v = _mm_add_ps(_mm_mul_ps(pLanes, _mm_set1_ps(wp)), _mm_mul_ps(qLanes, _mm_set1_ps(wq)));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(lowBytes(_mm_cvttps_epi32(v)))) | kOpaque;
  }

  // EDGE_BELOW is the sign bit: 32 words at a time, packed into 32 bytes with their signs.
  // Packs work within 16-byte halves, so the eight groups of four words come out in the
  // order 0, 2, 4, 6, 1, 3, 5, 7 and one permute puts them back.
  static void gatherSigns(const uint8_t* edges, Index first, int width, int& x, int& bit, uint64_t& word) {
    constexpr int kWordsPerStep32 = 32;
    for (; bit < kBitsPerWord && x + kWordsPerStep32 <= width; bit += kWordsPerStep32, x += kWordsPerStep32) {
      const auto load = [&](int k) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(edges + (first + x + 8 * k) * kBytesPerPixel));
      };
      const __m256i signs = _mm256_packs_epi16(_mm256_packs_epi32(load(0), load(1)), _mm256_packs_epi32(load(2), load(3)));
      const __m256i ordered = _mm256_permutevar8x32_epi32(signs, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
      word |= static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(ordered))) << bit;
    }
    Sse2Blend::gatherSigns(edges, first, width, x, bit, word);
  }

  // The one-pixel run as two mixes, the new P handed from the first to the second in lanes.
  static void onePixelRun(uint8_t* image, Index i, Index lineStride) {
    const Index across = i + lineStride;
    const auto lanes = [](uint32_t word) { return _mm_cvtepi32_ps(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(static_cast<int>(word)))); };
    const __m128 p = lanes(loadWord(image, i)), q = lanes(loadWord(image, across));
    const __m128i newP = _mm_and_si128(
        _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(p, _mm_set1_ps(kOnePixelKeep)), _mm_mul_ps(q, _mm_set1_ps(1.0f - kOnePixelKeep)))),
        _mm_set1_epi32(static_cast<int>(kByteMask)));
    storeWord(image, i, static_cast<uint32_t>(_mm_cvtsi128_si32(lowBytes(newP))) | kOpaque);
    const __m128 pf = _mm_cvtepi32_ps(newP);
    const __m128i newQ =
        _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(pf, _mm_set1_ps(kOnePixelGive)), _mm_mul_ps(q, _mm_set1_ps(1.0f - kOnePixelGive))));
    storeWord(image, across, static_cast<uint32_t>(_mm_cvtsi128_si32(lowBytes(newQ))) | kOpaque);
  }

  static EdgeBits8 edgeBits8(const uint8_t* edges, Index first) {
    return search::edgeBitsOf(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(edges + first * kBytesPerPixel)));
  }

  // Down a column: the columns before, of and after the run, eight rows each.
  static LineBits8 columnEdgeBits8(const uint8_t* edges, Index first, Index stride) {
    __m256i columns[4];
    search::columnsOf8Rows(edges, first, stride, columns);
    return {search::edgeBitsOf(columns[0]), search::edgeBitsOf(columns[1]), search::edgeBitsOf(columns[2])};
  }

  // The searches of short runs with all candidates of a search in lanes.
  static constexpr bool kEndsInLanes = true;
  static constexpr int kLanesRunMax = search::kLanesRunMax;
  template <class P>
  static bool findEndsInLanes(const LineGeometry& g, Index start, int len, RunEndPositions& r) {
    return search::findEndsInLanes<P>(g, start, len, r);
  }

  // Shuffles within each 16-byte half: byte c of every 32-bit lane alone in the lane, and the
  // low byte of every lane as its byte c (kNone gives a zero byte).
  static constexpr char kNone = -1;
  static __m256i byteToLane(int c) {
    const char b = static_cast<char>(c);
    const auto n = kNone;
    return _mm256_setr_epi8(b, n, n, n, b + 4, n, n, n, b + 8, n, n, n, b + 12, n, n, n,  //
                            b, n, n, n, b + 4, n, n, n, b + 8, n, n, n, b + 12, n, n, n);
  }
  static __m256i laneToByte(int c) {
    const auto n = kNone;
    switch (c) {
      case 0: return _mm256_setr_epi8(0, n, n, n, 4, n, n, n, 8, n, n, n, 12, n, n, n, 0, n, n, n, 4, n, n, n, 8, n, n, n, 12, n, n, n);
      case 1: return _mm256_setr_epi8(n, 0, n, n, n, 4, n, n, n, 8, n, n, n, 12, n, n, n, 0, n, n, n, 4, n, n, n, 8, n, n, n, 12, n, n);
      default: return _mm256_setr_epi8(n, n, 0, n, n, n, 4, n, n, n, 8, n, n, n, 12, n, n, n, 0, n, n, n, 4, n, n, n, 8, n, n, n, 12, n);
    }
  }

  // Eight pixels at once, pixel i of p and q with the weights in lane i of wp and wq: one
  // register per colour byte, each lane computing what mix computes for that byte. A byte
  // shuffle takes byte c of every lane into a lane of its own, and puts the low byte of each
  // truncated value back as byte c.
  static __m256i mixEight(__m256i p, __m256i q, __m256 wp, __m256 wq) {
    __m256i out = _mm256_set1_epi32(static_cast<int>(kOpaque));
    for (int c = 0; c < kColourBytes; ++c) {
      const __m256 pc = _mm256_cvtepi32_ps(_mm256_shuffle_epi8(p, byteToLane(c)));
      const __m256 qc = _mm256_cvtepi32_ps(_mm256_shuffle_epi8(q, byteToLane(c)));
      const __m256i v = _mm256_cvttps_epi32(_mm256_add_ps(_mm256_mul_ps(pc, wp), _mm256_mul_ps(qc, wq)));
      out = _mm256_or_si256(out, _mm256_shuffle_epi8(v, laneToByte(c)));
    }
    return out;
  }

  // The weights w, w + step, ... of eight pixels, summed one by one as for single pixels.
  static __m256 eightWeights(float& w, float step) {
    float ws[kEight];
    ws[0] = w;
    for (int k = 1; k < kEight; ++k) ws[k] = ws[k - 1] + step;
    w = ws[kEight - 1] + step;
    return _mm256_setr_ps(ws[0], ws[1], ws[2], ws[3], ws[4], ws[5], ws[6], ws[7]);
  }

  // As Sse2Blend::mixFoursDown, eight pixels at a time while eight are left: two pairs of a
  // pixel and its partner per half register, then one register of pixels and one of partners.
  static Index mixFoursDown(uint8_t* image, Index j, Index end, Index s, Index across, float& w, float step,
                            bool onSide) {
    const Index pairStart = across < 0 ? -1 : 0;
    const Index written = onSide ? 0 : across;
    const auto pairs = [&](Index k, Index l) {  // the pairs of pixels k and l, in one half
      // Two 8-byte loads joined, not a 64-bit insert, which 32-bit x86 does not have.
      return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(image + (k + pairStart) * kBytesPerPixel)),
                                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(image + (l + pairStart) * kBytesPerPixel)));
    };
    for (; j + 7 * s < end; j += kEight * s) {
      const __m256 wp = eightWeights(w, step);
      const __m256 wq = _mm256_sub_ps(_mm256_set1_ps(1.0f), wp);
      const __m256 first = _mm256_castsi256_ps(_mm256_set_m128i(pairs(j + 4 * s, j + 5 * s), pairs(j, j + s)));
      const __m256 second = _mm256_castsi256_ps(_mm256_set_m128i(pairs(j + 6 * s, j + 7 * s), pairs(j + 2 * s, j + 3 * s)));
      const __m256i low = _mm256_castps_si256(_mm256_shuffle_ps(first, second, _MM_SHUFFLE(2, 0, 2, 0)));
      const __m256i high = _mm256_castps_si256(_mm256_shuffle_ps(first, second, _MM_SHUFFLE(3, 1, 3, 1)));
      const __m256i out = across < 0 ? mixEight(high, low, wp, wq) : mixEight(low, high, wp, wq);
      const __m128i lower = _mm256_castsi256_si128(out), upper = _mm256_extracti128_si256(out, 1);
      storeWord(image, j + written, static_cast<uint32_t>(_mm_cvtsi128_si32(lower)));
      storeWord(image, j + s + written, static_cast<uint32_t>(_mm_extract_epi32(lower, 1)));
      storeWord(image, j + 2 * s + written, static_cast<uint32_t>(_mm_extract_epi32(lower, 2)));
      storeWord(image, j + 3 * s + written, static_cast<uint32_t>(_mm_extract_epi32(lower, 3)));
      storeWord(image, j + 4 * s + written, static_cast<uint32_t>(_mm_cvtsi128_si32(upper)));
      storeWord(image, j + 5 * s + written, static_cast<uint32_t>(_mm_extract_epi32(upper, 1)));
      storeWord(image, j + 6 * s + written, static_cast<uint32_t>(_mm_extract_epi32(upper, 2)));
      storeWord(image, j + 7 * s + written, static_cast<uint32_t>(_mm_extract_epi32(upper, 3)));
    }
    return Sse2Blend::mixFoursDown(image, j, end, s, across, w, step, onSide);
  }

  // As Sse2Blend::mixFours, eight pixels at a time while eight are left.
  static Index mixFours(uint8_t* image, Index j, Index end, Index across, float& w, float step, bool onSide) {
    if (across >= kEight || across <= -kEight) {
      for (; j + kEight <= end; j += kEight) {
        const __m256 wp = eightWeights(w, step);
        const __m256 wq = _mm256_sub_ps(_mm256_set1_ps(1.0f), wp);
        uint8_t* const own = image + j * kBytesPerPixel;
        uint8_t* const partner = own + across * kBytesPerPixel;
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(own));
        const __m256i q = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(partner));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(onSide ? own : partner), mixEight(p, q, wp, wq));
      }
    }
    return Sse2Blend::mixFours(image, j, end, across, w, step, onSide);
  }
};

}  // namespace

namespace avx2 {
const BlendKernels kBlendKernels = blendKernelsWith<Avx2Blend>();
}

}  // namespace qov::aa::detail
#endif
