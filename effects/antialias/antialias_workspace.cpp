// The antialiasing effect's working memory.
#include "effects/antialias/antialias_workspace.h"

#include <cstdint>
#include <cstring>

#include "effects/memory/aligned_memory.h"

namespace qov::aa {
namespace {

constexpr std::size_t kWorkBytesPerPixel = 4;
// Every pass indexes pixels and bytes with ptrdiff_t.
constexpr std::size_t kMaxWorkBytes = static_cast<std::size_t>(PTRDIFF_MAX);

}  // namespace

AntialiasWorkspace::~AntialiasWorkspace() { release(); }

void AntialiasWorkspace::release() {
  alignedFree(workFrame_);
  alignedFree(edgeBuffer_);
  workFrame_ = nullptr;
  edgeBuffer_ = nullptr;
  width_ = 0;
  height_ = 0;
}

bool AntialiasWorkspace::allocate(int width, int height) {
  release();
  if (width < 0 || height < 0) return false;
  const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  if (width != 0 && pixels / static_cast<std::size_t>(width) != static_cast<std::size_t>(height)) return false;
  if (pixels > kMaxWorkBytes / kWorkBytesPerPixel) return false;
  const std::size_t bytes = pixels * kWorkBytesPerPixel;
  workFrame_ = alignedAlloc(bytes);
  edgeBuffer_ = alignedAlloc(bytes);
  if (workFrame_ == nullptr || edgeBuffer_ == nullptr) {
    release();
    return false;
  }
  std::memset(workFrame_, 0, bytes);
  std::memset(edgeBuffer_, 0, bytes);
  width_ = width;
  height_ = height;
  return true;
}

bool AntialiasWorkspace::fits(int width, int height) const {
  return width >= 1 && height >= 1 && width <= width_ && height <= height_;
}

}  // namespace qov::aa
