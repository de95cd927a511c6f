// A frame's rows into the working layout and back into the frame, mixed by Strength.
#include "effects/antialias/frame_rows.h"

#include <cstring>

#include "effects/antialias/pixel_convert.h"
#include "effects/antialias/strength_blend.h"

namespace qov::aa::detail {
namespace {

constexpr uint32_t kColourMask = 0x00FFFFFFu;  // the three colour bytes of a little-endian pixel word
constexpr uint8_t kFullStrength8 = 255;
// Pixels converted back into the frame's layout at a time, in a buffer on the stack, before
// they are mixed into the output.
constexpr std::size_t kPiecePixels = 1024;

// The copy loop stays out of line: inlined into the row walk, GCC leaves it unvectorised, at
// three times the instructions per pixel.
[[gnu::noinline]] void copyWithoutAlpha(const uint8_t* input, uint8_t* work, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    uint32_t pixel;
    std::memcpy(&pixel, input + kWorkBytes * i, kWorkBytes);
    pixel &= kColourMask;
    std::memcpy(work + kWorkBytes * i, &pixel, kWorkBytes);
  }
}

// Any other layout, one pixel at a time.
void reorderToWork(const uint8_t* input, uint8_t* work, std::size_t count, const PixelLayout& layout,
                   bool keepFourth) {
  const std::size_t c = static_cast<std::size_t>(layout.channels);
  for (std::size_t i = 0; i < count; ++i) {
    const uint8_t* pixel = input + c * i;
    uint8_t* const w = work + kWorkBytes * i;
    w[0] = pixel[layout.blue];
    w[1] = pixel[layout.green];
    w[2] = pixel[layout.red];
    w[3] = keepFourth ? pixel[layout.fourth] : 0;
  }
}

void pixelsToWork(const uint8_t* in, uint8_t* work, std::size_t count, const PixelLayout& layout, bool keepFourth) {
  if (layout == kNativeLayout4 && keepFourth)
    std::memcpy(work, in, kWorkBytes * count);
  else if (layout == kNativeLayout4)
    copyWithoutAlpha(in, work, count);
  else if (layout == kNativeLayout3)
    simd::chosen<kConvertLevels>().kernel->expand3(in, work, count);
  else
    reorderToWork(in, work, count, layout, keepFourth);
}

// Working pixels in any other layout, the fourth byte the input's, so that mixing every byte
// with the input leaves that byte as it was.
void reorderFromWork(const uint8_t* work, const uint8_t* input, uint8_t* out, std::size_t count,
                     const PixelLayout& layout) {
  const std::size_t c = static_cast<std::size_t>(layout.channels);
  for (std::size_t i = 0; i < count; ++i) {
    const uint8_t* w = work + kWorkBytes * i;
    uint8_t* const pixel = out + c * i;
    if (layout.channels == 4) pixel[layout.fourth] = input[c * i + static_cast<std::size_t>(layout.fourth)];
    pixel[layout.blue] = w[0];
    pixel[layout.green] = w[1];
    pixel[layout.red] = w[2];
  }
}

// The colour bytes of the working pixels with the fourth byte of the input's: the Strength
// mix at full strength, where (0 x a + 255 x b + 127) / 255 is b. Out of line for the same
// reason as copyWithoutAlpha.
[[gnu::noinline]] void coloursOverInput(const uint8_t* in, const uint8_t* work, uint8_t* out, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    uint32_t pixel, colour;
    std::memcpy(&pixel, in + kWorkBytes * i, kWorkBytes);
    std::memcpy(&colour, work + kWorkBytes * i, kWorkBytes);
    pixel = (pixel & ~kColourMask) | (colour & kColourMask);
    std::memcpy(out + kWorkBytes * i, &pixel, kWorkBytes);
  }
}

// `count` pixels of one row (or of rows packed back to back).
void mixPixels(const FrameRows& f, const uint8_t* in, uint8_t* out, const uint8_t* work, std::size_t count,
               uint8_t strength8) {
  const PixelLayout& layout = f.layout;
  if (strength8 == kFullStrength8) {
    // The antialiased colours as they are, in the frame's layout: no mixing with the input.
    if (layout == kNativeLayout4)
      coloursOverInput(in, work, out, count);
    else if (layout == kNativeLayout3)
      simd::chosen<kConvertLevels>().kernel->pack3(work, out, count);
    else
      reorderFromWork(work, in, out, count, layout);
    return;
  }
  if (layout == kNativeLayout4) {
    strengthCrossFadePixels4(out, in, work, count, strength8);
    return;
  }
  const std::size_t channels = static_cast<std::size_t>(layout.channels);
  const ConvertKernels& convert = *simd::chosen<kConvertLevels>().kernel;
  alignas(16) uint8_t piece[kPiecePixels * kWorkBytes];
  for (std::size_t done = 0; done < count; done += kPiecePixels) {
    const std::size_t n = count - done < kPiecePixels ? count - done : kPiecePixels;
    const uint8_t* const from = in + done * channels;
    const uint8_t* const w = work + kWorkBytes * done;
    if (layout == kNativeLayout3)
      convert.pack3(w, piece, n);
    else
      reorderFromWork(w, from, piece, n, layout);
    strengthCrossFadeBytes(out + done * channels, from, piece, n * channels, strength8);
  }
}

}  // namespace

void rowsToWork(const FrameRows& f, int begin, int end, bool keepFourth, uint8_t* work) {
  if (begin >= end) return;
  if (f.inputPacked()) {
    pixelsToWork(f.inputRow(begin), work, static_cast<std::size_t>(end - begin) * static_cast<std::size_t>(f.width),
                 f.layout, keepFourth);
    return;
  }
  for (int y = begin; y < end; ++y)
    pixelsToWork(f.inputRow(y), work + static_cast<std::size_t>(y - begin) * f.workRowBytes(),
                 static_cast<std::size_t>(f.width), f.layout, keepFourth);
}

void mixRowsIntoOutput(const FrameRows& f, int begin, int end, const uint8_t* work, uint8_t strength8) {
  if (begin >= end) return;
  if (f.inputPacked() && f.outputPacked()) {
    mixPixels(f, f.inputRow(begin), f.outputRow(begin), work,
              static_cast<std::size_t>(end - begin) * static_cast<std::size_t>(f.width), strength8);
    return;
  }
  for (int y = begin; y < end; ++y)
    mixPixels(f, f.inputRow(y), f.outputRow(y), work + static_cast<std::size_t>(y - begin) * f.workRowBytes(),
              static_cast<std::size_t>(f.width), strength8);
}

void mixRowSpanIntoOutput(const FrameRows& f, int y, int begin, int end, const uint8_t* work, uint8_t strength8) {
  if (begin >= end) return;
  const std::size_t channels = static_cast<std::size_t>(f.layout.channels), x = static_cast<std::size_t>(begin);
  mixPixels(f, f.inputRow(y) + x * channels, f.outputRow(y) + x * channels, work + x * kWorkBytes,
            static_cast<std::size_t>(end - begin), strength8);
}

void copyRowSpan(const FrameRows& f, int y, int begin, int end) {
  if (begin >= end || f.output == f.input) return;
  const std::size_t channels = static_cast<std::size_t>(f.layout.channels), x = static_cast<std::size_t>(begin);
  std::memcpy(f.outputRow(y) + x * channels, f.inputRow(y) + x * channels,
              static_cast<std::size_t>(end - begin) * channels);
}

void copyRows(const FrameRows& f, int begin, int end) {
  if (begin >= end || f.output == f.input) return;
  if (f.inputPacked() && f.outputPacked()) {
    std::memcpy(f.outputRow(begin), f.inputRow(begin), static_cast<std::size_t>(end - begin) * f.rowBytes());
    return;
  }
  for (int y = begin; y < end; ++y) std::memcpy(f.outputRow(y), f.inputRow(y), f.rowBytes());
}

}  // namespace qov::aa::detail
