// The colour mixes of the blending stage: the one-pixel run, Thin Lines and blendRun.
//
// Every value is computed in single precision exactly in the order written and truncated
// toward zero; the build forbids fused multiply-adds and fast-math, since either would move
// some results across an integer boundary and change the truncated byte.
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "effects/antialias/mlaa_internal.h"

namespace qov::aa::detail {
namespace {

constexpr uint32_t kByteMask = 0xFFu;
constexpr int kColourBytes = 3;
constexpr float kOnePixelKeep = 0.875f;   // a one-pixel run keeps 7/8 of P ...
constexpr float kOnePixelGive = 0.125f;   // ... then Q keeps 7/8 of itself
constexpr float kMiddleShare = 0.125f;    // share of r0 / r1 at a run's middle pixel
constexpr float kThinNeighbours = 0.25f;  // weight of each neighbour line in Thin Lines
constexpr float kThinSelf = 0.5f;

inline uint32_t truncatedByte(float value, int c) {
  return (static_cast<uint32_t>(static_cast<int32_t>(value)) & kByteMask) << (8 * c);
}

#if defined(__SSE2__)
// Lane c holds byte c of the pixels; lane 3 (alpha) is computed along and then replaced.
inline uint32_t mixWeightedSse2(uint32_t p, uint32_t q, float wp, float wq) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i pBytes = _mm_cvtsi32_si128(static_cast<int>(p));
  const __m128i qBytes = _mm_cvtsi32_si128(static_cast<int>(q));
  const __m128 pLanes = _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(pBytes, zero), zero));
  const __m128 qLanes = _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(qBytes, zero), zero));
  const __m128 v =
      _mm_add_ps(_mm_mul_ps(pLanes, _mm_set1_ps(wp)), _mm_mul_ps(qLanes, _mm_set1_ps(wq)));
  // Truncation toward zero, then the low 8 bits, as in truncatedByte; the masked values fit
  // the saturating packs unchanged.
  __m128i bytes = _mm_and_si128(_mm_cvttps_epi32(v), _mm_set1_epi32(static_cast<int>(kByteMask)));
  bytes = _mm_packs_epi32(bytes, bytes);
  bytes = _mm_packus_epi16(bytes, bytes);
  return (static_cast<uint32_t>(_mm_cvtsi128_si32(bytes)) & ~kOpaque) | kOpaque;
}
#endif

#if defined(__SSE2__)
// Four pixels at once, pixel i of p and q with the weights in lane i of wp and wq: one
// register per colour byte, each lane computing what mixWeightedSse2 computes for that byte
// of that pixel (the same two products, their sum, the same truncation), so the same bits.
inline __m128i mixFourSse2(__m128i p, __m128i q, __m128 wp, __m128 wq) {
  const __m128i byteMask = _mm_set1_epi32(static_cast<int>(kByteMask));
  __m128i out = _mm_set1_epi32(static_cast<int>(kOpaque));
  for (int c = 0; c < kColourBytes; ++c) {
    const __m128 pc = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(p, 8 * c), byteMask));
    const __m128 qc = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(q, 8 * c), byteMask));
    const __m128 v = _mm_add_ps(_mm_mul_ps(pc, wp), _mm_mul_ps(qc, wq));
    out = _mm_or_si128(out, _mm_slli_epi32(_mm_and_si128(_mm_cvttps_epi32(v), byteMask), 8 * c));
  }
  return out;
}
#endif

inline uint32_t mix(uint32_t p, uint32_t q, float wp, float wq) {
#if defined(__SSE2__)
  return mixWeightedSse2(p, q, wp, wq);
#else
  return scalar::mixWeighted(p, q, wp, wq);
#endif
}

// The blends' mix: P takes w, Q the rest.
inline uint32_t mixRest(uint32_t p, uint32_t q, float w) { return mix(p, q, w, 1.0f - w); }

// The pixels j, j + s, ... below `end` each take mixRest(pixel, partner across, w), with w
// changing by `step` from one pixel to the next, and write it to themselves (onSide) or to
// the partner. Returns the weight after the last pixel. Where the pixels are adjacent and
// the partners four or more pixels away, four go at once: none of the four reads a pixel
// that another of them writes.
inline float blendSpan(uint8_t* image, Index j, Index end, Index s, Index across, float w,
                       float step, bool onSide) {
#if defined(__SSE2__)
  if (s == 1 && (across >= 4 || across <= -4)) {
    for (; j + 4 <= end; j += 4) {
      // The weights are summed one by one, as for single pixels.
      const float w0 = w, w1 = w0 + step, w2 = w1 + step, w3 = w2 + step;
      w = w3 + step;
      const __m128 wp = _mm_setr_ps(w0, w1, w2, w3);
      const __m128 wq = _mm_sub_ps(_mm_set1_ps(1.0f), wp);
      uint8_t* const own = image + j * kBytesPerPixel;
      uint8_t* const partner = own + across * kBytesPerPixel;
      const __m128i v = mixFourSse2(_mm_loadu_si128(reinterpret_cast<const __m128i*>(own)),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(partner)),
                                    wp, wq);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(onSide ? own : partner), v);
    }
  }
#endif
  for (; j < end; j += s) {
    const uint32_t v = mixRest(loadWord(image, j), loadWord(image, j + across), w);
    storeWord(image, onSide ? j : j + across, v);
    w += step;
  }
  return w;
}

// P x (1 - s0) + Q x s0: the middle pixel's own form. It is not mixRest(P, Q, 1 - s0),
// because 1 - (1 - s0) need not equal s0 in single precision.
inline uint32_t mixMiddle(uint32_t p, uint32_t q, float s0) { return mix(p, q, 1.0f - s0, s0); }

}  // namespace

namespace scalar {
uint32_t mixWeighted(uint32_t p, uint32_t q, float wp, float wq) {
  uint32_t out = kOpaque;
  for (int c = kColourBytes - 1; c >= 0; --c) {
    const float v =
        static_cast<float>(channel(p, c)) * wp + static_cast<float>(channel(q, c)) * wq;
    out |= truncatedByte(v, c);
  }
  return out;
}
}  // namespace scalar

#if defined(__SSE2__)
namespace sse2 {
uint32_t mixWeighted(uint32_t p, uint32_t q, float wp, float wq) {
  return mixWeightedSse2(p, q, wp, wq);
}
}  // namespace sse2
#endif

uint32_t mixPixels(uint32_t p, uint32_t q, float w) { return mixRest(p, q, w); }

void blendOnePixelRun(uint8_t* image, Index i, Index lineStride) {
  const Index across = i + lineStride;
  const uint32_t p = mixRest(loadWord(image, i), loadWord(image, across), kOnePixelKeep);
  storeWord(image, i, p);
  storeWord(image, across, mixRest(p, loadWord(image, across), kOnePixelGive));
}

void softenThinLine(const LineGeometry& g, Index first, Index last) {
  for (Index x = first; x <= last; x += g.alongStep) {
    if (!(g.edgeAt(x + g.prevLineOffset) & g.passBit)) continue;
    // On the first line the previous-line pixel is x itself; reading all three words before
    // writing gives the same bytes as the byte-by-byte reads.
    const uint32_t a = loadWord(g.image, x + g.prevLineOffset);
    const uint32_t b = loadWord(g.image, x + g.lineStride);
    const uint32_t p = loadWord(g.image, x);
    uint32_t out = kOpaque;
    for (int c = kColourBytes - 1; c >= 0; --c) {
      const float v = (static_cast<float>(channel(a, c)) + static_cast<float>(channel(b, c))) *
                          kThinNeighbours +
                      static_cast<float>(channel(p, c)) * kThinSelf;
      out |= truncatedByte(v, c);
    }
    storeWord(g.image, x, out);
  }
}

void blendRun(uint8_t* image, Index a, Index b, float h0, float h1, Index alongStep,
              Index across, bool sameSide) {
  const Index s = alongStep;
  // The pixels on the run's side of the edge: the current line, or the next one when the run
  // is taken across.
  const Index off = across < 0 ? -across : 0;
  const Index a2 = a + off;
  const Index b2 = b + off;
  const float span = static_cast<float>(b - a + s);
  const float r0 = ((1.0f - h0) * 2.0f * static_cast<float>(s)) / span;
  const float r1 = ((1.0f - h1) * 2.0f * static_cast<float>(s)) / span;
  // Integer division on the indices: a vertical run of an even number of pixels has no middle.
  const Index mid = (a2 + b2) / 2;

  // First half: P takes weight t, which grows by r0 per pixel. The first pixel is always done.
  const Index firstHalfEnd = mid > a2 + s ? mid : a2 + s;
  blendSpan(image, a2, firstHalfEnd, s, across, 0.5f * r0 + h0, r0, true);
  // The first index at or past firstHalfEnd.
  Index j = a2 + (firstHalfEnd - a2 + s - 1) / s * s;

  float w0;
  if (j == mid) {
    const float s0 = r0 * kMiddleShare;
    const uint32_t p = mixMiddle(loadWord(image, j), loadWord(image, j + across), s0);
    storeWord(image, j, p);
    if (!sameSide)
      storeWord(image, j + across, mixRest(p, loadWord(image, j + across), r1 * kMiddleShare));
    j += s;
    w0 = r1;
  } else {
    w0 = 0.5f * r1;
  }

  // Second half: a Z writes across the edge with a growing weight, a U writes on the run's
  // side with a shrinking one.
  // There is always at least one pixel left.
  blendSpan(image, j, b2 + 1, s, across, sameSide ? 1.0f - w0 : w0, sameSide ? -r1 : r1, sameSide);
}

}  // namespace qov::aa::detail
