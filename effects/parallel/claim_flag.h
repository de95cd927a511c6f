// A flag that a thread takes for a while and then gives back (a band's working copy, an
// instance's workspace), which stays right across fork.
//
// fork copies the whole memory of a process but only the thread that called it: a flag that
// another thread held at that moment would be taken for ever in the child, where no thread
// is left to give it back. So a taken flag holds the fork generation of the process whose
// thread took it: the number of forks between the process that loaded this library and that
// one. A fork handler counts one more in every child, so in a child a flag taken in an
// ancestor reads as taken by no thread of the child, which takes it as free. Within one
// process a taken flag is taken until its taker gives it back.
//
// Taking costs one load of the generation (a plain load on x86 and AArch64) on top of the
// flag's own exchange.
#pragma once

#include <atomic>
#include <cstdint>

namespace qov::parallel {

namespace detail {
// Counted by the fork handler in each child, never elsewhere.
extern std::atomic<uint32_t> gForkGeneration;
}  // namespace detail

// Forks between the process that loaded this library and this one, along its ancestors.
inline uint32_t forkGeneration() noexcept { return detail::gForkGeneration.load(std::memory_order_relaxed); }

class ClaimFlag {
 public:
  // True when this thread now holds the flag: it was free, or held in an ancestor process.
  // Acquires what the last holder of this process wrote before giving it back.
  bool tryTake() noexcept {
    const uint32_t mine = holderMark();
    uint32_t held = word_.load(std::memory_order_relaxed);
    return held != mine &&
           word_.compare_exchange_strong(held, mine, std::memory_order_acquire, std::memory_order_relaxed);
  }
  void giveBack() noexcept { word_.store(kFree, std::memory_order_release); }

 private:
  static constexpr uint32_t kFree = 0;
  // Never kFree, short of four thousand million forks each from the one before.
  static uint32_t holderMark() noexcept { return forkGeneration() + 1; }

  std::atomic<uint32_t> word_{kFree};
};

}  // namespace qov::parallel
