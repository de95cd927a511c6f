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
inline constexpr int kMarkBits = 64;  // marks of a word of chunk marks, pixels of a word of row bits

// Words of chunk marks a row of `width` pixels takes: bit k of word k / 64 for chunk k,
// pixels [16k, 16k + 16), which detection sets when some edge word of the chunk has an edge
// bit.
inline int chunkWordsFor(int width) {
  const int chunks = (width + kChunkPixels - 1) / kChunkPixels;
  return (chunks + kMarkBits - 1) / kMarkBits;
}

// Row y's marks among those of a frame `width` pixels wide.
template <class Word>  // uint64_t, const or not
inline Word* chunkRowOf(Word* chunks, int width, int y) {
  return chunks + static_cast<std::ptrdiff_t>(y) * chunkWordsFor(width);
}

// Word w of the chunks of a row that the blends may write, from the marks of the row (own)
// and of the row above it (above; null on the first row).
inline uint64_t touchedChunkWord(const uint64_t* own, const uint64_t* above, int w) {
  const uint64_t lastBefore = w > 0 ? own[w - 1] >> (kMarkBits - 1) : 0;
  return own[w] | (own[w] << 1) | lastBefore | (above != nullptr ? above[w] : 0);
}

// The marks of the chunks of pixels [64w, 64w + 64) of a row, from its marks `rowChunks`:
// 0 when none of them has an edge bit.
inline uint64_t marksOfPixelWord(const uint64_t* rowChunks, int w) {
  constexpr int kChunksPerPixelWord = kMarkBits / kChunkPixels;
  constexpr int kPixelWordsPerMarkWord = kMarkBits / kChunksPerPixelWord;
  return (rowChunks[w / kPixelWordsPerMarkWord] >> (w % kPixelWordsPerMarkWord * kChunksPerPixelWord)) &
         ((1u << kChunksPerPixelWord) - 1);
}

}  // namespace qov::aa::detail
