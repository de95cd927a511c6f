// Hosts unload frei0r plug-ins when a filter graph or a project closes (ffmpeg does it at the
// end of every run) and load them again later. A plug-in whose frames ran on OpenMP worker
// threads must survive that: this program loads each plug-in fresh, runs frames, unloads it
// and goes on, many times. (A program of its own, because the other suites keep the plug-ins
// loaded.)
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "tests/frei0r/frei0r_library.h"

namespace qov::test {
namespace {

constexpr unsigned kWidth = 320;
constexpr unsigned kHeight = 240;
constexpr useconds_t kIdlePause = 2000;  // lets idle worker threads run while the plug-in is unloaded

TEST(Frei0rUnloading, PluginsSurviveUnloadAndReload) {
  std::vector<uint8_t> frame(std::size_t{kWidth} * kHeight * 4);
  for (std::size_t i = 0; i < frame.size(); ++i)
    frame[i] = static_cast<uint8_t>((i / 4 % kWidth / 7 + i / (kWidth * 4) / 5) % 2 * 255);
  for (const char* name : {"qov_mlaa", "qov_setmatte", "qov_misetmatte"}) {
    for (int round = 0; round < 20; ++round) {
      {
        Frei0rLibrary library(name);
        Frei0rInstance instance(library, kWidth, kHeight);
        EXPECT_EQ(instance.update(frame).size(), frame.size());
      }
      usleep(kIdlePause);
    }
  }
}

}  // namespace
}  // namespace qov::test
