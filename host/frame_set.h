// A frame set as a host builds it for function code 16: its own slot records pointing at
// the host's images, one output, and empty records past the counts.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/boundary.h"

namespace qov::host {

class FrameSet {
 public:
  // Inputs and the output are width x height pixels of `channels` bytes, owned by the
  // caller; at most 16 inputs. The output may be one of the inputs (in place).
  FrameSet(uint32_t width, uint32_t height, uint32_t channels, const std::vector<const uint8_t*>& inputs,
           uint8_t* output) {
    assign(width, height, channels, inputs, output);
  }
  FrameSet() = default;  // no images yet: both counts 0
  FrameSet(const FrameSet&) = delete;  // the record points at this object's own slots
  FrameSet& operator=(const FrameSet&) = delete;

  // Points the set at other images, reusing its records.
  void assign(uint32_t width, uint32_t height, uint32_t channels, const std::vector<const uint8_t*>& inputs,
              uint8_t* output);

  Qov_Multi* get() { return &multi_; }
  ImageSlot& input(uint32_t index) { return inputs_[index]; }
  ImageSlot& output() { return outputs_[0]; }

 private:
  ImageSlot inputs_[kMaxSlots] = {};
  ImageSlot outputs_[kMaxSlots] = {};
  Qov_Multi multi_ = {};
};

}  // namespace qov::host
