// Aligned allocation: _aligned_malloc on Windows, posix_memalign elsewhere.
//
// Frame-sized blocks on Linux are also aligned to 2 MiB and offered to the kernel for
// transparent huge pages: the antialiasing passes walk columns of the working images, one
// row (several KiB) per step, and with 4 KiB pages nearly every step misses the address
// translation cache. Huge pages make those walks markedly cheaper; where the kernel declines,
// nothing changes.
#include "effects/memory/aligned_memory.h"

#include <cstdlib>
#if defined(_WIN32)
#include <malloc.h>
#elif defined(__linux__)
#include <sys/mman.h>
#endif

namespace qov {
namespace {

#if defined(__linux__) && defined(MADV_HUGEPAGE)
constexpr std::size_t kHugePageSize = std::size_t{2} << 20;
#endif

std::size_t roundUp(std::size_t bytes, std::size_t alignment) {
  const std::size_t rounded = (bytes + alignment - 1) / alignment * alignment;
  return rounded < bytes ? 0 : rounded;  // 0 on overflow
}

}  // namespace

uint8_t* alignedAlloc(std::size_t bytes) {
  // An empty frame still gets a real block (a null `data` means "no image" to the frame
  // set), and no allocator sees a size that is not a multiple of the alignment.
  std::size_t alignment = kBufferAlignment;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (bytes >= kHugePageSize) alignment = kHugePageSize;
#endif
  std::size_t rounded = roundUp(bytes, alignment);
  if (rounded == 0 && bytes != 0) return nullptr;
  if (rounded == 0) rounded = alignment;
#if defined(_WIN32)
  return static_cast<uint8_t*>(_aligned_malloc(rounded, alignment));
#else
  void* block = nullptr;
  if (posix_memalign(&block, alignment, rounded) != 0) return nullptr;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (alignment == kHugePageSize) madvise(block, rounded, MADV_HUGEPAGE);
#endif
  return static_cast<uint8_t*>(block);
#endif
}

void alignedFree(void* block) {
#if defined(_WIN32)
  _aligned_free(block);
#else
  std::free(block);
#endif
}

}  // namespace qov
