// The vertical runs that cross a boundary between bands: their end searches, once for the
// whole frame, and the weights their blends reach at each boundary they cross.
//
// A weight along a blend is a running single-precision sum (the weight of the next pixel is
// that of this one plus a step), so the weight at a boundary can only be had by adding the
// same steps in the same order. One sum is a chain of dependent additions that keeps a core
// waiting on each; frames of noise cross every boundary in every column, so the chains are
// run side by side, many lanes at a time, each lane adding exactly as the blend would.
#include "effects/antialias/mlaa_bands.h"

#include <algorithm>

namespace qov::aa::detail {
namespace {

// Chains run side by side: enough independent additions to keep a core's adders busy.
constexpr int kChainLanes = 16;
// Chains collected before they are run.
constexpr int kChainBatch = 4 * kChainLanes;

// The weights of one half of a blend at consecutive boundaries: `first` steps from its first
// pixel to the first boundary, bandRows steps between boundaries, `count` boundaries.
struct WeightChain {
  float start, step;
  int first, count;
  VerticalCrossing* crossing;  // the crossing of the first boundary; the next ones follow `width` apart
  int slot;                    // the blend's place among the run's blends
};

class ChainRunner {
 public:
  ChainRunner(int bandRows, int width) : bandRows_(bandRows), width_(width) {}
  ~ChainRunner() { flush(); }
  ChainRunner(const ChainRunner&) = delete;
  ChainRunner& operator=(const ChainRunner&) = delete;

  void add(const WeightChain& chain) {
    chains_[pending_++] = chain;
    if (pending_ == kChainBatch) flush();
  }

  void flush() {
    for (int base = 0; base < pending_; base += kChainLanes) run(chains_ + base, std::min(kChainLanes, pending_ - base));
    pending_ = 0;
  }

 private:
  void store(const WeightChain& chain, int boundary, float value) const {
    chain.crossing[static_cast<std::size_t>(boundary) * static_cast<std::size_t>(width_)].weight[chain.slot] = value;
  }

  void run(const WeightChain* chains, int lanes) const {
    float value[kChainLanes] = {}, step[kChainLanes] = {};
    int first[kChainLanes] = {}, count[kChainLanes] = {};
    int longestFirst = 0, mostBoundaries = 0;
    for (int l = 0; l < lanes; ++l) {
      value[l] = chains[l].start;
      step[l] = chains[l].step;
      first[l] = chains[l].first;
      count[l] = chains[l].count;
      longestFirst = std::max(longestFirst, first[l]);
      mostBoundaries = std::max(mostBoundaries, count[l]);
    }
    // Each lane stops adding once it has reached its first boundary.
    for (int i = 0; i < longestFirst; ++i)
      for (int l = 0; l < kChainLanes; ++l) value[l] = i < first[l] ? value[l] + step[l] : value[l];
    for (int l = 0; l < lanes; ++l) store(chains[l], 0, value[l]);
    for (int boundary = 1; boundary < mostBoundaries; ++boundary) {
      for (int i = 0; i < bandRows_; ++i)
        for (int l = 0; l < kChainLanes; ++l) value[l] += step[l];
      for (int l = 0; l < lanes; ++l)
        if (boundary < count[l]) store(chains[l], boundary, value[l]);
    }
  }

  int bandRows_;
  int width_;
  WeightChain chains_[kChainBatch];
  int pending_ = 0;
};

// The boundaries K with from < Y(K) < to ... as a first K and a count.
struct BoundaryRange {
  int first, count;
};

BoundaryRange boundariesInside(const BandLayout& layout, int fromRow, int toRow) {
  // Y(K) = K * bandRows + 1 for K = 1 ... count - 1.
  int first = std::max(1, (fromRow - 1) / layout.bandRows + 1);
  int last = std::min(layout.count - 1, (toRow - 2) / layout.bandRows);
  if (toRow - 2 < 0) last = 0;
  return {first, last >= first ? last - first + 1 : 0};
}

// The run of column line x over rows runStart ... runEnd, which crosses one boundary or more.
void planCrossingRun(const BandFrame& f, int x, int runStart, int runEnd, ChainRunner& chains) {
  const auto pixel = [&](int row) { return static_cast<Index>(row) * f.width + x; };
  int start = runStart, len = runEnd - runStart + 1;
  // As for any run: its first pixel is dropped when it is the line's first.
  if (start == 0) {
    start = 1;
    --len;
  }
  const LineGeometry g{nullptr,    f.edges,    static_cast<Index>(f.width) * f.height, 1, f.width, x == 0 ? 0 : -1,
                       EDGE_RIGHT, EDGE_BELOW};
  const RunEnds ends = findRunEnds(g, pixel(start), pixel(runEnd), len);

  VerticalCrossing crossing{};
  const EndPoint* points[] = {&ends.p1, &ends.p2, &ends.p3, &ends.p4};
  for (int n = 0; n < 4; ++n) {
    crossing.row[n] = static_cast<int32_t>(points[n]->index / f.width);
    crossing.height[n] = points[n]->height;
    if (points[n]->found) crossing.found |= 1u << n;
  }
  // The boundaries the run crosses: its rows hold Y(K) - 1 and Y(K).
  const BoundaryRange crossed = boundariesInside(f.layout, runStart, runEnd + 1);
  for (int k = 0; k < crossed.count; ++k) f.crossing(crossed.first + k, x) = crossing;

  int slot = 0;
  forEachBlendOfRun(ends, g.lineStride, f.flags, [&](Index a, Index b, float h0, float h1, Index across, bool sameSide) {
    const BlendShape shape = blendShapeOf(a, b, h0, h1, g.alongStep, across, sameSide);
    const auto rowOf = [&](Index index) { return static_cast<int>(index / f.width); };
    // A band that begins after a half's first pixel and no later than its last needs the
    // weight at its first row.
    const auto chain = [&](float start, float step, int firstRow, int endRow) {
      const BoundaryRange inside = boundariesInside(f.layout, firstRow, endRow);
      if (inside.count == 0) return;
      const int firstBoundary = f.layout.rowBegin(inside.first);
      chains.add(WeightChain{start, step, firstBoundary - firstRow, inside.count, &f.crossing(inside.first, x), slot});
    };
    chain(shape.t0, shape.r0, rowOf(shape.a2), rowOf(shape.firstHalfEnd));
    if (shape.secondFirst <= shape.b2) chain(shape.w0, shape.step, rowOf(shape.secondFirst), rowOf(shape.b2) + 1);
    ++slot;
  });
}

}  // namespace

RunEnds endsOf(const VerticalCrossing& crossing, int width, int x) {
  RunEnds ends;
  EndPoint* points[] = {&ends.p1, &ends.p2, &ends.p3, &ends.p4};
  for (int n = 0; n < 4; ++n)
    *points[n] = EndPoint{(crossing.found >> n & 1u) != 0, static_cast<Index>(crossing.row[n]) * width + x,
                          crossing.height[n]};
  return ends;
}

void planVerticalCrossings(const BandFrame& f, int lineBegin, int lineEnd) {
  const BandLayout& layout = f.layout;
  if (layout.count <= 1) return;
  ChainRunner chains(layout.bandRows, f.width);
  for (int x = lineBegin; x < lineEnd; ++x) {
    int lastRun = -1;  // the last row of the run planned last: its later boundaries are done
    for (int boundary = 1; boundary < layout.count; ++boundary) {
      const int y = layout.rowBegin(boundary);
      if (y <= lastRun || !f.columnBits.at(x, y - 1) || !f.columnBits.at(x, y)) continue;
      const int runStart = f.columnBits.previousClear(x, y - 1) + 1;
      lastRun = f.columnBits.nextClear(x, y) - 1;
      planCrossingRun(f, x, runStart, lastRun, chains);
    }
  }
}

}  // namespace qov::aa::detail
