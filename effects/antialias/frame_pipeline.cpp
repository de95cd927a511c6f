// The antialiasing frame pipeline: the working copy in the effect's own layout, MLAA, and the
// Strength mix back into the frame's layout.
#include "effects/antialias/frame_pipeline.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "effects/antialias/mlaa.h"
#include "effects/antialias/pixel_convert.h"
#include "effects/antialias/strength_blend.h"
#include "effects/parallel/chunking.h"

namespace qov::aa {

namespace detail {
struct WorkspaceAccess {
  static uint8_t* workFrame(AntialiasWorkspace& workspace) { return workspace.workFrame_; }
  static uint8_t* edgeBuffer(AntialiasWorkspace& workspace) { return workspace.edgeBuffer_; }
};
}  // namespace detail

namespace {

constexpr float kStrengthScale = 255.0f;
constexpr int kWorkBytes = 4;                   // bytes of a working pixel: B, G, R, fourth
constexpr uint32_t kColourMask = 0x00FFFFFFu;  // the three colour bytes of a little-endian pixel word
// Pixels converted back into the frame's layout at a time, in a buffer on the stack, before
// they are mixed into the output.
constexpr std::size_t kPiecePixels = 1024;
// Pixels of one chunk of a per-pixel pass that a thread claims from the pool (64 KiB of
// working image): every pixel is independent, so the cut does not show in the bytes.
constexpr std::size_t kSpanChunkPixels = parallel::kChunkPixels;

// One frame as the per-pixel passes see it.
struct Frame {
  const uint8_t* input;
  std::ptrdiff_t inputStride;
  uint8_t* output;
  std::ptrdiff_t outputStride;
  int width;
  int height;
  PixelLayout layout;

  std::size_t rowBytes() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(layout.channels); }
  std::size_t pixels() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height); }
  bool inputPacked() const { return static_cast<std::size_t>(inputStride) == rowBytes(); }
  bool bothPacked() const { return inputPacked() && static_cast<std::size_t>(outputStride) == rowBytes(); }
  // The bytes from the first pixel to the last of a frame with this stride.
  std::size_t extent(std::ptrdiff_t stride) const {
    return static_cast<std::size_t>(height - 1) * static_cast<std::size_t>(stride) + rowBytes();
  }
};

// Consecutive pixels of one row, or of several when the rows they cross are packed: the
// first pixel's index in the working image and its byte offsets in the input and output.
struct Span {
  std::size_t pixel;
  std::size_t count;
  std::ptrdiff_t inputOffset;
  std::ptrdiff_t outputOffset;
};

// body(span) over every pixel of the frame, on the pool. Packed frames are one long row cut
// into chunks of pixels; padded ones go a band of rows per chunk, each row a span of its own.
template <class Body>
void forEachSpan(parallel::WorkerPool* pool, const Frame& f, bool packed, const Body& body) {
  const auto channels = static_cast<std::ptrdiff_t>(f.layout.channels);
  if (packed) {
    parallel::forEachChunk(pool, f.pixels(), kSpanChunkPixels, [&](std::size_t begin, std::size_t end) {
      const auto offset = static_cast<std::ptrdiff_t>(begin) * channels;
      body(Span{begin, end - begin, offset, offset});
    });
    return;
  }
  const auto width = static_cast<std::size_t>(f.width);
  const std::size_t bandRows = std::max<std::size_t>(1, kSpanChunkPixels / width);
  parallel::forEachChunk(pool, static_cast<std::size_t>(f.height), bandRows, [&](std::size_t begin, std::size_t end) {
    for (std::size_t y = begin; y < end; ++y) {
      const auto row = static_cast<std::ptrdiff_t>(y);
      body(Span{y * width, width, row * f.inputStride, row * f.outputStride});
    }
  });
}

bool overlapOtherThanInPlace(const Frame& f) {
  if (f.output == f.input) return f.outputStride != f.inputStride;
  const auto in = reinterpret_cast<std::uintptr_t>(f.input);
  const auto out = reinterpret_cast<std::uintptr_t>(f.output);
  return in < out + f.extent(f.outputStride) && out < in + f.extent(f.inputStride);
}

// --- the working copy: B, G, R and the fourth byte (0 unless it counts as an edge) ----------

// The copy loop stays out of line: inlined into the span walk below, GCC leaves it
// unvectorised, at three times the instructions per pixel.
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

void makeWorkingCopy(const Frame& f, uint8_t* work, bool useAlpha, parallel::WorkerPool* pool) {
  const PixelLayout& layout = f.layout;
  const bool keepFourth = useAlpha && layout.channels == 4;
  const ConvertKernels& convert = *simd::chosen<kConvertLevels>().kernel;
  forEachSpan(pool, f, f.inputPacked(), [&](const Span& s) {
    const uint8_t* in = f.input + s.inputOffset;
    uint8_t* const w = work + kWorkBytes * s.pixel;
    if (layout == kNativeLayout4 && keepFourth)
      std::memcpy(w, in, kWorkBytes * s.count);
    else if (layout == kNativeLayout4)
      copyWithoutAlpha(in, w, s.count);
    else if (layout == kNativeLayout3)
      convert.expand3(in, w, s.count);
    else
      reorderToWork(in, w, s.count, layout, keepFourth);
  });
}

// --- back into the frame's layout --------------------------------------------------------------

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

void mixIntoOutput(const Frame& f, const uint8_t* work, uint8_t strength8, parallel::WorkerPool* pool) {
  const PixelLayout& layout = f.layout;
  if (f.bothPacked() && layout == kNativeLayout4) {
    strengthCrossFade(f.output, f.input, work, f.width, f.height, layout.channels, strength8, pool);
    return;
  }
  // Everything else goes back a piece at a time, in whichever thread mixes it: no pass over
  // the whole frame converts it first.
  const std::size_t channels = static_cast<std::size_t>(layout.channels);
  const ConvertKernels& convert = *simd::chosen<kConvertLevels>().kernel;
  forEachSpan(pool, f, f.bothPacked(), [&](const Span& s) {
    alignas(16) uint8_t piece[kPiecePixels * kWorkBytes];
    for (std::size_t done = 0; done < s.count; done += kPiecePixels) {
      const std::size_t n = s.count - done < kPiecePixels ? s.count - done : kPiecePixels;
      const uint8_t* in = f.input + s.inputOffset + static_cast<std::ptrdiff_t>(done * channels);
      const uint8_t* w = work + kWorkBytes * (s.pixel + done);
      if (layout == kNativeLayout3)
        convert.pack3(w, piece, n);
      else
        reorderFromWork(w, in, piece, n, layout);
      strengthCrossFadeBytes(f.output + s.outputOffset + static_cast<std::ptrdiff_t>(done * channels), in, piece,
                             n * channels, strength8);
    }
  });
}

void copyFrame(const Frame& f, parallel::WorkerPool* pool) {
  if (f.output == f.input) return;
  if (f.bothPacked()) {
    std::memcpy(f.output, f.input, f.pixels() * static_cast<std::size_t>(f.layout.channels));
    return;
  }
  forEachSpan(pool, f, false, [&](const Span& s) {
    std::memcpy(f.output + s.outputOffset, f.input + s.inputOffset, s.count * static_cast<std::size_t>(f.layout.channels));
  });
}

}  // namespace

uint8_t strength8FromStrength(float strength) {
  if (std::isnan(strength) || strength <= 0.0f) return 0;
  if (strength >= 1.0f) return 255;
  return static_cast<uint8_t>(static_cast<int>(strength * kStrengthScale));
}

uint32_t mlaaFlagsFor(const AntialiasSettings& settings) {
  return (settings.useHalf ? MLAA_USE_HALF : 0u) | (settings.visualize ? MLAA_VISUALIZE : 0u) |
         (settings.thinLines ? MLAA_THIN_LINES : 0u);
}

bool antialiasFrame(const uint8_t* input, std::ptrdiff_t inputStride, uint8_t* output, std::ptrdiff_t outputStride,
                    int width, int height, const PixelLayout& layout, const AntialiasSettings& settings,
                    AntialiasWorkspace& workspace, parallel::WorkerPool* pool) {
  if (width < 1 || height < 1) return true;
  const Frame f{input, inputStride, output, outputStride, width, height, layout};
  if (input == nullptr || output == nullptr || !isValidLayout(layout)) return false;
  if (inputStride < 0 || outputStride < 0 || static_cast<std::size_t>(inputStride) < f.rowBytes() ||
      static_cast<std::size_t>(outputStride) < f.rowBytes())
    return false;
  if (overlapOtherThanInPlace(f) || !workspace.fits(width, height)) return false;

  const uint8_t strength8 = strength8FromStrength(settings.strength);
  if (strength8 == 0) {
    copyFrame(f, pool);
    return true;
  }
  uint8_t* const work = detail::WorkspaceAccess::workFrame(workspace);
  makeWorkingCopy(f, work, settings.useAlpha, pool);
  runMLAA(work, detail::WorkspaceAccess::edgeBuffer(workspace), width, height, mlaaFlagsFor(settings), pool);
  mixIntoOutput(f, work, strength8, pool);
  return true;
}

}  // namespace qov::aa
