// The four end searches of a run: at each end, where does the silhouette turn, towards the
// previous line or beyond the next one, and how high is the step there?
//
// A search walks the boundaries between neighbouring pixels of the run's line, from one end
// inwards: o is the outer pixel of a boundary (towards the end being examined), i the inner
// one. All look-ups read edge words, so every search sees the unblended frame.
#include "effects/antialias/mlaa_internal.h"

namespace qov::aa::detail {
namespace {

// Accepts num / den, in single precision, when it lies strictly between 0 and 1. A zero
// denominator would give an infinity or NaN, neither of which is accepted.
bool acceptQuotient(int num, int den, float* q) {
  if (den == 0) return false;
  const float value = static_cast<float>(num) / static_cast<float>(den);
  if (!(value > 0.0f && value < 1.0f)) return false;
  *q = value;
  return true;
}

// Height of a turn towards the previous line; M is +m from the start end, -m from the other.
bool previousSideQuotient(uint32_t po, uint32_t pi, uint32_t uo, uint32_t ni, int M, float* q) {
  const int sPo = colourSum(po), sPi = colourSum(pi), sUo = colourSum(uo), sNi = colourSum(ni);
  const int x = (sPi - sNi) - (sUo - sPo);
  const int num = M * (sUo - sNi) + x;
  const int den = M * (sPi - sNi + sUo - sPo) + x;
  return acceptQuotient(num, den, q);
}

// Height of a turn beyond the next line.
bool farSideQuotient(uint32_t pi, uint32_t ni, uint32_t no, uint32_t n2o, int M, float* q) {
  const int sPi = colourSum(pi), sNi = colourSum(ni), sNo = colourSum(no), sN2o = colourSum(n2o);
  const int x = (sNi - sPi) - (sN2o - sNo);
  const int num = M * (sN2o - sPi) + x;
  const int den = M * (sNi - sPi + sN2o - sNo) + x;
  return acceptQuotient(num, den, q);
}

// Beyond the frame there are no lines, so a turn there gets half height.
bool farSideAt(const LineGeometry& g, Index o, Index i, int M, float* q) {
  const Index twoLines = o + 2 * g.lineStride;
  if (twoLines >= g.pixelCount) {
    *q = kHalf;
    return true;
  }
  return farSideQuotient(g.edgeAt(i), g.edgeAt(i + g.lineStride), g.edgeAt(o + g.lineStride),
                         g.edgeAt(twoLines), M, q);
}

// A search that accepts nothing ends at the first boundary whose orthogonal test held.
void noteFirstOrthogonal(EndPoint* fallback, Index i) {
  if (!fallback->found) *fallback = EndPoint{true, i, kHalf};
}

// Search 1: start end, previous-line side. i runs start ... end.
EndPoint searchStartPrevious(const LineGeometry& g, Index start, Index end, int len,
                             int* completed) {
  EndPoint fallback;
  Index i = start;
  for (int k = 1;; ++k, i += g.alongStep) {
    const Index o = i - g.alongStep;
    const uint32_t po = g.edgeAt(o);
    if (po & g.orthBit) {
      noteFirstOrthogonal(&fallback, i);
      const uint32_t uo = g.edgeAt(o + g.prevLineOffset);
      float q;
      if ((uo & g.passBit) &&
          previousSideQuotient(po, g.edgeAt(i), uo, g.edgeAt(i + g.lineStride), len - k + 1, &q)) {
        *completed = k - 1;
        return EndPoint{true, i, q};
      }
    }
    if (!(i < end)) break;
  }
  *completed = len;
  return fallback;
}

// Search 3: start end, far side. i runs start ... end.
EndPoint searchStartFar(const LineGeometry& g, Index start, Index end, int len, int* completed) {
  EndPoint fallback;
  Index i = start;
  for (int k = 1;; ++k, i += g.alongStep) {
    const Index o = i - g.alongStep;
    const uint32_t no = g.edgeAt(o + g.lineStride);
    if (no & g.orthBit) {
      noteFirstOrthogonal(&fallback, i);
      float q;
      if ((no & g.passBit) && farSideAt(g, o, i, len - k + 1, &q)) {
        *completed = k - 1;
        return EndPoint{true, i, q};
      }
    }
    if (!(i < end)) break;
  }
  *completed = len;
  return fallback;
}

// Search 2: other end, previous-line side. i runs e ... start.
EndPoint searchEndPrevious(const LineGeometry& g, Index start, Index e, EndPoint fallback,
                           int k1) {
  Index i = e;
  for (int k = 1;; ++k, i -= g.alongStep) {
    const Index o = i + g.alongStep;
    const uint32_t pi = g.edgeAt(i);
    if (pi & g.orthBit) {
      noteFirstOrthogonal(&fallback, i);
      const uint32_t uo = g.edgeAt(o + g.prevLineOffset);
      float q;
      if ((uo & g.passBit) &&
          previousSideQuotient(g.edgeAt(o), pi, uo, g.edgeAt(i + g.lineStride), -(k1 + k - 1),
                               &q))
        return EndPoint{true, i, q};
    }
    if (!(i > start)) break;
  }
  return fallback;
}

// Search 4: other end, far side. i runs e ... start. Only the orthogonal bit of No is asked
// for here, unlike search 3, which also wants the pass bit.
EndPoint searchEndFar(const LineGeometry& g, Index start, Index e, EndPoint fallback, int k3) {
  Index i = e;
  for (int k = 1;; ++k, i -= g.alongStep) {
    const Index o = i + g.alongStep;
    if (g.edgeAt(i + g.lineStride) & g.orthBit) {
      noteFirstOrthogonal(&fallback, i);
      float q;
      if ((g.edgeAt(o + g.lineStride) & g.orthBit) && farSideAt(g, o, i, -(k3 + k - 1), &q))
        return EndPoint{true, i, q};
    }
    if (!(i > start)) break;
  }
  return fallback;
}

}  // namespace

RunEnds findRunEnds(const LineGeometry& g, Index start, Index end, int len) {
  RunEnds ends;
  ends.p1 = searchStartPrevious(g, start, end, len, &ends.k1);
  ends.p3 = searchStartFar(g, start, end, len, &ends.k3);

  // When the pixel after the run lies outside the frame, the searches from the end begin one
  // pixel inside, and the run's last pixel stands as their first orthogonal pixel.
  Index e = end;
  EndPoint preset;
  if (end + g.alongStep >= g.pixelCount) {
    e = end - g.alongStep;
    if (g.edgeAt(end) & g.orthBit) preset = EndPoint{true, end, kHalf};
  }
  ends.p2 = searchEndPrevious(g, start, e, preset, ends.k1);
  ends.p4 = searchEndFar(g, start, e, preset, ends.k3);
  return ends;
}

}  // namespace qov::aa::detail
