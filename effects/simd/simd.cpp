// Processor feature detection and the QOV_SIMD cap.
#include "effects/simd/simd.h"

#include <cstdlib>
#include <cstring>

namespace qov::simd {
namespace {

constexpr const char* kCapVariable = "QOV_SIMD";

Level detect() {
#if QOV_SIMD_X86
  __builtin_cpu_init();
  // The AVX-512 kernels also use AVX-512VL forms; the operating system must save the wide
  // registers, which __builtin_cpu_supports takes into account (it reports no AVX-512
  // feature, VNNI included, unless XCR0 shows the opmask and upper register states saved).
  // VNNI is CPUID leaf 7, ECX bit 11.
  const bool avx512 = __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
                      __builtin_cpu_supports("avx512f");
  if (avx512 && __builtin_cpu_supports("avx512vnni")) return Level::avx512vnni;
  if (avx512) return Level::avx512;
  if (__builtin_cpu_supports("avx2")) return Level::avx2;
  if (__builtin_cpu_supports("sse2")) return Level::sse2;
#elif QOV_SIMD_NEON
  return Level::neon;
#endif
  return Level::scalar;
}

Level capped(Level level, Level cap) {
  return static_cast<int>(cap) < static_cast<int>(level) ? cap : level;
}

}  // namespace

const char* levelName(Level level) {
  switch (level) {
    case Level::scalar: return "scalar";
    case Level::sse2: return "sse2";
    case Level::avx2: return "avx2";
    case Level::avx512: return "avx512";
    case Level::avx512vnni: return "avx512vnni";
    case Level::neon: return "neon";
  }
  return "unknown";
}

bool levelFromName(const char* name, Level* level) {
  if (name == nullptr) return false;
  for (Level candidate : kLevels)
    if (std::strcmp(name, levelName(candidate)) == 0) {
      *level = candidate;
      return true;
    }
  return false;
}

Level processorLevel() {
  static const Level level = detect();
  return level;
}

bool supports(Level level) {
  for (Level known : kLevels)
    if (known == level) return static_cast<int>(level) <= static_cast<int>(processorLevel());
  return false;
}

Level activeLevel() {
  static const Level level = [] {
    Level cap = processorLevel();
    levelFromName(std::getenv(kCapVariable), &cap);
    return capped(processorLevel(), cap);
  }();
  return level;
}

}  // namespace qov::simd
