// Whether a pool's workers pay for themselves. A worker that shares its core with another
// busy program runs late: the calling thread then waits for the chunks it claimed for
// longer than running them itself would have taken, and a frame is slower on the pool than
// on the calling thread alone. Payoff keeps account of that, loop by loop, and says when
// loops should run on the calling thread alone for a while.
//
// Every loop run on the pool adds what the workers saved the caller (their chunks, at the
// caller's own pace per chunk) minus the time it waited for their last chunks to a balance
// in nanoseconds that forgets an eighth of itself per loop. When the balance falls below
// zero, loops run on the caller alone for a span (1 ms at first, doubling while it goes on,
// up to 256 ms), and then the workers are tried again. A loop on which they pay halves the
// next span again. On an idle machine the caller never waits for more than about the chunk
// a worker is finishing, which that worker has saved it, so nothing changes there; a loop
// that a worker wakes too late to join costs no wait and changes nothing either.
//
// Updated only by the thread that owns the pool's workers for a loop; others just read when
// the span ends. Times are steady-clock nanoseconds.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace qov::parallel {

class Payoff {
 public:
  static constexpr int64_t kShortestAlone = 1'000'000;   // 1 ms
  static constexpr int64_t kLongestAlone = 256'000'000;  // 256 ms

  // Whether loops that start at `now` run on the calling thread alone.
  bool alone(int64_t now) const { return now < aloneUntil_.load(std::memory_order_relaxed); }

  // A loop of `chunks` chunks on the pool: the caller ran `ran` of them from `ownStart` to
  // `ownEnd`, and had every chunk back at `end`.
  void record(std::size_t chunks, std::size_t ran, int64_t ownStart, int64_t ownEnd, int64_t end) {
    // The caller's time for the chunks it did not run; a caller that ran none would have
    // spent at least the whole loop on them.
    const int64_t own = ownEnd - ownStart;
    const int64_t saved =
        ran == 0 ? end - ownStart : own / static_cast<int64_t>(ran) * static_cast<int64_t>(chunks - ran);
    const int64_t cost = end - ownEnd;
    int64_t balance = balance_.load(std::memory_order_relaxed);
    balance += saved - cost - balance / kForget;
    int64_t span = aloneSpan_.load(std::memory_order_relaxed);
    if (balance < 0) {
      aloneUntil_.store(end + span, std::memory_order_relaxed);
      span = span * 2 < kLongestAlone ? span * 2 : kLongestAlone;
      balance = 0;  // the next loop on the workers is judged afresh
    } else if (saved > cost) {
      span = span / 2 > kShortestAlone ? span / 2 : kShortestAlone;
    }
    aloneSpan_.store(span, std::memory_order_relaxed);
    balance_.store(balance, std::memory_order_relaxed);
  }

 private:
  static constexpr int64_t kForget = 8;

  std::atomic<int64_t> balance_{0};
  std::atomic<int64_t> aloneUntil_{0};
  std::atomic<int64_t> aloneSpan_{kShortestAlone};
};

}  // namespace qov::parallel
