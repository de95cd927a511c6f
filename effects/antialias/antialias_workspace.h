// The working memory of the antialiasing effect: what one instance (one video stream) needs
// to antialias its frames, taken once for the frame size and reused by every frame.
// Callers only allocate it and hand it to antialiasFrame; what it holds is the effect's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "effects/parallel/claim_flag.h"

namespace qov::aa {

class AntialiasWorkspace;

namespace detail {
struct WorkspaceAccess;
struct VerticalCrossing;

// Working memory whose frames go in bands of `bandRows` rows (a multiple of 16, band_layout.h)
// whatever their size, so that the tests can cut small frames into many bands.
bool allocateWithBandRows(AntialiasWorkspace& workspace, int width, int height, int bandRows);

// Fills the bands' working memory and the right masks with `byte`, so that the tests see
// whatever a frame reads of them without having written it.
void fillBandMemory(AntialiasWorkspace& workspace, uint8_t byte);
}  // namespace detail

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
  friend bool detail::allocateWithBandRows(AntialiasWorkspace&, int, int, int);
  friend void detail::fillBandMemory(AntialiasWorkspace&, uint8_t);
  bool allocate(int width, int height, int bandRows);
  void release();

  // MLAA's edge words of the whole frame (zero-filled when taken), the column bits of its
  // vertical pass, and the vertical runs that cross a boundary between bands.
  uint8_t* edgeBuffer_ = nullptr;
  uint64_t* columnBits_ = nullptr;
  // Which chunks of each row of edge words have edge bits (edge_chunks.h).
  uint64_t* edgeChunks_ = nullptr;
  // The EDGE_RIGHT bits as detection finds them, from which the column bits are gathered
  // (mlaa_internal.h's right masks).
  uint8_t* rightMasks_ = nullptr;
  detail::VerticalCrossing* crossings_ = nullptr;
  std::size_t crossingCapacity_ = 0;
  // The frame's rows below its last full block of 8, which detection never examines and
  // whose edge words hold no colour, in the working layout.
  uint8_t* tailRows_ = nullptr;
  // The rows of a band (band_layout.h), chosen for the size allocated; working copies of
  // bands, one for each band that may be in hand at once, and which are taken (a copy that a
  // thread of the parent held when this process forked is free here: claim_flag.h).
  int bandRows_ = 0;
  uint8_t* bandCopies_ = nullptr;
  std::size_t bandCopyBytes_ = 0;
  unsigned bandCopyCount_ = 0;
  std::unique_ptr<parallel::ClaimFlag[]> bandCopyTaken_;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace qov::aa
