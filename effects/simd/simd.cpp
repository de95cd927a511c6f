// Processor feature detection and the QOV_SIMD cap.
#include "effects/simd/simd.h"

#include <atomic>
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

Level cappedByVariable() {
  Level cap = processorLevel();
  levelFromName(std::getenv(kCapVariable), &cap);
  return capped(processorLevel(), cap);
}

// The levels are worked out on first use and kept in atomics (-1 until then), not in
// guarded function-local statics: a child forked while another thread of its parent was
// inside a static's first initialisation would wait for that guard for ever. Threads that
// make the first call together each work the level out and store the same value.
std::atomic<int> gProcessorLevel{-1};
std::atomic<int> gActiveLevel{-1};

Level once(std::atomic<int>& slot, Level (*workOut)()) {
  int level = slot.load(std::memory_order_acquire);
  if (level < 0) {
    level = static_cast<int>(workOut());
    slot.store(level, std::memory_order_release);
  }
  return static_cast<Level>(level);
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

Level processorLevel() { return once(gProcessorLevel, detect); }

bool supports(Level level) {
  for (Level known : kLevels)
    if (known == level) return static_cast<int>(level) <= static_cast<int>(processorLevel());
  return false;
}

Level activeLevel() { return once(gActiveLevel, cappedByVariable); }

}  // namespace qov::simd
