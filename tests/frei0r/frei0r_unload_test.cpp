// Hosts unload frei0r plug-ins when a filter graph or a project closes (ffmpeg does it at the
// end of every run) and load them again later. This program loads each plug-in fresh, runs
// frames on its worker threads, destroys the instances and unloads it, many times: no
// worker thread is left after the last f0r_destruct, and the plug-in is no longer mapped
// after the unload. (A program of its own, because the other suites keep the plug-ins
// loaded.)
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/frei0r/frei0r_library.h"
#include "tests/support/thread_count.h"

namespace qov::test {
namespace {

constexpr unsigned kWidth = 320;  // several chunks of every per-pixel pass
constexpr unsigned kHeight = 240;

bool mapped(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
}

TEST(Frei0rUnloading, NoThreadRemainsAndThePluginIsUnmappedAfterEachUnload) {
  // QOV_THREADS=2 (main).
  const int workers = workersForTwoThreads();
  const int before = processThreadCount();
  ASSERT_GT(before, 0);
  std::vector<uint8_t> frame(std::size_t{kWidth} * kHeight * 4);
  for (std::size_t i = 0; i < frame.size(); ++i)
    frame[i] = static_cast<uint8_t>((i / 4 % kWidth / 7 + i / (kWidth * 4) / 5) % 2 * 255);
  for (const char* name : {"qov_mlaa", "qov_setmatte", "qov_misetmatte"}) {
    const std::string path = frei0rDirectory() + "/" + name + ".so";
    for (int round = 0; round < 20; ++round) {
      SCOPED_TRACE(std::string(name) + ", round " + std::to_string(round));
      {
        Frei0rLibrary library(name);
        std::optional<Frei0rInstance> first(std::in_place, library, kWidth, kHeight);
        Frei0rInstance second(library, kWidth, kHeight);
        EXPECT_EQ(processThreadCount(), before + workers) << "one set of workers for all instances";
        EXPECT_EQ(first->update(frame).size(), frame.size());
        first.reset();
        EXPECT_EQ(second.update(frame).size(), frame.size());
        EXPECT_EQ(processThreadCount(), before + workers) << "kept while an instance exists";
      }
      EXPECT_EQ(processThreadCountAfterJoin(before), before) << "joined by the last f0r_destruct";
      EXPECT_FALSE(mapped(path)) << "unmapped by the host's unload";
    }
  }
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
