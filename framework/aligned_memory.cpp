// Aligned allocation: _aligned_malloc on Windows, posix_memalign elsewhere.
#include "framework/aligned_memory.h"

#include <cstdlib>
#if defined(_WIN32)
#include <malloc.h>
#endif

namespace qov {

uint8_t* alignedAlloc(std::size_t bytes) {
  // Round up so that an empty frame still gets a real block (a null `data` means "no
  // image" to the frame set) and no allocator sees a size that is not a multiple of the
  // alignment.
  std::size_t rounded = (bytes + kBufferAlignment - 1) / kBufferAlignment * kBufferAlignment;
  if (rounded < bytes) return nullptr;  // overflow
  if (rounded == 0) rounded = kBufferAlignment;
#if defined(_WIN32)
  return static_cast<uint8_t*>(_aligned_malloc(rounded, kBufferAlignment));
#else
  void* block = nullptr;
  if (posix_memalign(&block, kBufferAlignment, rounded) != 0) return nullptr;
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
