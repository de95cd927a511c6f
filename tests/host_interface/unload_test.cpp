// Hosts load and unload plug-in libraries as a set changes. A library whose frames ran on
// OpenMP worker threads must survive being unloaded and loaded again: this program loads
// each library fresh, runs frames, unloads it and goes on, many times. (It is a program of
// its own because the other suites keep the libraries loaded.)
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "host/plugin_instance.h"
#include "host/plugin_library.h"

namespace qov::test {
namespace {

constexpr uint32_t kWidth = 320;
constexpr uint32_t kHeight = 240;

void loadRunUnload(const char* path, uint32_t depth) {
  {
    host::PluginLibrary library(path);
    host::PluginInstance instance(library, kWidth, kHeight, depth);
    std::vector<uint8_t> frame(instance.frameBytes());
    for (std::size_t i = 0; i < frame.size(); ++i)
      frame[i] = static_cast<uint8_t>((i / 4 % kWidth / 7 + i / (kWidth * 4) / 5) % 2 * 255);
    EXPECT_EQ(instance.processFrame(frame.data()).uintValue, FF_SUCCESS);
    EXPECT_EQ(instance.release().uintValue, FF_SUCCESS);
  }  // unloaded here
  std::this_thread::sleep_for(std::chrono::milliseconds(2));  // let idle worker threads run meanwhile
}

TEST(Unloading, LibrariesSurviveUnloadAndReload) {
  for (const char* path : {QOV_MLAA1_PATH, QOV_SETMATTE1_PATH, QOV_MISETMATTE1_PATH})
    for (int round = 0; round < 10; ++round)
      for (uint32_t depth : {FF_DEPTH_24, FF_DEPTH_32}) loadRunUnload(path, depth);
}

}  // namespace
}  // namespace qov::test
