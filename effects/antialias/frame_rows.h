// Rows of a frame in any pixel layout and row stride, to and from the working layout the
// antialiasing passes read: four bytes per pixel, B, G, R and the fourth byte, rows packed.
// The frame pipeline moves a band of rows at a time through these, in whichever thread has
// the band.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/antialias/pixel_layout.h"

namespace qov::aa::detail {

inline constexpr int kWorkBytes = 4;  // bytes of a working pixel

// One frame as the pipeline sees it.
struct FrameRows {
  const uint8_t* input;
  std::ptrdiff_t inputStride;
  uint8_t* output;
  std::ptrdiff_t outputStride;
  int width;
  int height;
  PixelLayout layout;

  std::size_t rowBytes() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(layout.channels); }
  std::size_t workRowBytes() const { return static_cast<std::size_t>(width) * kWorkBytes; }
  bool inputPacked() const { return static_cast<std::size_t>(inputStride) == rowBytes(); }
  bool outputPacked() const { return static_cast<std::size_t>(outputStride) == rowBytes(); }
  const uint8_t* inputRow(int y) const { return input + static_cast<std::ptrdiff_t>(y) * inputStride; }
  uint8_t* outputRow(int y) const { return output + static_cast<std::ptrdiff_t>(y) * outputStride; }
};

// The input's rows [begin, end) into `work` in the working layout; the fourth byte is the
// input's with keepFourth (4 channels only), 0 otherwise.
void rowsToWork(const FrameRows& f, int begin, int end, bool keepFourth, uint8_t* work);

// The output's rows [begin, end): the input's colours mixed with those of `work` (the
// antialiased rows in the working layout) by strength8, the fourth byte the input's. With the
// output the input itself (in place), each row is read before it is written.
void mixRowsIntoOutput(const FrameRows& f, int begin, int end, const uint8_t* work, uint8_t strength8);

// Pixels [begin, end) of row y of the output, as mixRowsIntoOutput gives them; `work` is
// the row's first working pixel.
void mixRowSpanIntoOutput(const FrameRows& f, int y, int begin, int end, const uint8_t* work, uint8_t strength8);

// Pixels [begin, end) of row y of the input copied to the output (nothing in place).
void copyRowSpan(const FrameRows& f, int y, int begin, int end);

// The input's rows [begin, end) copied to the output (nothing in place).
void copyRows(const FrameRows& f, int begin, int end);

}  // namespace qov::aa::detail
