// The end searches of one run as indices, for the tests: the blending levels run the same
// searches (mlaa_search.h) inside their own line loops.
#include "effects/antialias/mlaa_search.h"

namespace qov::aa::detail {
namespace {

template <class P>
RunEnds findRunEndsIn(const LineGeometry& g, Index start, Index end) {
  // The line's first pixel, as far as the searches care: one before the start.
  const Index s = P::along(g), lineFirst = start - s;
  const RunEndPositions r = search::findRunEndPositions<P, search::OneByOne>(
      g, lineFirst, 1, static_cast<int>((end - lineFirst) / s), search::lineLimits<P, search::OneByOne>(g, lineFirst));
  const auto lower = [&](int position, float height) {
    return position == RunEndPositions::kNoLowerEnd ? EndPoint{} : EndPoint{true, start + position * s, height};
  };
  const auto upper = [&](int position, float height) {
    return position == RunEndPositions::kNoUpperEnd ? EndPoint{} : EndPoint{true, start + position * s, height};
  };
  RunEnds ends;
  ends.p1 = lower(r.p1, r.h1);
  ends.p2 = upper(r.p2, r.h2);
  ends.p3 = lower(r.p3, r.h3);
  ends.p4 = upper(r.p4, r.h4);
  ends.k1 = r.k1;
  ends.k3 = r.k3;
  return ends;
}

}  // namespace

// len follows from start and end.
RunEnds findRunEnds(const LineGeometry& g, Index start, Index end, int /*len*/) {
  return g.passBit == RowPass::kPassBit ? findRunEndsIn<RowPass>(g, start, end)
                                        : findRunEndsIn<ColumnPass>(g, start, end);
}

}  // namespace qov::aa::detail
