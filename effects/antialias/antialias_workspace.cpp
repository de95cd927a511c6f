// The antialiasing effect's working memory.
#include "effects/antialias/antialias_workspace.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <thread>

#include "effects/antialias/band_layout.h"
#include "effects/antialias/edge_chunks.h"
#include "effects/antialias/mlaa_bands.h"
#include "effects/memory/aligned_memory.h"

namespace qov::aa {
namespace {

constexpr std::size_t kWorkBytesPerPixel = 4;
// Every pass indexes pixels and bytes with ptrdiff_t.
constexpr std::size_t kMaxWorkBytes = static_cast<std::size_t>(PTRDIFF_MAX);
// Rows below the last full block of 8 at most.
constexpr std::size_t kTailRows = detail::kBlockLines - 1;

// a * b, or 0 when it would not fit a size_t.
std::size_t product(std::size_t a, std::size_t b) { return b != 0 && a > SIZE_MAX / b ? 0 : a * b; }

}  // namespace

AntialiasWorkspace::~AntialiasWorkspace() { release(); }

void AntialiasWorkspace::release() {
  alignedFree(edgeBuffer_);
  alignedFree(columnBits_);
  alignedFree(edgeChunks_);
  alignedFree(rightMasks_);
  alignedFree(crossings_);
  alignedFree(tailRows_);
  alignedFree(bandCopies_);
  edgeBuffer_ = nullptr;
  columnBits_ = nullptr;
  edgeChunks_ = nullptr;
  rightMasks_ = nullptr;
  crossings_ = nullptr;
  crossingCapacity_ = 0;
  tailRows_ = nullptr;
  bandCopies_ = nullptr;
  bandCopyBytes_ = 0;
  bandCopyCount_ = 0;
  bandCopyTaken_.reset();
  bandRows_ = 0;
  width_ = 0;
  height_ = 0;
}

bool AntialiasWorkspace::allocate(int width, int height) {
  return allocate(width, height, width < 0 || height < 0 ? detail::kBandAlignment : detail::bandRowsFor(width, height));
}

bool AntialiasWorkspace::allocate(int width, int height, int bandRows) {
  release();
  if (width < 0 || height < 0 || bandRows < detail::kBandAlignment || bandRows % detail::kBandAlignment != 0)
    return false;
  const auto w = static_cast<std::size_t>(width);
  const std::size_t pixels = product(w, static_cast<std::size_t>(height));
  if (width != 0 && height != 0 && pixels == 0) return false;
  if (pixels > kMaxWorkBytes / kWorkBytesPerPixel) return false;
  const std::size_t bytes = pixels * kWorkBytesPerPixel;
  const std::size_t rowBytes = w * kWorkBytesPerPixel;

  // The bands of frames of this size; smaller frames that fit use the same band rows, so they
  // have no more bands and no wider copies.
  const detail::BandLayout layout = detail::bandLayoutFor(height, bandRows);
  const unsigned hardwareThreads = std::max(1u, std::thread::hardware_concurrency());
  bandCopyCount_ = std::min(hardwareThreads, static_cast<unsigned>(layout.count));
  bandCopyBytes_ = detail::bandMemoryBytesFor(width, layout);
  crossingCapacity_ = detail::crossingSlotsFor(width, layout);
  const std::size_t copiesBytes = product(bandCopyBytes_, bandCopyCount_);
  const std::size_t crossingBytes = product(crossingCapacity_, sizeof(detail::VerticalCrossing));
  const std::size_t columnBytes = product(detail::columnBitWordsFor(width, height), sizeof(uint64_t));
  const std::size_t chunkBytes =
      product(product(static_cast<std::size_t>(detail::chunkWordsFor(width)), static_cast<std::size_t>(height)),
              sizeof(uint64_t));
  if ((bandCopyBytes_ != 0 && copiesBytes == 0) || (crossingCapacity_ != 0 && crossingBytes == 0)) {
    release();
    return false;
  }

  edgeBuffer_ = alignedAlloc(bytes);
  columnBits_ = reinterpret_cast<uint64_t*>(alignedAlloc(columnBytes));
  edgeChunks_ = reinterpret_cast<uint64_t*>(alignedAlloc(chunkBytes));
  rightMasks_ = alignedAlloc(detail::rightMaskBytesFor(width, height));
  crossings_ = reinterpret_cast<detail::VerticalCrossing*>(alignedAlloc(crossingBytes));
  tailRows_ = alignedAlloc(rowBytes * kTailRows);
  bandCopies_ = alignedAlloc(copiesBytes);
  bandCopyTaken_.reset(new (std::nothrow) parallel::ClaimFlag[bandCopyCount_]);
  if (edgeBuffer_ == nullptr || columnBits_ == nullptr || edgeChunks_ == nullptr || rightMasks_ == nullptr ||
      crossings_ == nullptr || tailRows_ == nullptr || bandCopies_ == nullptr || bandCopyTaken_ == nullptr) {
    release();
    return false;
  }
  std::memset(edgeBuffer_, 0, bytes);
  bandRows_ = bandRows;
  width_ = width;
  height_ = height;
  return true;
}

bool detail::allocateWithBandRows(AntialiasWorkspace& workspace, int width, int height, int bandRows) {
  return workspace.allocate(width, height, bandRows);
}

void detail::fillBandMemory(AntialiasWorkspace& workspace, uint8_t byte) {
  if (workspace.bandCopies_ != nullptr)
    std::memset(workspace.bandCopies_, byte, workspace.bandCopyBytes_ * workspace.bandCopyCount_);
  if (workspace.rightMasks_ != nullptr)
    std::memset(workspace.rightMasks_, byte, detail::rightMaskBytesFor(workspace.width_, workspace.height_));
}

bool AntialiasWorkspace::fits(int width, int height) const {
  return width >= 1 && height >= 1 && width <= width_ && height <= height_;
}

}  // namespace qov::aa
