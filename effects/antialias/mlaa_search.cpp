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

// Edge words near a run. Checked reads give 0 outside the frame; unchecked ones are for runs
// whose whole neighbourhood lies inside it, which is almost every run, and save the test.
template <bool kChecked>
struct Edges {
  const LineGeometry& g;
  uint32_t at(Index index) const { return kChecked ? g.edgeAt(index) : loadWord(g.edges, index); }
};

// Beyond the frame there are no lines, so a turn there gets half height.
template <bool kChecked>
bool farSideAt(Edges<kChecked> e, Index o, Index i, int M, float* q) {
  const LineGeometry& g = e.g;
  const Index twoLines = o + 2 * g.lineStride;
  if (twoLines >= g.pixelCount) {
    *q = kHalf;
    return true;
  }
  return farSideQuotient(e.at(i), e.at(i + g.lineStride), e.at(o + g.lineStride), e.at(twoLines),
                         M, q);
}

// A search that accepts nothing ends at the first boundary whose orthogonal test held.
void noteFirstOrthogonal(EndPoint* fallback, Index i) {
  if (!fallback->found) *fallback = EndPoint{true, i, kHalf};
}

// Searches 1 and 3 walk the same boundaries, i = start ... end, and only read edge words, so
// they share one walk; each stops taking part once it has accepted. Search 1 (previous-line
// side) looks at Po, search 3 (far side) at No.
template <bool kChecked>
void searchFromStart(Edges<kChecked> e, Index start, Index end, int len, RunEnds* ends) {
  const LineGeometry& g = e.g;
  EndPoint fallback1, fallback3;
  uint32_t orth1 = g.orthBit, orth3 = g.orthBit;  // cleared when the search has accepted
  Index i = start;
  for (int k = 1;; ++k, i += g.alongStep) {
    const Index o = i - g.alongStep;
    const uint32_t po = e.at(o), no = e.at(o + g.lineStride);
    if (po & orth1) {
      noteFirstOrthogonal(&fallback1, i);
      const uint32_t uo = e.at(o + g.prevLineOffset);
      float q;
      if ((uo & g.passBit) &&
          previousSideQuotient(po, e.at(i), uo, e.at(i + g.lineStride), len - k + 1, &q)) {
        ends->k1 = k - 1;
        ends->p1 = EndPoint{true, i, q};
        orth1 = 0;
      }
    }
    if (no & orth3) {
      noteFirstOrthogonal(&fallback3, i);
      float q;
      if ((no & g.passBit) && farSideAt(e, o, i, len - k + 1, &q)) {
        ends->k3 = k - 1;
        ends->p3 = EndPoint{true, i, q};
        orth3 = 0;
      }
    }
    if (!(i < end) || (orth1 | orth3) == 0) break;
  }
  if (orth1) {
    ends->k1 = len;
    ends->p1 = fallback1;
  }
  if (orth3) {
    ends->k3 = len;
    ends->p3 = fallback3;
  }
}

// Searches 2 and 4, i = e ... start, in one walk likewise. Search 2 looks at Pi, search 4 at
// Ni; search 4 then asks only for the orthogonal bit of No, unlike search 3, which also wants
// the pass bit. Both begin with the same pre-set end point.
template <bool kChecked>
void searchFromEnd(Edges<kChecked> e, Index start, Index from, EndPoint preset, RunEnds* ends) {
  const LineGeometry& g = e.g;
  EndPoint fallback2 = preset, fallback4 = preset;
  uint32_t orth2 = g.orthBit, orth4 = g.orthBit;
  Index i = from;
  for (int k = 1;; ++k, i -= g.alongStep) {
    const Index o = i + g.alongStep;
    const uint32_t pi = e.at(i), ni = e.at(i + g.lineStride);
    if (pi & orth2) {
      noteFirstOrthogonal(&fallback2, i);
      const uint32_t uo = e.at(o + g.prevLineOffset);
      float q;
      if ((uo & g.passBit) &&
          previousSideQuotient(e.at(o), pi, uo, ni, -(ends->k1 + k - 1), &q)) {
        ends->p2 = EndPoint{true, i, q};
        orth2 = 0;
      }
    }
    if (ni & orth4) {
      noteFirstOrthogonal(&fallback4, i);
      float q;
      if ((e.at(o + g.lineStride) & g.orthBit) && farSideAt(e, o, i, -(ends->k3 + k - 1), &q)) {
        ends->p4 = EndPoint{true, i, q};
        orth4 = 0;
      }
    }
    if (!(i > start) || (orth2 | orth4) == 0) break;
  }
  if (orth2) ends->p2 = fallback2;
  if (orth4) ends->p4 = fallback4;
}

template <bool kChecked>
RunEnds findRunEndsWith(const LineGeometry& g, Index start, Index end, int len) {
  const Edges<kChecked> edges{g};
  RunEnds ends;
  searchFromStart(edges, start, end, len, &ends);

  // When the pixel after the run lies outside the frame, the searches from the end begin one
  // pixel inside, and the run's last pixel stands as their first orthogonal pixel.
  Index e = end;
  EndPoint preset;
  if (end + g.alongStep >= g.pixelCount) {
    e = end - g.alongStep;
    if (g.edgeAt(end) & g.orthBit) preset = EndPoint{true, end, kHalf};
  }
  searchFromEnd(edges, start, e, preset, &ends);
  return ends;
}

}  // namespace

RunEnds findRunEnds(const LineGeometry& g, Index start, Index end, int len) {
  // The searches read from one pixel before the start on the previous line (o + prevLineOffset)
  // to one pixel after the end on the next line (o + lineStride); the far-side quotient reads
  // two lines further only after its own test against the frame's end.
  const Index lowest = start - g.alongStep + (g.prevLineOffset < 0 ? g.prevLineOffset : 0);
  const Index highest = end + g.alongStep + g.lineStride;
  if (lowest >= 0 && highest < g.pixelCount) return findRunEndsWith<false>(g, start, end, len);
  return findRunEndsWith<true>(g, start, end, len);
}

}  // namespace qov::aa::detail
