// Processor feature detection for the vector kernels.
#include "effects/simd/cpu_level.h"

namespace qov::simd {
namespace {

Level detect() {
#if defined(__i386__) || defined(__x86_64__) || defined(_M_IX86) || defined(_M_X64)
  __builtin_cpu_init();
  // AVX-512BW kernels also use AVX-512VL forms; the operating system must save the
  // wide registers, which __builtin_cpu_supports takes into account.
  if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
      __builtin_cpu_supports("avx512f"))
    return Level::avx512bw;
  if (__builtin_cpu_supports("avx2")) return Level::avx2;
  if (__builtin_cpu_supports("sse2")) return Level::sse2;
#endif
  return Level::scalar;
}

}  // namespace

Level highestLevel() {
  // A function-local static is initialised exactly once, also under concurrent first use.
  static const Level level = detect();
  return level;
}

bool supports(Level level) { return static_cast<int>(level) <= static_cast<int>(highestLevel()); }

const char* levelName(Level level) {
  switch (level) {
    case Level::scalar: return "scalar";
    case Level::sse2: return "sse2";
    case Level::avx2: return "avx2";
    case Level::avx512bw: return "avx512bw";
  }
  return "unknown";
}

}  // namespace qov::simd
