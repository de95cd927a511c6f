// Building a host's frame set.
#include "host/frame_set.h"

namespace qov::host {
namespace {

ImageSlot filledSlot(const uint8_t* data, uint32_t width, uint32_t height, uint32_t channels) {
  return ImageSlot{kFormatInterleaved8, channels, const_cast<uint8_t*>(data), width, height, nullptr, 0, 0};
}

constexpr ImageSlot kEmptySlot = {kFormatEmpty, 0, nullptr, 0, 0, nullptr, 0, 0};

}  // namespace

void FrameSet::assign(uint32_t width, uint32_t height, uint32_t channels,
                      const std::vector<const uint8_t*>& inputs, uint8_t* output) {
  multi_.numInputs = static_cast<uint32_t>(inputs.size());
  multi_.numOutputs = 1;
  for (uint32_t i = 0; i < kMaxSlots; ++i) {
    inputs_[i] = i < inputs.size() ? filledSlot(inputs[i], width, height, channels) : kEmptySlot;
    outputs_[i] = i == 0 ? filledSlot(output, width, height, channels) : kEmptySlot;
    multi_.inputs[i] = &inputs_[i];
    multi_.outputs[i] = &outputs_[i];
  }
}

}  // namespace qov::host
