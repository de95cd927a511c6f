// The working memory of the antialiasing effect: what one instance (one video stream) needs
// to antialias its frames, taken once for the frame size and reused by every frame.
// Callers only allocate it and hand it to antialiasFrame; what it holds is the effect's own.
#pragma once

#include <cstdint>

namespace qov::aa {

namespace detail {
struct WorkspaceAccess;
}

class AntialiasWorkspace {
 public:
  AntialiasWorkspace() = default;
  AntialiasWorkspace(const AntialiasWorkspace&) = delete;
  AntialiasWorkspace& operator=(const AntialiasWorkspace&) = delete;
  ~AntialiasWorkspace();

  // Working memory for frames of width x height pixels, replacing any held before. Never
  // throws: false, holding nothing, when the size is negative, does not fit the address
  // space or the memory cannot be had.
  bool allocate(int width, int height);

  // True when frames of width x height pixels (both 1 or more) can be antialiased with it:
  // neither side exceeds the size it was allocated for.
  bool fits(int width, int height) const;

 private:
  friend struct detail::WorkspaceAccess;
  void release();

  // A working copy of the frame at four bytes per pixel and MLAA's edge words, both
  // zero-filled when taken.
  uint8_t* workFrame_ = nullptr;
  uint8_t* edgeBuffer_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace qov::aa
