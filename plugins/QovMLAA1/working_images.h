// The antialiasing plug-in's per-instance working images, in both editions: a working copy
// of the frame at four bytes per pixel and MLAA's edge buffer of the same size, allocated
// and zero-filled once for the instance's frame size and reused by every frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "effects/memory/aligned_memory.h"
#include "framework/frame_size.h"

namespace qov::mlaa1 {

class WorkingImages {
 public:
  static constexpr uint32_t kBytesPerPixel = 4;

  WorkingImages() = default;
  WorkingImages(const WorkingImages&) = delete;
  WorkingImages& operator=(const WorkingImages&) = delete;
  ~WorkingImages() { release(); }

  // Both images for width x height pixels, zero-filled; false, holding none, when their
  // size does not fit memory or the memory cannot be had.
  bool allocate(uint32_t width, uint32_t height) {
    release();
    if (!frameBytesFit(width, height, kBytesPerPixel, SIZE_MAX)) return false;
    const std::size_t bytes = std::size_t{width} * height * kBytesPerPixel;
    workFrame_ = alignedAlloc(bytes);
    edgeBuffer_ = alignedAlloc(bytes);
    if (workFrame_ == nullptr || edgeBuffer_ == nullptr) {
      release();
      return false;
    }
    std::memset(workFrame_, 0, bytes);
    std::memset(edgeBuffer_, 0, bytes);
    return true;
  }

  uint8_t* workFrame() const { return workFrame_; }
  uint8_t* edgeBuffer() const { return edgeBuffer_; }

 private:
  void release() {
    alignedFree(workFrame_);
    alignedFree(edgeBuffer_);
    workFrame_ = nullptr;
    edgeBuffer_ = nullptr;
  }

  uint8_t* workFrame_ = nullptr;
  uint8_t* edgeBuffer_ = nullptr;
};

}  // namespace qov::mlaa1
