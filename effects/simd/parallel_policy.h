// When the effects' per-frame passes use OpenMP threads besides the calling thread.
//
// The passes over whole frames (the working copy, the Strength mix, the matte rule, the
// edge painting) are limited by memory: one thread with vector code comes within about
// 1.1-1.5x a memcpy of the frame. Splitting them over a team is faster on an idle machine,
// but a parallel region ends only when every thread of its team has run, and on a 2-core
// machine where another process (or the host itself) keeps a core busy that wait dominates:
// QovMLAA1 took 33 ms for a 1920x1080 frame instead of 11 ms, its edge painting 15-23 ms
// instead of 8 ms, and the matte pass 4-30 ms instead of 0.4 ms. A host playing live is
// rarely idle, so the passes stay on the calling thread. The splits remain in the code,
// tested and benchmarked, behind this one limit.
#pragma once

#include <cstddef>
#include <limits>

namespace qov::simd {

inline constexpr std::size_t kMinParallelBytes = std::numeric_limits<std::size_t>::max();

inline bool splitAcrossThreads(std::size_t bytes) { return bytes >= kMinParallelBytes; }

}  // namespace qov::simd
