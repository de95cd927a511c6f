// Bytes of heap memory in use by the whole process, for tests that check that memory stays
// flat: the sanitizer allocator's own count under AddressSanitizer, glibc's count
// otherwise (with every thread on one arena, so that the count covers all threads).
#pragma once

#include <cstddef>

namespace qov::test {

// Call once, before any thread is started.
void prepareHeapAccounting();

// Heap bytes allocated and not yet released, all threads together.
std::size_t heapBytesInUse();

}  // namespace qov::test
