// The Strength mix of the input frame and the antialiased image: the `plus` row kernels of
// the chosen composition level, over bands of rows.
#include "effects/antialias/strength_blend.h"

#include <cstddef>

#include "effects/antialias/compose_internal.h"
#include "effects/parallel/chunking.h"

namespace qov::aa {
namespace {

constexpr int kFull = 255;
constexpr unsigned kByteMask = 0xFFu;
// Bytes of output in one band of rows that a thread claims from the pool.
constexpr std::size_t kBandBytes = parallel::kChunkBytes;

}  // namespace

void strengthCrossFade(uint8_t* output, const uint8_t* input, const uint8_t* antialiased,
                       int width, int height, int channels, int strength8,
                       parallel::WorkerPool* pool) {
  const int alpha2 = static_cast<int>(static_cast<unsigned>(strength8) & kByteMask);
  const int alpha1 = kFull - alpha2;
  const bool fourBytes = channels == kPixelBytes4;
  // Both depths cross-fade with `plus`: (255 - s)*P + s*Q never exceeds 255*255. 4-byte pixels
  // take byte 3 from the input.
  const ComposeKernels& kernels = composeKernels();
  const ComposeRow crossFade = fourBytes ? kernels.crossFade4 : kernels.plus3;

  // Rows are packed and every byte is independent, so a band of rows is one long row, and
  // bands are mixed wherever the pool runs them.
  const std::size_t rowBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
  const std::size_t bandRows = rowBytes >= kBandBytes ? 1 : kBandBytes / rowBytes;
  parallel::forEachChunk(pool, static_cast<std::size_t>(height), bandRows, [&](std::size_t begin, std::size_t end) {
    const std::size_t offset = begin * rowBytes;
    crossFade(input + offset, antialiased + offset, output + offset, (end - begin) * rowBytes, alpha1, alpha2);
  });
}

void strengthCrossFadePixels4(uint8_t* output, const uint8_t* input, const uint8_t* antialiased, std::size_t count,
                              int strength8) {
  const int alpha2 = static_cast<int>(static_cast<unsigned>(strength8) & kByteMask);
  composeKernels().crossFade4(input, antialiased, output, count * kPixelBytes4, kFull - alpha2, alpha2);
}

void strengthCrossFadeBytes(uint8_t* output, const uint8_t* input, const uint8_t* antialiased, std::size_t bytes,
                            int strength8) {
  const int alpha2 = static_cast<int>(static_cast<unsigned>(strength8) & kByteMask);
  // The 3-byte kernel mixes every byte it is given, whatever the pixel size.
  composeKernels().plus3(input, antialiased, output, bytes, kFull - alpha2, alpha2);
}

}  // namespace qov::aa
