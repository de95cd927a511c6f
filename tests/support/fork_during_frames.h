// Hosts that fork while another of their threads is inside a frame call (a pre-fork server
// whose render thread runs, Python's multiprocessing with the fork start method): a thread
// runs frames in a loop and checks each one, while the test's own thread forks children at
// moments spread over a frame's duration. Each child runs the test's checks, under an alarm,
// and exits; the parent waits for it before it forks the next.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace qov::test {

// Under a user-mode emulator: qemu-i386 (QEMU 7.2) fails an assertion of its own when the
// child of a multithreaded fork starts a thread.
inline bool forkTestsSkipped() { return std::getenv("QOV_TEST_EMULATOR") != nullptr; }

// ThreadSanitizer ends a child of a multithreaded process that starts a thread: there the
// child's new instances and elements run their frames on the calling thread alone.
inline void keepChildOnItsOwnThread() {
#if defined(__SANITIZE_THREAD__)
  setenv("QOV_THREADS", "1", 1);
#endif
}

// width x height pixels of `channels` bytes, rows packed: flat areas with jagged borders
// between them (the antialiasing's own work, at a fraction of what noise costs it) and noise
// in the top left corner; every byte varies, the fourth (alpha) too.
inline std::vector<uint8_t> jaggedAreasFrame(uint32_t width, uint32_t height, std::size_t channels, uint32_t seed) {
  constexpr uint32_t kNoiseCorner = 64;
  std::vector<uint8_t> frame(std::size_t{width} * height * channels);
  uint32_t noise = seed;
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t area = (x * 3 + y * 7) / 97 + (x / 41) * (y / 53);
      uint8_t* pixel = &frame[(std::size_t{y} * width + x) * channels];
      for (std::size_t c = 0; c < channels; ++c) {
        noise = noise * 1664525u + 1013904223u;
        pixel[c] = x < kNoiseCorner && y < kNoiseCorner ? static_cast<uint8_t>(noise >> 24)
                                                        : static_cast<uint8_t>(area * (37 + 20 * c) + seed);
      }
    }
  return frame;
}

// How many times to fork where a test would fork `natively` times: fewer under the
// sanitizers, where a 1080p frame on one thread takes up to seconds.
constexpr int forkCount(int natively) {
#if defined(__SANITIZE_THREAD__)
  return natively < 4 ? natively : 4;
#elif defined(__SANITIZE_ADDRESS__)
  return natively < 6 ? natively : 6;
#else
  return natively;
#endif
}

struct ForkDuringFramesResult {
  // How each child ended: "exit 0" when all its checks passed.
  std::vector<std::string> children;
  long parentFrames = 0;       // frames the parent's thread ran meanwhile
  long parentWrongFrames = 0;  // of which gave other bytes than expected

  std::string summary() const {
    std::string text;
    for (const std::string& child : children) text += child + "; ";
    return text + std::to_string(parentFrames) + " parent frames, " + std::to_string(parentWrongFrames) + " wrong";
  }
};

// Runs `parentFrame` (true when the frame's bytes were right) on a thread of its own, over
// and over, and forks `children` times while it does: the k-th fork comes k / children of a
// frame's duration after the start of a frame, so the forks fall at moments all over the
// frame. Each child runs `child` (0 when its checks pass, else a code of the test's
// own) and exits with its result; a child still running after `childSeconds` is ended by
// SIGALRM. While a child runs, the parent's thread finishes the frame it is in and waits, so
// that the child has the cores. Forking stops at the first child that does not exit with 0.
template <class ParentFrame, class Child>
ForkDuringFramesResult forkDuringFrames(int children, unsigned childSeconds, ParentFrame parentFrame, Child child) {
  using Clock = std::chrono::steady_clock;
  constexpr int kChildThrew = 125;
  ForkDuringFramesResult result;
  std::atomic<bool> stop{false}, paused{false};
  std::atomic<long> begun{0}, frames{0}, wrongFrames{0};
  std::atomic<int64_t> frameNanoseconds{0};
  std::thread loop([&] {
    while (!stop.load(std::memory_order_acquire)) {
      if (paused.load(std::memory_order_acquire)) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        continue;
      }
      begun.fetch_add(1, std::memory_order_release);
      const auto start = Clock::now();
      if (!parentFrame()) wrongFrames.fetch_add(1, std::memory_order_relaxed);
      frameNanoseconds.store(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count(),
                             std::memory_order_relaxed);
      frames.fetch_add(1, std::memory_order_release);
    }
  });
  // The first frames take the memory and start the threads: forks come once frames run as
  // they will.
  while (frames.load(std::memory_order_acquire) < 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  for (int k = 0; k < children; ++k) {
    // From the start of a frame on.
    const long begunBefore = begun.load(std::memory_order_acquire);
    paused.store(false, std::memory_order_release);
    while (begun.load(std::memory_order_acquire) == begunBefore) std::this_thread::yield();
    const int64_t frame = frameNanoseconds.load(std::memory_order_relaxed);
    std::this_thread::sleep_for(std::chrono::nanoseconds(frame * k / children));
    const pid_t pid = fork();
    if (pid == 0) {
      alarm(childSeconds);
      int code = kChildThrew;
      try {
        code = child();
      } catch (...) {
      }
      _exit(code);
    }
    paused.store(true, std::memory_order_release);
    std::string ended;
    int status = 0;
    if (pid < 0)
      ended = "fork failed";
    else if (waitpid(pid, &status, 0) != pid)
      ended = "waitpid failed";
    else if (WIFSIGNALED(status))
      ended = "signal " + std::to_string(WTERMSIG(status));
    else
      ended = "exit " + std::to_string(WEXITSTATUS(status));
    result.children.push_back(ended);
    if (ended != "exit 0") break;
  }
  stop.store(true, std::memory_order_release);
  loop.join();
  result.parentFrames = frames.load(std::memory_order_acquire);
  result.parentWrongFrames = wrongFrames.load(std::memory_order_relaxed);
  return result;
}

}  // namespace qov::test
