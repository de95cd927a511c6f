// The Strength mix of the input frame and the antialiased image.
#include "effects/antialias/strength_blend.h"

#include <atomic>
#include <climits>
#include <cstddef>
#include <cstring>

#include "effects/antialias/compose.h"
#include "effects/parallel/chunking.h"

namespace qov::aa {
namespace {

constexpr int kRgbChannels = 3;
constexpr int kRgbaChannels = 4;
constexpr int kFull = 255;
constexpr unsigned kByteMask = 0xFFu;
// Bytes of output in one band of rows that a thread claims from the pool.
constexpr std::size_t kBandBytes = parallel::kChunkBytes;

}  // namespace

int strengthBlend(uint8_t* output, const uint8_t* input, const uint8_t* antialiased,
                  int width, int height, int channels, int strength8, parallel::WorkerPool* pool) {
  const int rowChannels = channels == kRgbaChannels ? kRgbaChannels : kRgbChannels;
  // A row that does not fit the composition's int step cannot be a real frame.
  if (width > INT_MAX / rowChannels) return COMPOSE_BAD_SIZE;

  const bool sizeValid = width >= 1 && height >= 1;
  const bool copyInput = (channels == kRgbChannels || channels == kRgbaChannels) &&
                         output != input && output != nullptr && input != nullptr && sizeValid;
  // With 3 channels the composition overwrites every byte of the output, so the copy only
  // shows when the composition fails (the output then holds the input). It is skipped when
  // the composition cannot fail: its pointers are all set and the size is valid.
  const bool compositionWritesAll = channels == kRgbChannels && antialiased != nullptr;
  const bool copyFirst = copyInput && !compositionWritesAll;

  const uint8_t alpha2 = static_cast<uint8_t>(static_cast<unsigned>(strength8) & kByteMask);
  const uint8_t alpha1 = static_cast<uint8_t>(kFull - alpha2);
  const int step = width * rowChannels;
  // Both depths cross-fade with `plus`: (255 - s)*P + s*Q never exceeds 255*255, so the
  // colour of identical images comes back unchanged at every strength.
  const auto compose = channels == kRgbaChannels ? composeConstAlpha4 : composeConstAlpha3;

  if (!sizeValid || output == nullptr || input == nullptr || antialiased == nullptr) {
    // The composition's own checks decide the status.
    if (copyFirst)
      std::memcpy(output, input,
                  static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                      static_cast<std::size_t>(channels));
    return compose(input, step, alpha1, antialiased, step, alpha2, output, step, width, height, COMPOSE_PLUS);
  }

  // Rows are independent, so bands of them are mixed wherever the pool runs them. With a
  // copy, channels is 4 and a row of the copy is a row of the composition.
  const std::size_t rowBytes = static_cast<std::size_t>(step);
  const std::size_t bandRows = rowBytes >= kBandBytes ? 1 : kBandBytes / rowBytes;
  std::atomic<int> status{COMPOSE_OK};
  parallel::forEachChunk(pool, static_cast<std::size_t>(height), bandRows, [&](std::size_t begin, std::size_t end) {
    const std::size_t offset = begin * rowBytes;
    const int rows = static_cast<int>(end - begin);
    if (copyFirst) std::memcpy(output + offset, input + offset, (end - begin) * rowBytes);
    const int bandStatus = compose(input + offset, step, alpha1, antialiased + offset, step, alpha2,
                                   output + offset, step, width, rows, COMPOSE_PLUS);
    if (bandStatus != COMPOSE_OK) status.store(bandStatus, std::memory_order_relaxed);
  });
  return status.load(std::memory_order_relaxed);
}

}  // namespace qov::aa
