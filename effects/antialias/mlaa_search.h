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

namespace search {

// Accepts num / den, in single precision, when it lies strictly between 0 and 1. A zero
// denominator would give an infinity or NaN, neither of which is accepted.
inline bool acceptQuotient(int num, int den, float* q) {
  if (den == 0) return false;
  const float value = static_cast<float>(num) / static_cast<float>(den);
  if (!(value > 0.0f && value < 1.0f)) return false;
  *q = value;
  return true;
}

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
template <class P, bool kChecked>
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

// The four searches of the run start ... end (len pixels, start not the line's first).
template <class P, bool kChecked>
inline RunEndPositions findEnds(const LineGeometry& g, Index start, Index end, int len) {
  const Index s = P::along(g), L = P::lineStride(g), U = g.prevLineOffset;
  const auto at = [&g](Index index) { return edgeWord<kChecked>(g, index); };
  RunEndPositions r;

  // Searches 1 and 3 walk the same boundaries, i = start ... end, and only read edge words,
  // so they share one walk; each stops taking part once it has accepted (its bit mask is
  // then 0). Search 1 (previous-line side) looks at Po, search 3 (far side) at No. A search
  // that accepts nothing ends at the first boundary whose orthogonal test held.
  {
    int first1 = RunEndPositions::kNoLowerEnd, first3 = RunEndPositions::kNoLowerEnd;
    float q;
    uint32_t orth1 = P::kOrthBit, orth3 = P::kOrthBit;
    Index o = start - s;
    for (int k = 1;; ++k, o += s) {
      const uint32_t po = at(o), no = at(o + L);
      if (po & orth1) {
        if (first1 == RunEndPositions::kNoLowerEnd) first1 = k - 1;
        const uint32_t uo = at(o + U);
        if ((uo & P::kPassBit) && previousSideQuotient(po, at(o + s), uo, at(o + s + L), len - k + 1, &q)) {
          r.h1 = q;
          r.k1 = k - 1;
          r.p1 = k - 1;
          orth1 = 0;
        }
      }
      if (no & orth3) {
        if (first3 == RunEndPositions::kNoLowerEnd) first3 = k - 1;
        if ((no & P::kPassBit) && farSideAt<P, kChecked>(g, o, o + s, len - k + 1, &q)) {
          r.h3 = q;
          r.k3 = k - 1;
          r.p3 = k - 1;
          orth3 = 0;
        }
      }
      if (k == len || (orth1 | orth3) == 0) break;
    }
    if (orth1) {
      r.k1 = len;
      r.p1 = first1;
    }
    if (orth3) {
      r.k3 = len;
      r.p3 = first3;
    }
  }

  // Searches 2 and 4, i = e ... start, in one walk likewise. Search 2 looks at Pi, search 4
  // at Ni; search 4 then asks only for the orthogonal bit of No, unlike search 3, which also
  // wants the pass bit. When the pixel after the run lies outside the frame (only where the
  // reads are checked), both begin one pixel inside, and the run's last pixel stands as
  // their first orthogonal pixel.
  {
    int first2 = RunEndPositions::kNoUpperEnd, first4 = RunEndPositions::kNoUpperEnd;
    int from = len - 1;
    if (kChecked && end + s >= g.pixelCount) {
      from = len - 2;
      if (g.edgeAt(end) & P::kOrthBit) first2 = first4 = len - 1;
    }
    uint32_t orth2 = P::kOrthBit, orth4 = P::kOrthBit;
    float q;
    Index i = start + from * s;
    for (int k = 1;; ++k, i -= s) {
      const int position = from - (k - 1);
      const Index o = i + s;
      const uint32_t pi = at(i), ni = at(i + L);
      if (pi & orth2) {
        if (first2 == RunEndPositions::kNoUpperEnd) first2 = position;
        const uint32_t uo = at(o + U);
        if ((uo & P::kPassBit) && previousSideQuotient(at(o), pi, uo, ni, -(r.k1 + k - 1), &q)) {
          r.h2 = q;
          r.p2 = position;
          orth2 = 0;
        }
      }
      if (ni & orth4) {
        if (first4 == RunEndPositions::kNoUpperEnd) first4 = position;
        if ((at(o + L) & P::kOrthBit) && farSideAt<P, kChecked>(g, o, i, -(r.k3 + k - 1), &q)) {
          r.h4 = q;
          r.p4 = position;
          orth4 = 0;
        }
      }
      if (position <= 0 || (orth2 | orth4) == 0) break;
    }
    if (orth2) r.p2 = first2;
    if (orth4) r.p4 = first4;
  }
  return r;
}

// The searches read from one pixel before the start on the previous line (o + prevLineOffset)
// to one pixel after the end on the next line (o + lineStride); the far-side quotient reads
// two lines further only after its own test against the frame's end.
template <class P>
inline bool neighbourhoodInsideFrame(const LineGeometry& g, Index start, Index end) {
  const Index lowest = start - P::along(g) + (g.prevLineOffset < 0 ? g.prevLineOffset : 0);
  const Index highest = end + P::along(g) + P::lineStride(g);
  return lowest >= 0 && highest < g.pixelCount;
}

template <class P>
inline RunEndPositions findRunEndPositions(const LineGeometry& g, Index start, Index end, int len) {
  if (neighbourhoodInsideFrame<P>(g, start, end)) return findEnds<P, false>(g, start, end, len);
  return findEnds<P, true>(g, start, end, len);
}

}  // namespace search
}  // namespace qov::aa::detail
