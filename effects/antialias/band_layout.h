// How the frame pipeline cuts a frame into bands of rows, and why each band can be antialiased
// on its own, in any order or all at once, with the bytes of the serial order.
//
// The serial order (mlaa.cpp) blends the horizontal pass line by line in blocks of 8 lines,
// every even block before any odd one; line L reads rows L-1, L and L+1 of the image and
// writes rows L and L+1 (its searches read edge words, which never change). Then the
// vertical pass, whose every blend at row y reads and writes row y only.
//
// Band k owns the rows [Y(k), Y(k+1)), where Y(0) = 0, Y(k) = k * bandRows + 1 and the last
// band ends at the frame's height; bandRows is a multiple of 16, so every inner boundary
// Y(k) - 1 is the first line of an even block. The band blends the horizontal lines
// L0 = Y(k) - 1 ... L1 = Y(k+1) - 1 (from line 0 in the first band, to the frame's last line
// in the last) on its own copy of the rows L0 - 1 ... L1 + 1, in the serial order restricted
// to them: its even-block lines, then its odd-block lines. Each of those lines sees the rows
// it reads as the serial order has them:
//   - a row it reads was last written, before it in the serial order, by one of the lines
//     L-2 ... L+1; L0 is the first line of an even block, so L0 - 1 and L0 - 2 are odd-block
//     lines that come after every even one, and L0 + 1 comes after L0 in the same block;
//     L1 is the first line of an even block too, so L1 + 1 comes after it. Every earlier
//     writer of a row that a band line reads is therefore a band line itself, and the rows
//     no band line has written yet hold the unblended colours the copy starts from.
//   - the rows the band owns, L0 + 1 ... L1, are written last by lines L0 ... L1, all band
//     lines, so they end as the serial order leaves them.
// Neighbouring bands share one line (L1 of one is L0 of the next) and three rows of their
// copies, each band blending them again in its own copy. The vertical pass then needs only
// the band's own rows, since each of its blends stays in one row; a vertical run that
// crosses a boundary is searched once for the whole frame beforehand, and each band blends
// the part of it in its rows, with the weights the run has reached there (mlaa_bands.h).
#pragma once

#include <algorithm>
#include <cstddef>

#include "effects/parallel/chunking.h"

namespace qov::aa::detail {

// Rows that bands are multiples of: an even and an odd block of 8 lines.
inline constexpr int kBandAlignment = 16;
// A band's working copy: about a core's L2 cache (1 MiB on current x86 cores). Half that
// kept the copy in L2 beside the band's edge words and the rows of input and output that
// pass through, but made twice the bands, and with them twice the runs that cross a band
// boundary and are planned and blended in pieces: on a 2-core AVX-512 machine the full
// megabyte took 5-15% less time per frame (photographs at 1920x1080 and 3840x2160, noise),
// the last-level cache catching what L2 does not hold.
inline constexpr std::size_t kBandCopyBytes = 1024 * 1024;
// Bands a frame is cut into at least, where its size allows, so that threads that start late
// or run slower still find work.
inline constexpr int kMinBands = 4;

struct BandLayout {
  int height = 0;
  int bandRows = kBandAlignment;  // a multiple of kBandAlignment
  int count = 1;                  // bands; count - 1 inner boundaries

  // The rows the band owns, [rowBegin, rowEnd).
  int rowBegin(int band) const { return band == 0 ? 0 : band * bandRows + 1; }
  int rowEnd(int band) const { return band + 1 == count ? height : (band + 1) * bandRows + 1; }
  // The horizontal lines the band blends, [firstLine, lastLine] (none when last < first).
  int firstLine(int band) const { return std::max(0, rowBegin(band) - 1); }
  int lastLine(int band) const { return std::min(rowEnd(band) - 1, height - 2); }
  // The rows of its working copy, [copyBegin, copyEnd).
  int copyBegin(int band) const { return std::max(0, rowBegin(band) - 2); }
  int copyEnd(int band) const { return std::min(height, rowEnd(band) + 1); }
  // Rows of working copy a band needs at most.
  int copyRows() const { return bandRows + 3; }
};

// Bands of `bandRows` rows (a multiple of kBandAlignment) over a frame of `height` rows.
inline BandLayout bandLayoutFor(int height, int bandRows) {
  BandLayout layout;
  layout.height = height;
  layout.bandRows = bandRows;
  layout.count = height <= 1 ? 1 : (height - 1 + bandRows - 1) / bandRows;
  return layout;
}

// The rows of a band for frames of this size: a working copy of about kBandCopyBytes, or less
// where the frame would have fewer than kMinBands bands, but never less than a pool's chunk
// of pixels, so that small frames stay in one band.
inline int bandRowsFor(int width, int height) {
  const auto roundDown = [](std::size_t rows) { return static_cast<int>(rows / kBandAlignment * kBandAlignment); };
  const std::size_t w = static_cast<std::size_t>(std::max(width, 1));
  const int fitsCache = roundDown(kBandCopyBytes / (4 * w));
  const int balanced = roundDown(static_cast<std::size_t>(std::max(height - 1, 0)) / kMinBands);
  const int chunk = roundDown((parallel::kChunkPixels + w - 1) / w + kBandAlignment - 1);
  return std::max({kBandAlignment, chunk, std::min(fitsCache, balanced)});
}

}  // namespace qov::aa::detail
