// Heap blocks aligned for the effects' vector loads, with the platform's aligned allocator.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qov {

inline constexpr std::size_t kBufferAlignment = 64;  // a cache line; more than any vector load needs

// Returns an aligned block of at least `bytes` bytes (a valid, distinct block also for 0),
// or null when the memory cannot be had. Release with alignedFree.
uint8_t* alignedAlloc(std::size_t bytes);
void alignedFree(void* block);

}  // namespace qov
