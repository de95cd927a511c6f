// Heap accounting for the reliability tests.
#include "tests/reliability/heap_usage.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QOV_SANITIZER_HEAP 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QOV_SANITIZER_HEAP 1
#endif

#if defined(QOV_SANITIZER_HEAP)
// The sanitizer runtimes' allocator statistics (GCC ships no header for them).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace qov::test {

void prepareHeapAccounting() {
#if !defined(QOV_SANITIZER_HEAP)
  // glibc's statistics cover the main arena only; with a single arena they cover every thread.
  mallopt(M_ARENA_MAX, 1);
#endif
}

namespace {
// Before main, so that no thread has an arena of its own yet.
const bool kPrepared = (prepareHeapAccounting(), true);
}  // namespace

std::size_t heapBytesInUse() {
  (void)kPrepared;
#if defined(QOV_SANITIZER_HEAP)
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;  // small blocks in use + blocks mapped on their own
#endif
}

}  // namespace qov::test
