// The instruction-set levels that the effects' vector kernels are written for, and the
// one question each kernel family asks once: which levels does this processor run?
#pragma once

namespace qov::simd {

enum class Level : int {
  scalar = 0,    // plain C++, the reference of every kernel
  sse2 = 1,      // 16-byte vectors; always present on x86-64
  avx2 = 2,      // 32-byte vectors
  avx512bw = 3,  // 64-byte vectors with byte and word operations
};

// The highest level that both this build and this processor support. Detected once;
// safe to call from several threads at the same time.
Level highestLevel();

// Whether this build and this processor can run code of the given level.
bool supports(Level level);

const char* levelName(Level level);

}  // namespace qov::simd
