// Memory that runs out inside a call, one allocation at a time: this program replaces the
// C++ allocation functions (which the loaded plug-ins use too) so that the k-th allocation
// from a chosen moment throws std::bad_alloc, for every k a call reaches. No exception may
// leave an exported function (a C host dies of it); a refused call leaves nothing behind;
// the library's worker threads and its count of users stay as they were, so that the next
// instance starts and its destruction joins them as usual; frames still come out right.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "host/plugin_instance.h"
#include "tests/support/plugin_table.h"
#include "tests/support/thread_count.h"
#if defined(QOV_TEST_FREI0R)
#include "tests/frei0r/frei0r_library.h"
#endif

namespace {

// -1: no allocation fails; k >= 0: the k-th allocation from now fails.
std::atomic<long> gUntilFailure{-1};
std::atomic<bool> gFailureMade{false};

void* allocate(std::size_t size) {
  if (gUntilFailure.load(std::memory_order_relaxed) >= 0 && gUntilFailure.fetch_sub(1) == 0) {
    gFailureMade = true;
    throw std::bad_alloc();
  }
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}

}  // namespace

// The plain and nothrow forms, which the plug-ins use. (The C++ runtime's array forms call
// these; under AddressSanitizer its runtime keeps the array forms, with their own deletes.)
void* operator new(std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

namespace qov::test {
namespace {

// Several chunks per pass: instances of this size use the library's worker threads.
constexpr uint32_t kWidth = 320;
constexpr uint32_t kHeight = 240;
// More allocations than any single call makes: the loops below end well before.
constexpr long kMostAllocations = 1000;

// Runs `call` with the k-th allocation failing, for k = 0, 1, ... until a run makes no
// failure (the call needs fewer allocations); `call` returns true when it was accepted.
// Returns a description of the first exception that escaped, or "".
template <class Call>
std::string withEachAllocationFailing(Call call) {
  for (long k = 0; k < kMostAllocations; ++k) {
    gFailureMade = false;
    gUntilFailure = k;
    try {
      call(k);
    } catch (const std::exception& e) {
      gUntilFailure = -1;
      return std::string(e.what()) + " escaped at allocation " + std::to_string(k);
    } catch (...) {
      gUntilFailure = -1;
      return "an exception escaped at allocation " + std::to_string(k);
    }
    gUntilFailure = -1;
    if (!gFailureMade) return "";
  }
  return "more than " + std::to_string(kMostAllocations) + " allocations";
}

class AllocationFailures : public ::testing::TestWithParam<std::string> {};

TEST_P(AllocationFailures, InstantiateAndFramesNeverThrowAndKeepTheWorkersCounted) {
  const host::PluginLibrary& plugin = library(GetParam());
  const int idle = processThreadCount();
  std::vector<uint8_t> expected = randomBytes(std::size_t{kWidth} * kHeight * 4, 1);
  const std::vector<uint8_t> input = expected;
  int withWorkers = 0;
  {
    host::PluginInstance reference(plugin, kWidth, kHeight, FF_DEPTH_32);
    withWorkers = processThreadCount();
    ASSERT_EQ(reference.processFrame(expected.data()).uintValue, FF_SUCCESS);
  }
  ASSERT_EQ(processThreadCountAfterJoin(idle), idle);

  int accepted = 0, wrongFrames = 0, threadsLeft = 0;
  const std::string instantiate = withEachAllocationFailing([&](long) {
    VideoInfo info{kWidth, kHeight, FF_DEPTH_32, 0};
    const FFMixed id = plugin.callPointer(FF_INSTANTIATE, &info);
    gUntilFailure = -1;
    if (host::failed(id)) return;
    ++accepted;
    std::vector<uint8_t> frame = input;
    wrongFrames += plugin.callPointer(FF_PROCESS_FRAME, frame.data(), id.pointerValue).uintValue != FF_SUCCESS ||
                   frame != expected;
    plugin.call(FF_DEINSTANTIATE, 0u, id.pointerValue);
    threadsLeft += processThreadCountAfterJoin(idle) != idle;
  });
  EXPECT_EQ(instantiate, "");
  EXPECT_GT(accepted, 0);
  EXPECT_EQ(wrongFrames, 0);
  EXPECT_EQ(threadsLeft, 0);

  // Frame calls, a refused one among them (its message), with an instance that has its workers.
  host::PluginInstance instance(plugin, kWidth, kHeight, FF_DEPTH_32);
  EXPECT_EQ(processThreadCount(), withWorkers) << "the workers start as before";
  std::vector<uint8_t> frame(input.size());
  const std::string frames = withEachAllocationFailing([&](long) {
    std::copy(input.begin(), input.end(), frame.begin());
    instance.processFrameMulti(nullptr);
    wrongFrames += instance.processFrame(frame.data()).uintValue != FF_SUCCESS || frame != expected;
  });
  EXPECT_EQ(frames, "");
  EXPECT_EQ(wrongFrames, 0);
  instance.release();
  EXPECT_EQ(processThreadCountAfterJoin(idle), idle) << "and are joined as before";
}

INSTANTIATE_TEST_SUITE_P(AllPlugins, AllocationFailures,
                         ::testing::Values("QovMLAA1", "QovSetMatte1", "QovMISetMatte1"),
                         [](const auto& info) { return info.param; });

#if defined(QOV_TEST_FREI0R)
class Frei0rAllocationFailures : public ::testing::TestWithParam<std::string> {};

TEST_P(Frei0rAllocationFailures, ConstructNeverThrowsAndKeepsTheWorkersCounted) {
  const Frei0rLibrary& plugin = frei0rLibrary(GetParam());
  const int idle = processThreadCount();
  const std::size_t words = std::size_t{kWidth} * kHeight;
  std::vector<uint32_t> first(words), second(words), expected(words);
  const std::vector<uint8_t> bytes = randomBytes(words * 8, 2);
  std::memcpy(first.data(), bytes.data(), words * 4);
  std::memcpy(second.data(), bytes.data() + words * 4, words * 4);
  {
    f0r_instance_t reference = plugin.construct(kWidth, kHeight);
    ASSERT_NE(reference, nullptr);
    plugin.update2(reference, 0.0, first.data(), second.data(), nullptr, expected.data());
    plugin.destruct(reference);
  }
  ASSERT_EQ(processThreadCountAfterJoin(idle), idle);

  int accepted = 0, wrongFrames = 0, threadsLeft = 0;
  const std::string construct = withEachAllocationFailing([&](long) {
    f0r_instance_t instance = plugin.construct(kWidth, kHeight);
    gUntilFailure = -1;
    if (instance == nullptr) return;
    ++accepted;
    std::vector<uint32_t> output(words);
    plugin.update2(instance, 0.0, first.data(), second.data(), nullptr, output.data());
    wrongFrames += output != expected;
    plugin.destruct(instance);
    threadsLeft += processThreadCountAfterJoin(idle) != idle;
  });
  EXPECT_EQ(construct, "");
  EXPECT_GT(accepted, 0);
  EXPECT_EQ(wrongFrames, 0);
  EXPECT_EQ(threadsLeft, 0);
}

INSTANTIATE_TEST_SUITE_P(All, Frei0rAllocationFailures,
                         ::testing::Values("qov_mlaa", "qov_setmatte", "qov_misetmatte"),
                         [](const auto& info) { return info.param; });
#endif

}  // namespace
}  // namespace qov::test
