// The fork generation that claim flags hold, and the fork handler that counts it.
#include "effects/parallel/claim_flag.h"

#if !defined(_WIN32)
#include <pthread.h>
#endif

namespace qov::parallel {

std::atomic<uint32_t> detail::gForkGeneration{0};

#if !defined(_WIN32)
namespace {

// In the child, while it has no other thread.
void countFork() { detail::gForkGeneration.fetch_add(1, std::memory_order_relaxed); }

// Registered as this copy of the library is loaded, before any flag can be taken; the C
// library drops the handler again when the library is unloaded. Should registering fail (no
// memory), a flag inherited taken stays taken, as it would without the count.
[[maybe_unused]] const bool gForksCounted = pthread_atfork(nullptr, nullptr, countFork) == 0;

}  // namespace
#endif

}  // namespace qov::parallel
