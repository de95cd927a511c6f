// Which pixels of a frame the blending passes may write, in chunks of 16 along each row, so
// that the Strength mix reads and writes only those.
//
// A blend writes the pixels of its run and their partners across the edge: along row y, the
// run's pixels (which have EDGE_BELOW) and the pixels below them; down column x, the run's
// pixels (EDGE_RIGHT) and those to their right; Thin Lines writes pixels whose previous
// line has the pass bit there, that is the pixel above (along a row) or to the left (down a
// column). So a pixel is left as it was unless its own edge word, the one above it or the one
// to its left has an edge bit; a chunk is left as it was when no word of it, of the chunk
// before it on its row or of the chunk above it has one. Such a chunk of the working copy
// holds the input's colours, and the Strength mix would give the input back unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qov::aa::detail {

inline constexpr int kChunkPixels = 16;

// Words of chunk marks a row of `width` pixels takes: bit k of word k / 64 for chunk k,
// pixels [16k, 16k + 16), which detection sets when some edge word of the chunk has an edge
// bit.
inline int chunkWordsFor(int width) {
  constexpr int kChunksPerWord = 64;  // bits of a word
  const int chunks = (width + kChunkPixels - 1) / kChunkPixels;
  return (chunks + kChunksPerWord - 1) / kChunksPerWord;
}

// Word w of the chunks of a row that the blends may write, from the marks of the row (own)
// and of the row above it (above; null on the first row).
inline uint64_t touchedChunkWord(const uint64_t* own, const uint64_t* above, int w) {
  constexpr int kLastBit = 63;
  const uint64_t lastBefore = w > 0 ? own[w - 1] >> kLastBit : 0;
  return own[w] | (own[w] << 1) | lastBefore | (above != nullptr ? above[w] : 0);
}

// The marks of the chunks of pixels [64w, 64w + 64) of a row, from its marks `rowChunks`:
// 0 when none of them has an edge bit.
inline uint64_t marksOfPixelWord(const uint64_t* rowChunks, int w) {
  constexpr int kBits = 64;
  constexpr int kChunksPerPixelWord = kBits / kChunkPixels;
  constexpr int kPixelWordsPerMarkWord = kBits / kChunksPerPixelWord;
  return (rowChunks[w / kPixelWordsPerMarkWord] >> (w % kPixelWordsPerMarkWord * kChunksPerPixelWord)) &
         ((1u << kChunksPerPixelWord) - 1);
}

}  // namespace qov::aa::detail
