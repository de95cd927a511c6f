// The four end searches of a run of up to 14 pixels with AVX2, every candidate of a search
// tested at once.
//
// findEnds and findEndsByMasks (mlaa_search.h) walk a search's candidates one by one and
// stop at the first quotient accepted; which candidate that is depends on the picture, and
// so do the branches. Here the positions around the run are lanes: the colour sums of the
// four lines the quotients read (the previous line, the run's line, the next one and the
// line after that) are taken once, every position's quotient of a search is tested at once,
// and the first accepted candidate is a bit scan over the lanes that passed.
// Searches 2 and 4 weigh by how far searches 1 and 3 went, so they follow them.
//
// Every lane computes what the scalar search computes for its candidate: the same integer
// numerator and denominator, and the same decision (see acceptedLanes); the chosen one is
// divided in single precision as acceptQuotient divides it. The lanes of positions that are
// not candidates are computed and ignored.
#pragma once

#include <immintrin.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "effects/antialias/mlaa_search.h"

namespace qov::aa::detail::search {
namespace {

// Runs of up to kLanesRunMax pixels take these searches: with the pixel on each side, 16
// positions, in one register of eight lanes per line for runs of up to six pixels and in
// two for longer ones.
constexpr int kLanesRunMax = 2 * kMaskPositions - 2;

// The edge words of the 8H positions from one pixel before a run (bit and lane b of
// everything below is the word at position b - 1 of the run), on the four lines, eight
// positions per register.
template <int H>
struct LineWords {
  __m256i prev[H], cur[H], next[H], far[H];
};

// EDGE_BELOW is the sign bit of an edge word, and EDGE_RIGHT becomes it one shift up.
inline EdgeBits8 edgeBitsOf(__m256i words) {
  return {static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(words))),
          static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_slli_epi32(words, 1))))};
}

template <int H>
inline EdgeBits8 edgeBitsOf(const __m256i (&words)[H]) {
  EdgeBits8 bits{0, 0};
  for (int h = 0; h < H; ++h) {
    const EdgeBits8 part = edgeBitsOf(words[h]);
    bits.below |= part.below << (kMaskPositions * h);
    bits.right |= part.right << (kMaskPositions * h);
  }
  return bits;
}

// Along a row the lines are rows, eight words per load.
template <int H>
inline LineWords<H> rowWords(const LineGeometry& g, Index o0) {
  const auto load = [&g](Index first) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(g.edges + first * kBytesPerPixel));
  };
  const Index L = g.lineStride;
  LineWords<H> w;
  for (int h = 0; h < H; ++h) {
    const Index first = o0 + kMaskPositions * h;
    w.prev[h] = load(first + g.prevLineOffset);
    w.cur[h] = load(first);
    w.next[h] = load(first + L);
    w.far[h] = load(first + 2 * L);
  }
  return w;
}

// Down a column: the four words from first - 1 on each of eight rows `stride` apart, rows
// k and k + 4 in the two halves of a register, turned into one register per column
// (first - 1 ... first + 2), rows in lane order.
inline void columnsOf8Rows(const uint8_t* edges, Index first, Index stride, __m256i (&columns)[4]) {
  const auto quad = [&](int k) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(edges + (first - 1 + k * stride) * kBytesPerPixel));
  };
  const auto rows = [&](int k) { return _mm256_castsi256_ps(_mm256_set_m128i(quad(k + 4), quad(k))); };
  const __m256 r0 = rows(0), r1 = rows(1), r2 = rows(2), r3 = rows(3);
  const __m256d t0 = _mm256_castps_pd(_mm256_unpacklo_ps(r0, r1)), t1 = _mm256_castps_pd(_mm256_unpacklo_ps(r2, r3));
  const __m256d t2 = _mm256_castps_pd(_mm256_unpackhi_ps(r0, r1)), t3 = _mm256_castps_pd(_mm256_unpackhi_ps(r2, r3));
  columns[0] = _mm256_castpd_si256(_mm256_unpacklo_pd(t0, t1));
  columns[1] = _mm256_castpd_si256(_mm256_unpackhi_pd(t0, t1));
  columns[2] = _mm256_castpd_si256(_mm256_unpacklo_pd(t2, t3));
  columns[3] = _mm256_castpd_si256(_mm256_unpackhi_pd(t2, t3));
}

// Down a column the lines are the columns x - 1 ... x + 2, eight rows per register.
template <int H>
inline LineWords<H> columnWords(const LineGeometry& g, Index o0) {
  const Index stride = g.alongStep;
  LineWords<H> w;
  for (int h = 0; h < H; ++h) {
    __m256i columns[4];
    columnsOf8Rows(g.edges, o0 + kMaskPositions * h * stride, stride, columns);
    w.prev[h] = columns[0];
    w.cur[h] = columns[1];
    w.next[h] = columns[2];
    w.far[h] = columns[3];
  }
  return w;
}

// colourSum of eight words: bytes 0 and 1, and byte 2, in 16-bit lanes, then the two added.
inline __m256i colourSums8(__m256i words) {
  return _mm256_madd_epi16(_mm256_maddubs_epi16(words, _mm256_set1_epi32(0x00010101)), _mm256_set1_epi16(1));
}

// Register h of a line whose lane b takes position b + k: from the next register where
// there is one, else lane 7 repeated (no candidate reads those lanes).
template <int k, int H>
inline __m256i laterLanes(const __m256i (&v)[H], int h) {
  static_assert(k == 1 || k == 2);
  if (h + 1 < H) {
    const __m256i straddle = _mm256_permute2x128_si256(v[h], v[h + 1], 0x21);  // lanes 4-7 of v[h], 0-3 of v[h + 1]
    return _mm256_alignr_epi8(straddle, v[h], 4 * k);
  }
  const __m256i index = k == 1 ? _mm256_setr_epi32(1, 2, 3, 4, 5, 6, 7, 7) : _mm256_setr_epi32(2, 3, 4, 5, 6, 7, 7, 7);
  return _mm256_permutevar8x32_epi32(v[h], index);
}

// The numerators and denominators of a search's quotients, and the lanes whose quotient
// acceptQuotient accepts, as bits. Here the integers alone decide: a colour sum is at most
// 765 and a run at most kLanesRunMax pixels long, so the weights stay within +-27 and |num|
// and |den| below 2^16, far below 2^24, where conversion to single precision is exact. A
// quotient n / d with 0 < n < d then rounds to a value above 0 (it is at least 1 / d) and
// below 1 (it is at most 1 - 1 / d, and 1 / d > 2^-25 keeps it below the midpoint between
// 1 - 2^-24 and 1), so the float test accepts exactly what the integer test does. Only the
// chosen lane of each search is divided, the four searches' in one division.
template <int H>
struct Quotients {
  alignas(32) int num[8 * H];
  alignas(32) int den[8 * H];
};

template <int H>
inline uint32_t acceptedLanes(__m256i num, __m256i den, Quotients<H>& q, int h) {
  _mm256_store_si256(reinterpret_cast<__m256i*>(q.num + 8 * h), num);
  _mm256_store_si256(reinterpret_cast<__m256i*>(q.den + 8 * h), den);
  // With den's sign taken off both: 0 < n < d (a zero d admits no n).
  const __m256i sign = _mm256_srai_epi32(den, 31);
  const __m256i n = _mm256_sub_epi32(_mm256_xor_si256(num, sign), sign);
  const __m256i d = _mm256_sub_epi32(_mm256_xor_si256(den, sign), sign);
  const __m256i inside = _mm256_and_si256(_mm256_cmpgt_epi32(n, _mm256_setzero_si256()), _mm256_cmpgt_epi32(d, n));
  return static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(inside))) << (kMaskPositions * h);
}

// previousSideQuotient and farSideQuotient, lane by lane, on colour sums. Both have the form
// num = M c + x, den = M (a + b) + x, with x = a - b.
template <int H>
inline uint32_t quotientLanes(__m256i a, __m256i b, __m256i c, __m256i M, Quotients<H>& q, int h) {
  const __m256i x = _mm256_sub_epi32(a, b);
  const __m256i num = _mm256_add_epi32(_mm256_mullo_epi32(M, c), x);
  const __m256i den = _mm256_add_epi32(_mm256_mullo_epi32(M, _mm256_add_epi32(a, b)), x);
  return acceptedLanes(num, den, q, h);
}

template <int H>
inline uint32_t previousSideLanes(__m256i sPo, __m256i sPi, __m256i sUo, __m256i sNi, __m256i M, Quotients<H>& q, int h) {
  return quotientLanes(_mm256_sub_epi32(sPi, sNi), _mm256_sub_epi32(sUo, sPo), _mm256_sub_epi32(sUo, sNi), M, q, h);
}

template <int H>
inline uint32_t farSideLanes(__m256i sPi, __m256i sNi, __m256i sNo, __m256i sN2o, __m256i M, Quotients<H>& q, int h) {
  return quotientLanes(_mm256_sub_epi32(sNi, sPi), _mm256_sub_epi32(sN2o, sNo), _mm256_sub_epi32(sN2o, sPi), M, q, h);
}

// The ends of a run of len pixels (len + 2 <= 8H) whose positions on all four lines lie
// inside the frame, as findEndsByMasks and findEnds find them. In lanes j: search 1 and 3
// candidates have o at position j (lane j of the words), searches 2 and 4 have i at
// position j + 1.
template <class P, int H>
inline void findEndsInLanes(const LineWords<H>& w, int len, RunEndPositions& r) {
  const EdgeBits8 prevBits = edgeBitsOf<H>(w.prev), curBits = edgeBitsOf<H>(w.cur), nextBits = edgeBitsOf<H>(w.next);
  const uint32_t orthCur = orthBits<P>(curBits), passPrev = passBits<P>(prevBits);
  const uint32_t orthNext = orthBits<P>(nextBits), passNext = passBits<P>(nextBits);
  const uint32_t lanes = (1u << len) - 1;  // j = 0 ... len - 1

  __m256i sP[H], sC[H], sN[H], sF[H];
  for (int h = 0; h < H; ++h) {
    sP[h] = colourSums8(w.prev[h]);
    sC[h] = colourSums8(w.cur[h]);
    sN[h] = colourSums8(w.next[h]);
    sF[h] = colourSums8(w.far[h]);
  }
  __m256i sC1[H], sN1[H], position[H];
  for (int h = 0; h < H; ++h) {
    sC1[h] = laterLanes<1>(sC, h);
    sN1[h] = laterLanes<1>(sN, h);
    position[h] = _mm256_add_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(kMaskPositions * h));
  }
  Quotients<H> q;

  // Each search's end is chosen by selects, not branches, since which one it is depends on
  // the picture: the accepted candidate nearest to where the search starts, else the first
  // orthogonal position, else none. The accepted candidates are orthogonal positions too, so
  // one bit scan finds either: of the accepted ones when there are any, else of the
  // orthogonal ones. The quotient at that lane is taken whether it is needed or not (a scan
  // of no bits gives lane 8H or 0, which the selects drop), and the four heights are divided
  // at once at the end. The selects are written with masks: the compiler turns conditional
  // expressions into branches.
  constexpr uint32_t kNoLane = 1u << (kMaskPositions * H);
  const auto lowest = [](uint32_t bits) { return __builtin_ctz(bits | kNoLane); };
  const auto highest = [](uint32_t bits) { return highestSetBit(bits | 1u); };
  const auto pick = [](uint32_t mask, uint32_t a, uint32_t b) { return (a & mask) | (b & ~mask); };
  // The candidates a search's end is scanned for: accepted ones, else orthogonal ones.
  const auto scanned = [&pick](uint32_t accepted, uint32_t orth) {
    return pick(0u - (accepted != 0u), accepted, orth);
  };
  // A search's end, and the quotient at it with whether it was accepted (all bits set).
  struct Chosen {
    int num, den, accepted;
  };
  const auto choose = [&q, &pick](uint32_t accepted, uint32_t orth, int j, int none, int& p) {
    p = static_cast<int>(pick(0u - (orth != 0u), static_cast<uint32_t>(j), static_cast<uint32_t>(none)));
    const int lane = j & (kMaskPositions * H - 1);
    return Chosen{q.num[lane], q.den[lane], -static_cast<int>(accepted != 0u)};
  };
  // Searches 1 and 3 weigh by len - j, searches 2 and 4 by -(k + from - j), k being k1 or k3
  // and from = len - 1.
  const auto fromStart = [&](int h) { return _mm256_sub_epi32(_mm256_set1_epi32(len), position[h]); };
  const auto fromEnd = [&](int h, int k) { return _mm256_sub_epi32(position[h], _mm256_set1_epi32(k + len - 1)); };

  uint32_t c1 = 0, c3 = 0;
  for (int h = 0; h < H; ++h) c1 |= previousSideLanes(sC[h], sC1[h], sP[h], sN1[h], fromStart(h), q, h);
  const uint32_t orth1 = orthCur & lanes;
  c1 &= orth1 & passPrev;
  const Chosen e1 = choose(c1, orth1, lowest(scanned(c1, orth1)), RunEndPositions::kNoLowerEnd, r.p1);
  r.k1 = c1 ? r.p1 : len;

  for (int h = 0; h < H; ++h) c3 |= farSideLanes(sC1[h], sN1[h], sN[h], sF[h], fromStart(h), q, h);
  const uint32_t orth3 = orthNext & lanes;
  c3 &= orth3 & passNext;
  const Chosen e3 = choose(c3, orth3, lowest(scanned(c3, orth3)), RunEndPositions::kNoLowerEnd, r.p3);
  r.k3 = c3 ? r.p3 : len;

  uint32_t c2 = 0, c4 = 0;
  for (int h = 0; h < H; ++h)
    c2 |= previousSideLanes(laterLanes<2>(sC, h), sC1[h], laterLanes<2>(sP, h), sN1[h], fromEnd(h, r.k1), q, h);
  const uint32_t orth2 = (orthCur >> 1) & lanes;
  c2 &= orth2 & (passPrev >> 2);
  const Chosen e2 = choose(c2, orth2, highest(scanned(c2, orth2)), RunEndPositions::kNoUpperEnd, r.p2);

  for (int h = 0; h < H; ++h)
    c4 |= farSideLanes(sC1[h], sN1[h], laterLanes<2>(sN, h), laterLanes<2>(sF, h), fromEnd(h, r.k3), q, h);
  const uint32_t orth4 = (orthNext >> 1) & lanes;
  c4 &= orth4 & (orthNext >> 2);
  const Chosen e4 = choose(c4, orth4, highest(scanned(c4, orth4)), RunEndPositions::kNoUpperEnd, r.p4);

  // The heights: an accepted quotient divided as acceptQuotient divides it (its denominator
  // is never 0), else 1 / 2, the half height, exactly.
  static_assert(kHalf == 0.5f, "1 / 2 stands for the half height");
  const __m128i isAccepted = _mm_setr_epi32(e1.accepted, e2.accepted, e3.accepted, e4.accepted);
  const __m128i num = _mm_blendv_epi8(_mm_set1_epi32(1), _mm_setr_epi32(e1.num, e2.num, e3.num, e4.num), isAccepted);
  const __m128i den = _mm_blendv_epi8(_mm_set1_epi32(2), _mm_setr_epi32(e1.den, e2.den, e3.den, e4.den), isAccepted);
  alignas(16) float heights[4];
  _mm_store_ps(heights, _mm_div_ps(_mm_cvtepi32_ps(num), _mm_cvtepi32_ps(den)));
  r.h1 = heights[0];
  r.h2 = heights[1];
  r.h3 = heights[2];
  r.h4 = heights[3];
}

// The ends of a run of at most kLanesRunMax pixels starting at `start`, whose reads need no
// checks (findRunEndPositions' lastInside): false, with r untouched, where the registers of
// its positions would reach beyond the frame (near the last rows, or down the first column,
// which has no column before it).
template <class P>
inline bool findEndsInLanes(const LineGeometry& g, Index start, int len, RunEndPositions& r) {
  const Index s = P::along(g), o0 = start - s;
  const auto run = [&](auto halves) {
    constexpr int H = decltype(halves)::value;
    constexpr Index kLast = kMaskPositions * H - 1;  // the last position the registers hold
    if constexpr (P::kPassBit == RowPass::kPassBit) {
      if (o0 + 2 * g.lineStride + kLast >= g.pixelCount) return false;
      findEndsInLanes<P, H>(rowWords<H>(g, o0), len, r);
    } else {
      if (g.prevLineOffset != -1 || o0 + kLast * s + 2 >= g.pixelCount) return false;
      findEndsInLanes<P, H>(columnWords<H>(g, o0), len, r);
    }
    return true;
  };
  if (len <= kMaskedRunMax) return run(std::integral_constant<int, 1>{});
  return run(std::integral_constant<int, 2>{});
}

}  // namespace
}  // namespace qov::aa::detail::search
