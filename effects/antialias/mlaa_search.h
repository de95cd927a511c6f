// The four end searches of a run: at each end, where does the silhouette turn, towards the
// previous line or beyond the next one, and how high is the step there? Inline, so that each
// blending level compiles them into its own line loop with the pass's strides as constants.
//
// A search walks the boundaries between neighbouring pixels of the run's line, from one end
// inwards: o is the outer pixel of a boundary (towards the end being examined), i the inner
// one. All look-ups read edge words, so every search sees the unblended frame.
#pragma once

#include <climits>
#include <cstdint>

#include "effects/antialias/mlaa_internal.h"

namespace qov::aa::detail {

// What the two passes differ in: which edge bit runs along the line, and which of the two
// strides is 1. A run's code is compiled once per pass, so the stride that is 1 costs nothing.
struct RowPass {  // the horizontal pass: lines are rows
  static constexpr uint32_t kPassBit = EDGE_BELOW;
  static constexpr uint32_t kOrthBit = EDGE_RIGHT;
  static Index along(const LineGeometry&) { return 1; }
  static Index lineStride(const LineGeometry& g) { return g.lineStride; }
};

struct ColumnPass {  // the vertical pass: lines are columns
  static constexpr uint32_t kPassBit = EDGE_RIGHT;
  static constexpr uint32_t kOrthBit = EDGE_BELOW;
  static Index along(const LineGeometry& g) { return g.alongStep; }
  static Index lineStride(const LineGeometry&) { return 1; }
};

// The ends of a run as positions along it (0 is its start) with their heights. Searches 1
// and 3 find the lower end of a blend, 2 and 4 the upper one, and a blend needs
// upper > lower: an end that was not found is INT_MAX as a lower end and INT_MIN as an upper
// one, so that no comparison with it holds.
struct RunEndPositions {
  static constexpr int kNoLowerEnd = INT_MAX;
  static constexpr int kNoUpperEnd = INT_MIN;
  int p1 = kNoLowerEnd, p2 = kNoUpperEnd, p3 = kNoLowerEnd, p4 = kNoUpperEnd;
  float h1 = kHalf, h2 = kHalf, h3 = kHalf, h4 = kHalf;
  int k1 = 0, k3 = 0;  // iterations searches 1 and 3 completed before accepting
};

// EDGE_BELOW and EDGE_RIGHT of eight edge words along a line, bit k for the k-th word.
struct EdgeBits8 {
  uint32_t below, right;
};

// Those of the line before a run's line, the run's line and the line after it.
struct LineBits8 {
  EdgeBits8 prev, cur, next;
};

namespace search {

// The searches without the mask form: the scalar level's way, and the one the searches for
// the tests use.
struct OneByOne {
  static constexpr bool kEdgeBits8 = false;
  static EdgeBits8 edgeBits8(const uint8_t*, Index) { return {}; }
  static LineBits8 columnEdgeBits8(const uint8_t*, Index, Index) { return {}; }
  static constexpr bool kEndsInLanes = false;
};

// Accepts num / den, in single precision, when it lies strictly between 0 and 1. A zero
// denominator would give an infinity or NaN, neither of which is accepted.
//
// Most candidates fail, so they are turned away on the integers first, without waiting for a
// division: num / den lies strictly between 0 and 1 only when num and den have the same sign
// and |num| < |den|. Those it turns away the rounded quotient would fail too (conversion and
// division round monotonically, and 0 and 1 are exact), and those it lets through still take
// the test in single precision, which decides as before.
inline bool acceptQuotient(int num, int den, float* q) {
  // Without branches: with den's sign taken off both (in unsigned arithmetic, which cannot
  // overflow), n must lie in [1, d) and d must not be 0 (nothing is divided by zero);
  // n - 1 < d - 1 as unsigned numbers says the first, a numerator of 0 or below wrapping
  // around to the top of the range.
  const uint32_t sign = den < 0 ? ~0u : 0u;
  const uint32_t n = (static_cast<uint32_t>(num) ^ sign) - sign, d = (static_cast<uint32_t>(den) ^ sign) - sign;
  if (!((n - 1u < d - 1u) & (d != 0u))) return false;
  const float value = static_cast<float>(num) / static_cast<float>(den);
  if (!(value > 0.0f && value < 1.0f)) return false;
  *q = value;
  return true;
}

// The colour sums of the four words of a quotient are taken one word at a time: the quotient
// waits for them, and scalar sums are ready sooner than sums in the lanes of a vector, whose
// words would first have to be moved in and out one by one.

// Height of a turn towards the previous line; M is +m from the start end, -m from the other.
inline bool previousSideQuotient(uint32_t po, uint32_t pi, uint32_t uo, uint32_t ni, int M, float* q) {
  const int sPo = colourSum(po), sPi = colourSum(pi), sUo = colourSum(uo), sNi = colourSum(ni);
  const int x = (sPi - sNi) - (sUo - sPo);
  const int num = M * (sUo - sNi) + x;
  const int den = M * (sPi - sNi + sUo - sPo) + x;
  return acceptQuotient(num, den, q);
}

// Height of a turn beyond the next line.
inline bool farSideQuotient(uint32_t pi, uint32_t ni, uint32_t no, uint32_t n2o, int M, float* q) {
  const int sPi = colourSum(pi), sNi = colourSum(ni), sNo = colourSum(no), sN2o = colourSum(n2o);
  const int x = (sNi - sPi) - (sN2o - sNo);
  const int num = M * (sN2o - sPi) + x;
  const int den = M * (sNi - sPi + sN2o - sNo) + x;
  return acceptQuotient(num, den, q);
}

// Edge words near a run. Checked reads give 0 outside the frame; unchecked ones are for runs
// whose whole neighbourhood lies inside it, which is almost every run, and save the test.
template <bool kChecked>
inline uint32_t edgeWord(const LineGeometry& g, Index index) {
  return kChecked ? g.edgeAt(index) : loadWord(g.edges, index);
}

// Beyond the frame there are no lines, so a turn there gets half height.
template <class P, class C, bool kChecked>
inline bool farSideAt(const LineGeometry& g, Index o, Index i, int M, float* q) {
  const Index L = P::lineStride(g);
  const Index twoLines = o + 2 * L;
  if (twoLines >= g.pixelCount) {
    *q = kHalf;
    return true;
  }
  return farSideQuotient(edgeWord<kChecked>(g, i), edgeWord<kChecked>(g, i + L), edgeWord<kChecked>(g, o + L),
                         edgeWord<kChecked>(g, twoLines), M, q);
}

// Each search walks its boundaries on its own and stops at the first quotient it accepts. A
// search that accepts nothing ends at the first boundary whose orthogonal test held, so the
// walk first looks for that boundary and only then for quotients.

// Search 1: from the start, towards the previous line. Boundary j (0 ... len - 1) has
// o = start + (j - 1)s and i = o + s; a candidate wants the orthogonal bit at Po and the pass
// bit at Uo.
template <class P, class C, bool kChecked>
inline void searchStartPrevious(const LineGeometry& g, Index start, int len, RunEndPositions& r) {
  const Index s = P::along(g), L = P::lineStride(g), U = g.prevLineOffset;
  r.k1 = len;
  Index o = start - s;
  int j = 0;
  while (!(edgeWord<kChecked>(g, o) & P::kOrthBit)) {
    if (++j == len) return;
    o += s;
  }
  r.p1 = j;
  for (; j < len; ++j, o += s) {
    const uint32_t po = edgeWord<kChecked>(g, o);
    if (!(po & P::kOrthBit)) continue;
    const uint32_t uo = edgeWord<kChecked>(g, o + U);
    float q;
    if ((uo & P::kPassBit) &&
        previousSideQuotient(po, edgeWord<kChecked>(g, o + s), uo, edgeWord<kChecked>(g, o + s + L), len - j, &q)) {
      r.p1 = r.k1 = j;
      r.h1 = q;
      return;
    }
  }
}

// Search 3: from the start, beyond the next line, on the boundaries of search 1; a candidate
// wants both bits at No.
template <class P, class C, bool kChecked>
inline void searchStartFar(const LineGeometry& g, Index start, int len, RunEndPositions& r) {
  constexpr uint32_t kBoth = P::kOrthBit | P::kPassBit;
  const Index s = P::along(g), L = P::lineStride(g);
  r.k3 = len;
  Index o = start - s;
  int j = 0;
  while (!(edgeWord<kChecked>(g, o + L) & P::kOrthBit)) {
    if (++j == len) return;
    o += s;
  }
  r.p3 = j;
  for (; j < len; ++j, o += s) {
    float q;
    if ((edgeWord<kChecked>(g, o + L) & kBoth) == kBoth && farSideAt<P, C, kChecked>(g, o, o + s, len - j, &q)) {
      r.p3 = r.k3 = j;
      r.h3 = q;
      return;
    }
  }
}

// Search 2: from the end, towards the previous line. Position j runs from `from` down to 0
// (or is only `from` when that is -1), with i = start + j s and o = i + s; a candidate wants
// the orthogonal bit at Pi and the pass bit at Uo. It is iteration k = from - j + 1 and
// weighs by k1 + k - 1. `preset` is true when the run's last pixel already stands as the
// fallback end.
template <class P, class C, bool kChecked>
inline void searchEndPrevious(const LineGeometry& g, Index start, int from, bool preset, RunEndPositions& r) {
  const Index s = P::along(g), L = P::lineStride(g), U = g.prevLineOffset;
  const int lowest = from < 0 ? from : 0;
  int j = from;
  Index i = start + from * s;
  if (!preset) {
    while (!(edgeWord<kChecked>(g, i) & P::kOrthBit)) {
      if (--j < lowest) return;
      i -= s;
    }
  }
  r.p2 = preset ? from + 1 : j;
  for (; j >= lowest; --j, i -= s) {
    const uint32_t pi = edgeWord<kChecked>(g, i);
    if (!(pi & P::kOrthBit)) continue;
    const uint32_t uo = edgeWord<kChecked>(g, i + s + U);
    float q;
    if ((uo & P::kPassBit) && previousSideQuotient(edgeWord<kChecked>(g, i + s), pi, uo, edgeWord<kChecked>(g, i + L),
                                                   -(r.k1 + from - j), &q)) {
      r.p2 = j;
      r.h2 = q;
      return;
    }
  }
}

// Search 4: from the end, beyond the next line, on the boundaries of search 2; a candidate
// wants the orthogonal bit at Ni and at No (and, unlike search 3, not the pass bit).
template <class P, class C, bool kChecked>
inline void searchEndFar(const LineGeometry& g, Index start, int from, bool preset, RunEndPositions& r) {
  const Index s = P::along(g), L = P::lineStride(g);
  const int lowest = from < 0 ? from : 0;
  int j = from;
  Index i = start + from * s;
  if (!preset) {
    while (!(edgeWord<kChecked>(g, i + L) & P::kOrthBit)) {
      if (--j < lowest) return;
      i -= s;
    }
  }
  r.p4 = preset ? from + 1 : j;
  for (; j >= lowest; --j, i -= s) {
    float q;
    if ((edgeWord<kChecked>(g, i + L) & P::kOrthBit) && (edgeWord<kChecked>(g, i + s + L) & P::kOrthBit) &&
        farSideAt<P, C, kChecked>(g, i + s, i, -(r.k3 + from - j), &q)) {
      r.p4 = j;
      r.h4 = q;
      return;
    }
  }
}

// The four searches of the run start ... end (len pixels, start not the line's first).
template <class P, class C, bool kChecked>
inline RunEndPositions findEnds(const LineGeometry& g, Index start, Index end, int len) {
  RunEndPositions r;
  searchStartPrevious<P, C, kChecked>(g, start, len, r);
  searchStartFar<P, C, kChecked>(g, start, len, r);
  // Searches 2 and 4 begin at the run's last pixel. When the pixel after the run lies outside
  // the frame (only where the reads are checked), they begin one pixel inside, and the run's
  // last pixel, if it has the orthogonal bit, stands as their first orthogonal pixel.
  int from = len - 1;
  bool preset = false;
  if (kChecked && end + P::along(g) >= g.pixelCount) {
    from = len - 2;
    preset = (g.edgeAt(end) & P::kOrthBit) != 0;
  }
  searchEndPrevious<P, C, kChecked>(g, start, from, preset, r);
  searchEndFar<P, C, kChecked>(g, start, from, preset, r);
  return r;
}

// The same four searches for a short run, on bit masks of its neighbourhood: bit b of a mask
// is the bit of the edge word at position b - 1 of the run (b = 0 is the pixel before the
// start), on the run's line (cur), the line before it (prev) and the line after it (next).
// The masks come from the level's blending pieces, eight positions at a time, so the run and
// the pixel on each side must fit: len <= kMaskedRunMax. Searches 1 and 3 take their
// candidates lowest first, 2 and 4 highest first, as the walks meet them.
constexpr int kMaskPositions = 8;
constexpr int kMaskedRunMax = kMaskPositions - 2;

inline int highestSetBit(uint32_t mask) { return 31 - __builtin_clz(mask); }

template <class P>
inline uint32_t orthBits(EdgeBits8 bits) { return P::kOrthBit == EDGE_RIGHT ? bits.right : bits.below; }
template <class P>
inline uint32_t passBits(EdgeBits8 bits) { return P::kPassBit == EDGE_BELOW ? bits.below : bits.right; }

template <class P, class C>
inline void findEndsByMasks(const LineGeometry& g, Index start, int len, const LineBits8& bits, RunEndPositions& r) {
  const Index s = P::along(g), L = P::lineStride(g), U = g.prevLineOffset, o0 = start - s;
  const uint32_t orthCur = orthBits<P>(bits.cur), passPrev = passBits<P>(bits.prev);
  const uint32_t orthNext = orthBits<P>(bits.next), passNext = passBits<P>(bits.next);
  const uint32_t startBoundaries = (1u << len) - 1;     // o of boundaries 0 ... len - 1
  const uint32_t endBoundaries = startBoundaries << 1;  // i of positions 0 ... len - 1
  float q;
  const auto word = [&g](Index index) { return loadWord(g.edges, index); };

  r.k1 = len;
  if (const uint32_t orth = orthCur & startBoundaries) {
    r.p1 = __builtin_ctz(orth);
    for (uint32_t c = orth & passPrev; c != 0; c &= c - 1) {
      const int j = __builtin_ctz(c);
      const Index o = o0 + j * s;
      if (previousSideQuotient(word(o), word(o + s), word(o + U), word(o + s + L), len - j, &q)) {
        r.p1 = r.k1 = j;
        r.h1 = q;
        break;
      }
    }
  }
  r.k3 = len;
  if (const uint32_t orth = orthNext & startBoundaries) {
    r.p3 = __builtin_ctz(orth);
    for (uint32_t c = orth & passNext; c != 0; c &= c - 1) {
      const int j = __builtin_ctz(c);
      const Index o = o0 + j * s;
      if (farSideAt<P, C, false>(g, o, o + s, len - j, &q)) {
        r.p3 = r.k3 = j;
        r.h3 = q;
        break;
      }
    }
  }
  const int from = len - 1;
  if (const uint32_t orth = orthCur & endBoundaries) {
    r.p2 = highestSetBit(orth) - 1;
    for (uint32_t c = orth & (passPrev >> 1); c != 0; c &= ~(1u << highestSetBit(c))) {
      const int j = highestSetBit(c) - 1;
      const Index i = start + j * s;
      if (previousSideQuotient(word(i + s), word(i), word(i + s + U), word(i + L), -(r.k1 + from - j), &q)) {
        r.p2 = j;
        r.h2 = q;
        break;
      }
    }
  }
  if (const uint32_t orth = orthNext & endBoundaries) {
    r.p4 = highestSetBit(orth) - 1;
    for (uint32_t c = orth & (orthNext >> 1); c != 0; c &= ~(1u << highestSetBit(c))) {
      const int j = highestSetBit(c) - 1;
      const Index i = start + j * s;
      if (farSideAt<P, C, false>(g, i + s, i, -(r.k3 + from - j), &q)) {
        r.p4 = j;
        r.h4 = q;
        break;
      }
    }
  }
}

// Where on a line runs may take the faster searches, worked out once per line from positions
// along it (the run's start after losing the line's first pixel, and its end):
//  - the searches read from one pixel before the start on the previous line to one pixel
//    after the end on the next line (the far-side quotient reads two lines further only after
//    its own test against the frame's end). The low side always lies inside the frame, since
//    a run never starts on the line's first pixel and the previous line of the first line is
//    the line itself; a run ending at or before lastInside reads nothing beyond it either,
//    so its reads need no checks;
//  - a run of up to kMaskedRunMax pixels starting at or before lastMaskedStart takes the
//    mask search: along a row the masks read eight words from start - 1 on each of the three
//    rows, down a column (not the first, which has no column before it) the four words of
//    columns x - 1 ... x + 2 on eight rows from start - s. -1 when no run may.
struct LineLimits {
  int lastInside;
  int lastMaskedStart;
};

template <class P, class C>
inline LineLimits lineLimits(const LineGeometry& g, Index lineFirst) {
  const Index s = P::along(g), L = P::lineStride(g);
  const auto lastWith = [&](Index room) { return room < 0 ? -1 : static_cast<int>(room / s); };
  LineLimits limits{lastWith(g.pixelCount - 1 - L - s - lineFirst), -1};
  if (C::kEdgeBits8) {
    if constexpr (P::kPassBit == RowPass::kPassBit) {
      limits.lastMaskedStart = lastWith(g.pixelCount - L - (kMaskPositions - 1) - lineFirst);
    } else {
      constexpr Index kQuadAfter = 3;  // the last word of a row's four, after x - 1
      if (g.prevLineOffset == -1)
        limits.lastMaskedStart = lastWith(g.pixelCount - kQuadAfter - lineFirst) - (kMaskPositions - 2);
    }
  }
  return limits;
}

template <class P, class C>
inline LineBits8 runMasks(const LineGeometry& g, Index start) {
  const Index s = P::along(g), L = P::lineStride(g), o0 = start - s;
  if constexpr (P::kPassBit == RowPass::kPassBit)
    return {C::edgeBits8(g.edges, o0 + g.prevLineOffset), C::edgeBits8(g.edges, o0), C::edgeBits8(g.edges, o0 + L)};
  else
    return C::columnEdgeBits8(g.edges, o0, s);
}

// The ends of the run at positions first ... last of the line that begins at lineFirst
// (first not 0).
template <class P, class C>
inline RunEndPositions findRunEndPositions(const LineGeometry& g, Index lineFirst, int first, int last,
                                           LineLimits limits) {
  const Index s = P::along(g);
  const int len = last - first + 1;
  const Index start = lineFirst + first * s, end = lineFirst + last * s;
  if (last > limits.lastInside) return findEnds<P, C, true>(g, start, end, len);
  RunEndPositions r;
  if constexpr (C::kEndsInLanes) {
    if (len <= C::kLanesRunMax && C::template findEndsInLanes<P>(g, start, len, r)) return r;
  }
  if (len > kMaskedRunMax || first > limits.lastMaskedStart) return findEnds<P, C, false>(g, start, end, len);
  findEndsByMasks<P, C>(g, start, len, runMasks<P, C>(g, start), r);
  return r;
}

}  // namespace search
}  // namespace qov::aa::detail
