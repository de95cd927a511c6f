// Hosts load and unload plug-in libraries as a set changes. This program loads each library
// as a host does (dlopen), runs frames on its worker threads, destroys the instances and
// unloads it, many times: after the last deInstantiate no worker thread of the library is
// left, and after the unload the library is no longer mapped. The workers are started
// again by the next instance, as many as the process may use CPUs. A host that unloads a
// library while instances still exist leaves it mapped, with its threads asleep, until they
// are destroyed. (A program of its own because the other suites keep the libraries loaded.)
#include <gtest/gtest.h>

#include <dirent.h>
#include <dlfcn.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "framework/boundary.h"
#include "tests/support/thread_count.h"

namespace qov::test {
namespace {

constexpr uint32_t kWidth = 320;  // several chunks of every per-pixel pass
constexpr uint32_t kHeight = 240;
const char* const kPaths[] = {QOV_MLAA1_PATH, QOV_SETMATTE1_PATH, QOV_MISETMATTE1_PATH};

// Worker threads a library starts with QOV_THREADS=2 (set in main).
int workersWanted() { return workersForTwoThreads(); }

bool mapped(const char* path) {
  if (void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD)) {
    dlclose(handle);
    return true;
  }
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line))
    if (line.find(path) != std::string::npos) return true;
  return false;
}

class Library {
 public:
  explicit Library(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
    if (handle_ != nullptr) plugMain_ = reinterpret_cast<PlugMainFunction>(dlsym(handle_, "plugMain"));
  }
  bool loaded() const { return plugMain_ != nullptr; }
  int unload() { return dlclose(handle_); }

  void* instantiate(uint32_t depth, uint32_t width = kWidth, uint32_t height = kHeight) const {
    VideoInfo videoInfo{width, height, depth, 0};
    const FFMixed result = call(FF_INSTANTIATE, &videoInfo, nullptr);
    return result.uintValue == FF_FAIL ? nullptr : result.pointerValue;
  }
  uint32_t frame(void* instance, uint32_t depth) const {
    std::vector<uint8_t> frame(std::size_t{kWidth} * kHeight * (depth == FF_DEPTH_32 ? 4 : 3));
    for (std::size_t i = 0; i < frame.size(); ++i)
      frame[i] = static_cast<uint8_t>((i / 4 % kWidth / 7 + i / (kWidth * 4) / 5) % 2 * 255);
    return call(FF_PROCESS_FRAME, frame.data(), instance).uintValue;
  }
  uint32_t release(void* instance) const { return call(FF_DEINSTANTIATE, nullptr, instance).uintValue; }

 private:
  FFMixed call(uint32_t code, void* pointer, void* instance) const {
    FFMixed input;
    input.pointerValue = pointer;
    return plugMain_(code, input, instance);
  }
  void* handle_;
  PlugMainFunction plugMain_ = nullptr;
};

TEST(Unloading, NoThreadRemainsAndTheLibraryIsUnmappedAfterEachUnload) {
  const int before = processThreadCount();
  ASSERT_GT(before, 0);
  for (const char* path : kPaths) {
    for (int round = 0; round < 10; ++round) {
      for (uint32_t depth : {FF_DEPTH_24, FF_DEPTH_32}) {
        SCOPED_TRACE(std::string(path) + ", round " + std::to_string(round));
        Library library(path);
        ASSERT_TRUE(library.loaded()) << dlerror();
        EXPECT_EQ(processThreadCount(), before) << "no thread before the first instance";
        void* first = library.instantiate(depth);
        void* second = library.instantiate(depth);
        ASSERT_NE(first, nullptr);
        ASSERT_NE(second, nullptr);
        EXPECT_EQ(processThreadCount(), before + workersWanted()) << "one set of workers for all instances";
        EXPECT_EQ(library.frame(first, depth), FF_SUCCESS);
        EXPECT_EQ(library.release(first), FF_SUCCESS);
        EXPECT_EQ(library.frame(second, depth), FF_SUCCESS);
        EXPECT_EQ(processThreadCount(), before + workersWanted()) << "kept while an instance exists";
        EXPECT_EQ(library.release(second), FF_SUCCESS);
        EXPECT_EQ(processThreadCountAfterJoin(before), before) << "joined by the last deInstantiate";
        EXPECT_EQ(library.unload(), 0);
        EXPECT_FALSE(mapped(path)) << "unmapped by the host's unload";
        EXPECT_EQ(processThreadCountAfterJoin(before), before);
      }
    }
  }
}

TEST(Unloading, WorkersAreStartedAgainByTheNextInstanceAndCappedByQovThreads) {
  const int before = processThreadCount();
  Library library(QOV_MLAA1_PATH);
  ASSERT_TRUE(library.loaded());
  for (int round = 0; round < 3; ++round) {
    void* instance = library.instantiate(FF_DEPTH_32);
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(processThreadCount(), before + workersWanted()) << round;
    EXPECT_EQ(library.frame(instance, FF_DEPTH_32), FF_SUCCESS);
    EXPECT_EQ(library.release(instance), FF_SUCCESS);
    EXPECT_EQ(processThreadCountAfterJoin(before), before) << round;
  }
  // Frames of one chunk (16384 pixels) or less are never split: no thread for them.
  void* small = library.instantiate(FF_DEPTH_32, 128, 128);
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(processThreadCount(), before);
  EXPECT_EQ(library.release(small), FF_SUCCESS);

  // Read when the workers start: a cap on the CPUs the process may use; 1 starts none; what
  // is no positive number is ignored.
  const int all = std::min(affinityCpus(), 64);
  const struct {
    const char* value;
    int threads;
  } settings[] = {{"1", 1}, {"3", std::min(all, 3)}, {"0", all}, {"-2", all}, {"two", all}, {"", all}};
  for (const auto& setting : settings) {
    setenv("QOV_THREADS", setting.value, 1);
    void* instance = library.instantiate(FF_DEPTH_32);
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(processThreadCount(), before + setting.threads - 1) << "QOV_THREADS=" << setting.value;
    EXPECT_EQ(library.frame(instance, FF_DEPTH_32), FF_SUCCESS);
    EXPECT_EQ(library.release(instance), FF_SUCCESS);
    EXPECT_EQ(processThreadCountAfterJoin(before), before);
  }
  setenv("QOV_THREADS", "2", 1);
  EXPECT_EQ(library.unload(), 0);
}

// The library counts the CPUs the process may use, not the machine's: confined to one CPU
// (as by `taskset -c 0`, or a container's cpuset) it starts no worker.
TEST(Unloading, ConfinedToOneCpuTheLibraryStartsNoWorker) {
  cpu_set_t allowed;
  ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
  if (CPU_COUNT(&allowed) < 2) GTEST_SKIP() << "the process may use one CPU only";
  int first = 0;
  while (!CPU_ISSET(first, &allowed)) ++first;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(first, &one);
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  const int before = processThreadCount();
  Library library(QOV_MLAA1_PATH);
  ASSERT_TRUE(library.loaded());
  void* instance = library.instantiate(FF_DEPTH_32);
  const int during = processThreadCount();
  EXPECT_EQ(library.frame(instance, FF_DEPTH_32), FF_SUCCESS);
  EXPECT_EQ(library.release(instance), FF_SUCCESS);
  ASSERT_EQ(sched_setaffinity(0, sizeof allowed, &allowed), 0);
  EXPECT_EQ(during, before);
  EXPECT_EQ(library.unload(), 0);
}

// Each thread of the process: how often it has gone to sleep (voluntary context switches)
// and whether it sleeps now, by thread id.
struct ThreadSleeps {
  long sleeps = 0;
  bool asleep = false;
};
std::map<std::string, ThreadSleeps> threadSleeps() {
  std::map<std::string, ThreadSleeps> threads;
  DIR* tasks = opendir("/proc/self/task");
  if (tasks == nullptr) return threads;
  while (const dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream status(std::string("/proc/self/task/") + entry->d_name + "/status");
    ThreadSleeps& thread = threads[entry->d_name];
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("State:", 0) == 0) thread.asleep = line.find("S (sleeping)") != std::string::npos;
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) thread.sleeps = std::stol(line.substr(24));
    }
  }
  closedir(tasks);
  return threads;
}

// How often the threads started since `before` went to sleep from `start` to now.
long sleepsSince(const std::map<std::string, ThreadSleeps>& before, const std::map<std::string, ThreadSleeps>& start) {
  long count = 0;
  for (const auto& [id, thread] : threadSleeps())
    if (before.count(id) == 0 && start.count(id) != 0) count += thread.sleeps - start.at(id).sleeps;
  return count;
}

// Waits (two seconds at most) until the threads started since `before` are asleep and stay
// so: a worker that has just started, or just finished a loop, goes to sleep a moment later.
std::map<std::string, ThreadSleeps> oncePastWorkersSleep(const std::map<std::string, ThreadSleeps>& before) {
  auto start = threadSleeps();
  for (int look = 0; look < 400; ++look) {
    usleep(5000);
    bool settled = sleepsSince(before, start) == 0;
    for (const auto& [id, thread] : start) settled = settled && (before.count(id) != 0 || thread.asleep);
    if (settled) break;
    start = threadSleeps();
  }
  return start;
}

// A worker that a frame wakes goes back to sleep after it: the matte plug-ins have nothing
// to do on a 24-bit frame (no alpha to write), and such frames must leave the workers asleep
// rather than cost a wake-up each; 32-bit frames of the same instance size do wake them.
TEST(Unloading, FramesWithNothingToDoLeaveTheWorkersAsleep) {
  if (workersWanted() == 0) GTEST_SKIP() << "the process may use one CPU only";
  constexpr int kFrames = 20;
  for (const char* path : {QOV_SETMATTE1_PATH, QOV_MISETMATTE1_PATH}) {
    SCOPED_TRACE(path);
    Library library(path);
    ASSERT_TRUE(library.loaded());
    const auto before = threadSleeps();
    void* idle = library.instantiate(FF_DEPTH_24);
    void* busy = library.instantiate(FF_DEPTH_32);
    ASSERT_NE(idle, nullptr);
    ASSERT_NE(busy, nullptr);
    // The workers' wake-ups over kFrames frames of an instance.
    const auto wakeUps = [&](void* instance, uint32_t depth) {
      const auto start = oncePastWorkersSleep(before);
      for (int i = 0; i < kFrames; ++i) {
        EXPECT_EQ(library.frame(instance, depth), FF_SUCCESS);
        usleep(2000);  // the frames of a video: the workers fall asleep between them
      }
      return sleepsSince(before, start);
    };
    EXPECT_EQ(wakeUps(idle, FF_DEPTH_24), 0);
    EXPECT_GT(wakeUps(busy, FF_DEPTH_32), 0) << "the count sees the workers";
    EXPECT_EQ(library.release(idle), FF_SUCCESS);
    EXPECT_EQ(library.release(busy), FF_SUCCESS);
    EXPECT_EQ(library.unload(), 0);
  }
}

// A host that unloads a library without destroying its instances: the library stays
// mapped (its threads hold it), the threads sleep, nothing crashes. Loaded again, it is
// the same library with the same instances; destroying them lets it go.
TEST(Unloading, UnloadWithInstancesAliveKeepsTheLibraryUntilTheyAreDestroyed) {
  const int before = processThreadCount();
  Library library(QOV_SETMATTE1_PATH);
  ASSERT_TRUE(library.loaded());
  void* instance = library.instantiate(FF_DEPTH_32);
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(library.frame(instance, FF_DEPTH_32), FF_SUCCESS);
  EXPECT_EQ(library.unload(), 0);
  usleep(20000);  // the workers get their chance to run while the host holds no reference
  EXPECT_EQ(mapped(QOV_SETMATTE1_PATH), workersWanted() > 0);
  EXPECT_EQ(processThreadCount(), before + workersWanted());

  Library again(QOV_SETMATTE1_PATH);
  ASSERT_TRUE(again.loaded());
  EXPECT_EQ(again.frame(instance, FF_DEPTH_32), FF_SUCCESS);
  EXPECT_EQ(again.release(instance), FF_SUCCESS);
  EXPECT_EQ(processThreadCountAfterJoin(before), before);
  EXPECT_EQ(again.unload(), 0);
  EXPECT_FALSE(mapped(QOV_SETMATTE1_PATH));
}

}  // namespace
}  // namespace qov::test

int main(int argc, char** argv) {
  // Two threads per loop at most, so that the expected number of workers is known.
  setenv("QOV_THREADS", "2", 1);
  // Runtimes that start a helper thread along with the first thread of the process (the
  // ThreadSanitizer runtime does) have it in every baseline count.
  std::thread([] {}).join();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
