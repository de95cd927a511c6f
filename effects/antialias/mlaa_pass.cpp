// The blending passes: blocks of lines in their order, runs of edge pixels on each line, and
// the choice of blends for each run. Everything here runs on the calling thread in a fixed
// order, because every blend works in place and later blends read what earlier ones wrote.
#include <algorithm>

#include "effects/antialias/mlaa_internal.h"

namespace qov::aa::detail {
namespace {

constexpr int kWordsPerScan = 4;  // run starts are looked for four edge words at a time

// The first index in [from, last] on a row whose edge word has EDGE_BELOW (the sign bit),
// or last + 1. Four words are tested at once; only a group with a hit is searched word by word.
Index nextBelowOnRow(const uint8_t* edges, Index from, Index last) {
  Index i = from;
  for (; i + kWordsPerScan - 1 <= last; i += kWordsPerScan) {
    const uint32_t any = loadWord(edges, i) | loadWord(edges, i + 1) | loadWord(edges, i + 2) |
                         loadWord(edges, i + 3);
    if (any & EDGE_BELOW) break;
  }
  for (; i <= last; ++i)
    if (loadWord(edges, i) & EDGE_BELOW) return i;
  return last + 1;
}

Index nextPassBitOnLine(const LineGeometry& g, Index from, Index last) {
  Index i = from;
  while (i <= last && !(loadWord(g.edges, i) & g.passBit)) i += g.alongStep;
  return i;
}

// Finds and handles the runs of one line, first to last (inclusive, alongStep apart).
void blendLine(const LineGeometry& g, Index first, Index last, bool rowLine, uint32_t flags) {
  const Index s = g.alongStep;
  Index i = first;
  while (i <= last) {
    const Index start = rowLine ? nextBelowOnRow(g.edges, i, last) : nextPassBitOnLine(g, i, last);
    if (start > last) break;
    Index end = start;
    while (end + s <= last && (loadWord(g.edges, end + s) & g.passBit)) end += s;
    handleRun(g, first, start, end, flags);
    i = end + s;
  }
}

int lineEnd(int block, int lineCount) {
  return std::min(kBlockLines * block + kBlockLines, lineCount - 1);
}

}  // namespace

void handleRun(const LineGeometry& g, Index lineFirst, Index start, Index end, uint32_t flags) {
  const Index s = g.alongStep;
  int len = static_cast<int>((end - start) / s) + 1;
  if (len == 1) {
    blendOnePixelRun(g.image, start, g.lineStride);
    return;
  }
  // The searches look one pixel before the start, which must stay on the line.
  if (start == lineFirst) {
    start += s;
    --len;
  }
  if (flags & MLAA_THIN_LINES) softenThinLine(g, start - s, end);

  RunEnds e = findRunEnds(g, start, end, len);
  if (flags & MLAA_USE_HALF) e.p1.height = e.p2.height = e.p3.height = e.p4.height = kHalf;

  const bool zShape = false, uShape = true;
  bool zDone = false;
  if (e.p1.found && e.p4.found && e.p4.index > e.p1.index) {
    blendRun(g.image, e.p1.index, e.p4.index, e.p1.height, e.p4.height, s, g.lineStride, zShape);
    zDone = true;
  }
  if (e.p3.found && e.p2.found && e.p2.index > e.p3.index) {
    blendRun(g.image, e.p3.index, e.p2.index, e.p3.height, e.p2.height, s, -g.lineStride, zShape);
    zDone = true;
  }
  if (zDone) return;
  if (e.p1.found && e.p2.found && e.p2.index > e.p1.index)
    blendRun(g.image, e.p1.index, e.p2.index, e.p1.height, e.p2.height, s, g.lineStride, uShape);
  if (e.p3.found && e.p4.found && e.p4.index > e.p3.index)
    blendRun(g.image, e.p3.index, e.p4.index, e.p3.height, e.p4.height, s, -g.lineStride, uShape);
}

int blockForStep(int j, int n) {
  const int evenBlocks = (n + 1) / 2;
  return j < evenBlocks ? 2 * j : 2 * (j - evenBlocks) + 1;
}

void blendHorizontalBlock(uint8_t* image, const uint8_t* edges, int width, int height,
                          int block, uint32_t flags) {
  const Index pixelCount = static_cast<Index>(width) * height;
  for (int y = kBlockLines * block; y < lineEnd(block, height); ++y) {
    // Row 0 has no previous row; the row itself takes its place.
    const LineGeometry g{image,     edges,     pixelCount, width, 1, y == 0 ? 0 : -width,
                         EDGE_BELOW, EDGE_RIGHT};
    const Index first = static_cast<Index>(y) * width;
    blendLine(g, first, first + width - 1, true, flags);
  }
}

void blendVerticalBlock(uint8_t* image, const uint8_t* edges, int width, int height, int block,
                        uint32_t flags) {
  const Index pixelCount = static_cast<Index>(width) * height;
  for (int x = kBlockLines * block; x < lineEnd(block, width); ++x) {
    const LineGeometry g{image,      edges,     pixelCount, 1, width, x == 0 ? 0 : -1,
                         EDGE_RIGHT, EDGE_BELOW};
    blendLine(g, x, x + static_cast<Index>(height - 1) * width, false, flags);
  }
}

}  // namespace qov::aa::detail
