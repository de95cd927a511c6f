// The Strength mix of the input frame and the antialiased image.
#include "effects/antialias/strength_blend.h"

#include <climits>
#include <cstddef>
#include <cstring>

#include "effects/antialias/compose.h"

namespace qov::aa {
namespace {

constexpr int kRgbChannels = 3;
constexpr int kRgbaChannels = 4;
constexpr int kFull = 255;
constexpr unsigned kByteMask = 0xFFu;

}  // namespace

int strengthBlend(uint8_t* output, const uint8_t* input, const uint8_t* antialiased,
                  int width, int height, int channels, int strength8) {
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
  if (copyInput && !compositionWritesAll)
    std::memcpy(output, input,
                static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                    static_cast<std::size_t>(channels));

  const uint8_t alpha2 = static_cast<uint8_t>(static_cast<unsigned>(strength8) & kByteMask);
  const uint8_t alpha1 = static_cast<uint8_t>(kFull - alpha2);
  const int step = width * rowChannels;
  // Both depths cross-fade with `plus`: (255 - s)*P + s*Q never exceeds 255*255, so the
  // colour of identical images comes back unchanged at every strength.
  if (channels == kRgbaChannels)
    return composeConstAlpha4(input, step, alpha1, antialiased, step, alpha2, output, step,
                              width, height, COMPOSE_PLUS);
  return composeConstAlpha3(input, step, alpha1, antialiased, step, alpha2, output, step,
                            width, height, COMPOSE_PLUS);
}

}  // namespace qov::aa
