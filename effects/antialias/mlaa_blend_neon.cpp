// The blending passes with NEON: the colour mix in one lane per byte, four pixels of a span
// at once, and the bit sets of the pass bits gathered 16 edge words at a time, as the SSE2
// level does them. Every lane computes what the scalar level computes for its byte: the same
// two products in single precision, their sum (the build allows no fused multiply-add, and
// AArch64 Linux runs with denormals kept), the same truncation toward zero, its low 8 bits.
#include "effects/simd/simd.h"

#if QOV_SIMD_NEON
#include <arm_neon.h>

#include "effects/antialias/mlaa_blend_passes.h"
#include "effects/antialias/mlaa_band_passes.h"

namespace qov::aa::detail {
namespace {

constexpr uint32_t kByteMask = 0xFFu;
constexpr int kFour = 4;
constexpr int kWordsPerStep = 16;  // edge words whose signs one step gathers
constexpr int kRightToSign = 1;    // EDGE_RIGHT is bit 30, one below the sign bit

// Bit k of the result is the top bit of 16-bit lane k.
inline uint32_t signs16(uint16x8_t v) {
  constexpr int kTopBit = 15;
  const int16x8_t places = {0, 1, 2, 3, 4, 5, 6, 7};
  return vaddvq_u16(vshlq_u16(vshrq_n_u16(v, kTopBit), places));
}

// Bit k of the result is the sign of word k, words 0..3 in low and 4..7 in high.
inline uint32_t signs8(uint32x4_t low, uint32x4_t high) {
  constexpr int kHalf = 16;  // the upper half of a word holds its sign
  return signs16(vcombine_u16(vshrn_n_u32(low, kHalf), vshrn_n_u32(high, kHalf)));
}

inline EdgeBits8 edgeBitsOf(uint32x4_t low, uint32x4_t high) {
  return {signs8(low, high), signs8(vshlq_n_u32(low, kRightToSign), vshlq_n_u32(high, kRightToSign))};
}

// Words at any alignment are loaded and stored as bytes.
inline uint32x4_t loadWords(const uint8_t* edges, Index first) {
  return vreinterpretq_u32_u8(vld1q_u8(edges + first * kBytesPerPixel));
}

// Bit k of a byte-wide result is the top bit of byte k, for the 8 bytes of v.
inline uint32_t byteSigns(uint8x8_t v) {
  constexpr int kTopBit = 7;
  const int8x8_t places = {0, 1, 2, 3, 4, 5, 6, 7};
  return vaddv_u8(vshl_u8(vshr_n_u8(v, kTopBit), places));
}

// The sign bits of 16 words, word k's as bit k.
inline uint32_t signs16Words(uint32x4_t a, uint32x4_t b, uint32x4_t c, uint32x4_t d) {
  constexpr int kHalf = 16, kByte = 8;
  const uint16x8_t lowHalves = vcombine_u16(vshrn_n_u32(a, kHalf), vshrn_n_u32(b, kHalf));
  const uint16x8_t highHalves = vcombine_u16(vshrn_n_u32(c, kHalf), vshrn_n_u32(d, kHalf));
  return byteSigns(vshrn_n_u16(lowHalves, kByte)) | byteSigns(vshrn_n_u16(highHalves, kByte)) << kByte;
}

struct NeonBlend {
  static float32x4_t floatLanes(uint32_t word) {
    const uint8x8_t bytes = vreinterpret_u8_u32(vdup_n_u32(word));
    return vcvtq_f32_u32(vmovl_u16(vget_low_u16(vmovl_u8(bytes))));
  }

  // Lanes of truncated values: their low 8 bits into one word, byte 3 = 255.
  static uint32_t opaqueWord(int32x4_t lanes) {
    const uint8x8_t bytes = vmovn_u16(vcombine_u16(vmovn_u32(vreinterpretq_u32_s32(lanes)), vdup_n_u16(0)));
    return vget_lane_u32(vreinterpret_u32_u8(bytes), 0) | kOpaque;
  }

  // truncate(p * wp + q * wq) per lane; lanes stay far inside the 32-bit range.
  static int32x4_t mixLanes(float32x4_t p, float32x4_t q, float32x4_t wp, float32x4_t wq) {
    return vcvtq_s32_f32(vaddq_f32(vmulq_f32(p, wp), vmulq_f32(q, wq)));
  }

  // Lane c holds byte c of the pixels; lane 3 (alpha) is computed along and then replaced.
  static uint32_t mix(uint32_t p, uint32_t q, float wp, float wq) {
    return opaqueWord(mixLanes(floatLanes(p), floatLanes(q), vdupq_n_f32(wp), vdupq_n_f32(wq)));
  }

  static constexpr bool kEdgeBits8 = true;
  static EdgeBits8 edgeBits8(const uint8_t* edges, Index first) {
    return edgeBitsOf(loadWords(edges, first), loadWords(edges, first + kFour));
  }

  // Down a column: the four words from first - 1 on each of eight rows `stride` apart,
  // turned into one register per column (two per column, four rows each).
  static LineBits8 columnEdgeBits8(const uint8_t* edges, Index first, Index stride) {
    const auto quad = [&](int k) { return loadWords(edges, first - 1 + k * stride); };
    const auto columns = [&](int k0, uint32x4_t& before, uint32x4_t& own, uint32x4_t& after) {
      const uint32x4_t r0 = quad(k0), r1 = quad(k0 + 1), r2 = quad(k0 + 2), r3 = quad(k0 + 3);
      const uint64x2_t t0 = vreinterpretq_u64_u32(vzip1q_u32(r0, r1)), t1 = vreinterpretq_u64_u32(vzip1q_u32(r2, r3));
      const uint64x2_t u0 = vreinterpretq_u64_u32(vzip2q_u32(r0, r1)), u1 = vreinterpretq_u64_u32(vzip2q_u32(r2, r3));
      before = vreinterpretq_u32_u64(vzip1q_u64(t0, t1));
      own = vreinterpretq_u32_u64(vzip2q_u64(t0, t1));
      after = vreinterpretq_u32_u64(vzip1q_u64(u0, u1));
    };
    uint32x4_t before0, own0, after0, before1, own1, after1;
    columns(0, before0, own0, after0);
    columns(kFour, before1, own1, after1);
    return {edgeBitsOf(before0, before1), edgeBitsOf(own0, own1), edgeBitsOf(after0, after1)};
  }

  static constexpr bool kEndsInLanes = false;

  // The one-pixel run as two mixes, the new P handed from the first to the second in lanes:
  // its bytes are the masked truncated values of the first mix.
  static void onePixelRun(uint8_t* image, Index i, Index lineStride) {
    const Index across = i + lineStride;
    const float32x4_t p = floatLanes(loadWord(image, i)), q = floatLanes(loadWord(image, across));
    const int32x4_t newP = vandq_s32(mixLanes(p, q, vdupq_n_f32(kOnePixelKeep), vdupq_n_f32(1.0f - kOnePixelKeep)),
                                     vdupq_n_s32(kByteMask));
    storeWord(image, i, opaqueWord(newP));
    const int32x4_t newQ = mixLanes(vcvtq_f32_s32(newP), q, vdupq_n_f32(kOnePixelGive), vdupq_n_f32(1.0f - kOnePixelGive));
    storeWord(image, across, opaqueWord(newQ));
  }

  // Byte c of four pixels as float lanes.
  template <int c>
  static float32x4_t byteLanes(uint32x4_t pixels) {
    if constexpr (c == 0) return vcvtq_f32_u32(vandq_u32(pixels, vdupq_n_u32(kByteMask)));
    else return vcvtq_f32_u32(vandq_u32(vshrq_n_u32(pixels, 8 * c), vdupq_n_u32(kByteMask)));
  }

  template <int c>
  static uint32x4_t mixByte(uint32x4_t p, uint32x4_t q, float32x4_t wp, float32x4_t wq) {
    const uint32x4_t bytes =
        vandq_u32(vreinterpretq_u32_s32(mixLanes(byteLanes<c>(p), byteLanes<c>(q), wp, wq)), vdupq_n_u32(kByteMask));
    if constexpr (c == 0) return bytes;
    else return vshlq_n_u32(bytes, 8 * c);
  }

  // Four pixels at once, pixel i of p and q with the weights in lane i of wp and wq: one
  // register per colour byte, each lane computing what mix computes for that byte of that
  // pixel.
  static uint32x4_t mixFour(uint32x4_t p, uint32x4_t q, float32x4_t wp, float32x4_t wq) {
    const uint32x4_t colour = vorrq_u32(vorrq_u32(mixByte<0>(p, q, wp, wq), mixByte<1>(p, q, wp, wq)),
                                        mixByte<2>(p, q, wp, wq));
    return vorrq_u32(colour, vdupq_n_u32(kOpaque));
  }

  // The weights of four pixels, summed one by one as for single pixels.
  static float32x4_t fourWeights(float& w, float step) {
    const float w0 = w, w1 = w0 + step, w2 = w1 + step, w3 = w2 + step;
    w = w3 + step;
    const float weights[kFour] = {w0, w1, w2, w3};
    return vld1q_f32(weights);
  }

  // None of the four pixels reads a pixel that another of them writes: the pixels are
  // adjacent and their partners four or more pixels away.
  static Index mixFours(uint8_t* image, Index j, Index end, Index across, float& w, float step, bool onSide) {
    for (; j + kFour <= end; j += kFour) {
      const float32x4_t wp = fourWeights(w, step);
      const float32x4_t wq = vsubq_f32(vdupq_n_f32(1.0f), wp);
      uint8_t* const own = image + j * kBytesPerPixel;
      uint8_t* const partner = own + across * kBytesPerPixel;
      const uint32x4_t out = mixFour(loadWords(own, 0), loadWords(partner, 0), wp, wq);
      vst1q_u8(onSide ? own : partner, vreinterpretq_u8_u32(out));
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
      const float32x4_t wp = fourWeights(w, step);
      const float32x4_t wq = vsubq_f32(vdupq_n_f32(1.0f), wp);
      const auto pair = [&](int k) {
        return vreinterpret_u32_u8(vld1_u8(image + (j + k * s + pairStart) * kBytesPerPixel));
      };
      const uint32x2x2_t first = vzip_u32(pair(0), pair(1)), second = vzip_u32(pair(2), pair(3));
      const uint32x4_t low = vcombine_u32(first.val[0], second.val[0]);
      const uint32x4_t high = vcombine_u32(first.val[1], second.val[1]);
      const uint32x4_t out = across < 0 ? mixFour(high, low, wp, wq) : mixFour(low, high, wp, wq);
      storeWord(image, j + written, vgetq_lane_u32(out, 0));
      storeWord(image, j + s + written, vgetq_lane_u32(out, 1));
      storeWord(image, j + 2 * s + written, vgetq_lane_u32(out, 2));
      storeWord(image, j + 3 * s + written, vgetq_lane_u32(out, 3));
    }
    return j;
  }

  // EDGE_BELOW is the sign bit of an edge word.
  static void gatherSigns(const uint8_t* edges, Index first, int width, int& x, int& bit, uint64_t& word) {
    for (; bit < kBitsPerWord && x + kWordsPerStep <= width; bit += kWordsPerStep, x += kWordsPerStep) {
      const auto load = [&](int k) { return loadWords(edges, first + x + kFour * k); };
      word |= static_cast<uint64_t>(signs16Words(load(0), load(1), load(2), load(3))) << bit;
    }
  }

  // Every row at once: EDGE_RIGHT moved to the sign bit of the row's eight words.
  static int gatherRowMasks(const uint8_t* edges, int width, int x0, int y0, int rows, uint8_t* rowMasks) {
    for (int r = 0; r < rows; ++r) {
      const Index index = static_cast<Index>(y0 + r) * width + x0;
      rowMasks[r] = static_cast<uint8_t>(
          signs8(vshlq_n_u32(loadWords(edges, index), kRightToSign), vshlq_n_u32(loadWords(edges, index + kFour), kRightToSign)));
    }
    return rows;
  }

  // Column c's 16 bits are bit c of the 16 row masks: each tested at once, then weighed by
  // the row's place within its half and summed per half.
  static void spreadColumns(const uint8_t* rowMasks, int count, int shift, uint64_t* out, Index stride) {
    constexpr int kByte = 8;
    const uint8x16_t masks = vld1q_u8(rowMasks);
    const uint8x16_t places = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
    for (int c = 0; c < count; ++c) {
      const uint8x16_t set = vandq_u8(vtstq_u8(masks, vdupq_n_u8(static_cast<uint8_t>(1u << c))), places);
      const uint64_t column = vaddv_u8(vget_low_u8(set)) | static_cast<uint64_t>(vaddv_u8(vget_high_u8(set))) << kByte;
      out[c * stride] = (shift == 0 ? 0 : out[c * stride]) | (column << shift);
    }
  }
};

}  // namespace

namespace neon {
const BlendKernels kBlendKernels = blendKernelsWith<NeonBlend>();
}

}  // namespace qov::aa::detail
#endif
