// Hosts load and unload plug-in libraries as a set changes. A library whose frames ran on
// OpenMP worker threads must survive being unloaded and loaded again: this program loads
// each library fresh, runs frames, unloads it and goes on, many times. (It is a program of
// its own because the other suites keep the libraries loaded.)
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <vector>

#include "framework/boundary.h"

namespace qov::test {
namespace {

void loadRunUnload(const char* path, uint32_t depth) {
  void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  auto plugMainFunction = reinterpret_cast<PlugMainFunction>(dlsym(handle, "plugMain"));
  ASSERT_NE(plugMainFunction, nullptr);
  VideoInfo videoInfo{320, 240, depth, 0};
  FFMixed input;
  input.pointerValue = &videoInfo;
  const FFMixed instance = plugMainFunction(FF_INSTANTIATE, input, nullptr);
  ASSERT_NE(instance.uintValue, FF_FAIL);
  std::vector<uint8_t> frame(320 * 240 * 4);
  for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>((i / 4 % 320 / 7 + i / 1280 / 5) % 2 * 255);
  input.pointerValue = frame.data();
  EXPECT_EQ(plugMainFunction(FF_PROCESS_FRAME, input, instance.pointerValue).uintValue, FF_SUCCESS);
  input.pointerValue = nullptr;
  EXPECT_EQ(plugMainFunction(FF_DEINSTANTIATE, input, instance.pointerValue).uintValue, FF_SUCCESS);
  EXPECT_EQ(dlclose(handle), 0);
  usleep(2000);  // let idle worker threads run while the library is unloaded
}

TEST(Unloading, LibrariesSurviveUnloadAndReload) {
  for (const char* path : {QOV_MLAA1_PATH, QOV_SETMATTE1_PATH, QOV_MISETMATTE1_PATH})
    for (int round = 0; round < 10; ++round)
      for (uint32_t depth : {FF_DEPTH_24, FF_DEPTH_32}) loadRunUnload(path, depth);
}

}  // namespace
}  // namespace qov::test
