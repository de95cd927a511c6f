// The instruction-set levels of the effects' vector kernels, the guards that say whether
// this build has x86 or AArch64 (NEON) kernels at all, and the way every kernel family picks
// its level.
//
// A kernel family has one table of {level, kernel} entries, lowest level first, in which the
// entries of levels this build lacks are left out under QOV_SIMD_X86 and QOV_SIMD_NEON:
//
//     inline constexpr simd::Entry<RowKernel> kRowKernels[] = {
//         {simd::Level::scalar, scalar::row},
//     #if QOV_SIMD_X86
//         {simd::Level::sse2, sse2::row},
//         {simd::Level::avx2, avx2::row},
//     #endif
//     #if QOV_SIMD_NEON
//         {simd::Level::neon, neon::row},
//     #endif
//     };
//
// The effect calls simd::chosen<kRowKernels>().kernel, the highest entry that the processor
// runs and the QOV_SIMD cap allows, picked once; tests and benchmarks take the entry of an
// exact level with simd::kernelAt(kRowKernels, level). A new level for a family is its kernel
// file and one line in its table.
#pragma once

#include <atomic>
#include <cstddef>
#include <type_traits>

// GCC and Clang on i386 and x86-64 (MinGW included) define __i386__ / __x86_64__; MSVC
// defines _M_IX86 / _M_X64.
#if defined(__i386__) || defined(__x86_64__) || defined(_M_IX86) || defined(_M_X64)
#define QOV_SIMD_X86 1
#else
#define QOV_SIMD_X86 0
#endif

// GCC and Clang on AArch64 define __aarch64__; MSVC defines _M_ARM64. NEON (Advanced SIMD) is
// part of every AArch64 processor, so this level needs no run-time test.
#if defined(__aarch64__) || defined(_M_ARM64)
#define QOV_SIMD_NEON 1
#else
#define QOV_SIMD_NEON 0
#endif

namespace qov::simd {

enum class Level : int {
  scalar = 0,  // plain C++, the reference of every kernel
  sse2 = 1,    // 16-byte vectors; part of every x86 build's baseline
  avx2 = 2,    // 32-byte vectors
  avx512 = 3,  // 64-byte vectors: AVX-512 F, BW (byte and word operations) and VL
  // avx512 and VNNI, the dot products of four byte pairs (or two word pairs) added to a
  // 32-bit lane in one instruction. Families without an entry of their own run their avx512
  // kernel here.
  avx512vnni = 4,
  // AArch64's 16-byte vectors. Levels of different architectures are never compared: a build
  // knows the levels of its own architecture only (kLevels).
  neon = 5,
};

// The levels of this build's architecture, lowest first.
#if QOV_SIMD_X86
inline constexpr Level kLevels[] = {Level::scalar, Level::sse2, Level::avx2, Level::avx512, Level::avx512vnni};
#elif QOV_SIMD_NEON
inline constexpr Level kLevels[] = {Level::scalar, Level::neon};
#else
inline constexpr Level kLevels[] = {Level::scalar};
#endif

// "scalar", "sse2", "avx2", "avx512", "avx512vnni" or "neon".
const char* levelName(Level level);

// The level of kLevels named `name` (the names QOV_SIMD takes in this build); false (and
// *level untouched) for any other text, a level of another architecture, or null.
bool levelFromName(const char* name, Level* level);

// The highest level this processor (and its operating system) runs. Detected once.
Level processorLevel();

// Whether this processor runs code of `level` (false for levels of other architectures).
bool supports(Level level);

// The highest level kernels may use: the processor's, lowered to the level named by the
// environment variable QOV_SIMD when that names a lower one (an unknown value is ignored).
// Read once, when the first kernel family chooses; safe under concurrent first calls.
Level activeLevel();

template <class Kernel>
struct Entry {
  Level level;
  Kernel kernel;
};

// The highest entry of `table` (lowest level first, the first entry scalar) at or below `limit`.
template <class Kernel, std::size_t N>
const Entry<Kernel>& highestEntry(const Entry<Kernel> (&table)[N], Level limit) {
  static_assert(N > 0, "a kernel family needs its scalar entry");
  const Entry<Kernel>* best = &table[0];
  for (const Entry<Kernel>& entry : table)
    if (static_cast<int>(entry.level) <= static_cast<int>(limit)) best = &entry;
  return *best;
}

// The family's entry for this process: chosen on the first call, then returned as is. It is
// kept in an atomic pointer rather than a guarded static, so that a child forked while
// another thread was making the first call does not wait for that thread; threads that
// make the first call together each choose, and store the same entry.
template <const auto& table>
const auto& chosen() {
  using EntryType = std::remove_reference_t<decltype(table[0])>;
  static std::atomic<EntryType*> entry{nullptr};
  EntryType* found = entry.load(std::memory_order_acquire);
  if (found == nullptr) {
    found = &highestEntry(table, activeLevel());
    entry.store(found, std::memory_order_release);
  }
  return *found;
}

// The kernel of exactly `level`, or a null kernel when the table has no entry of that level
// or the processor does not run it. The QOV_SIMD cap does not apply: tests and benchmarks
// reach every level this way.
template <class Kernel, std::size_t N>
Kernel kernelAt(const Entry<Kernel> (&table)[N], Level level) {
  if (!supports(level)) return Kernel{};
  for (const Entry<Kernel>& entry : table)
    if (entry.level == level) return entry.kernel;
  return Kernel{};
}

}  // namespace qov::simd
