// Hosts that fork while another of their threads is inside a frame call: each child runs
// frames on the instance it inherited (whose frame, in the parent, was cut off halfway in
// the child) and on a new one, and gets the parent's bytes; the parent's frames keep their
// bytes throughout. Every plug-in, through plugMain and through its frei0r edition.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/plugin_instance.h"
#include "tests/support/fork_during_frames.h"
#include "tests/support/plugin_table.h"
#if defined(QOV_TEST_FREI0R)
#include "tests/frei0r/frei0r_library.h"
#endif

namespace qov::test {
namespace {

using host::PluginInstance;

// Large frames, so that every pass is split among the library's workers and a fork lands in
// the middle of one most of the time.
constexpr uint32_t kWidth = 1920;
constexpr uint32_t kHeight = 1080;
// The antialiasing keeps working memory that a frame holds in parts (the band copies), so a
// child may find it in any state: it forks most. The mattes' frames hold nothing of the
// instance's.
int childrenFor(const std::string& plugin) {
  return forkCount(plugin == "QovMLAA1" || plugin == "qov_mlaa" ? 20 : 8);
}
// A child that has not finished by then hangs; SIGALRM ends it.
constexpr unsigned kChildSeconds = 30;
// Frames each child runs on the instance it inherited.
constexpr int kInheritedFrames = 2;

// Exit codes of a child: what went wrong first.
enum ChildFailure { kInheritedFrame = 1, kNewFrame, kNewRelease, kInheritedRelease, kNoNewInstance };

void expectAllWell(const ForkDuringFramesResult& result, int children) {
  EXPECT_EQ(result.children, std::vector<std::string>(children, "exit 0")) << result.summary();
  EXPECT_GT(result.parentFrames, 2);
  EXPECT_EQ(result.parentWrongFrames, 0);
}

class ForkInMidFrame : public ::testing::TestWithParam<std::string> {};

TEST_P(ForkInMidFrame, ChildFinishesFramesOnTheInheritedInstanceAndTheParentKeepsItsBytes) {
  if (forkTestsSkipped()) GTEST_SKIP() << "the user-mode emulator cannot start threads in the child of a multithreaded fork";
  const host::PluginLibrary& plugin = library(GetParam());
  PluginInstance inherited(plugin, kWidth, kHeight, FF_DEPTH_32);
  std::vector<uint8_t> input = jaggedAreasFrame(kWidth, kHeight, inherited.bytesPerPixel(), 32);
  std::vector<uint8_t> expected(input.size());
  ASSERT_EQ(inherited.processFrameCopy({input.data()}, expected.data()).uintValue, FF_SUCCESS);
  ASSERT_NE(expected, input);

  std::vector<uint8_t> parentOutput(input.size());
  const ForkDuringFramesResult result = forkDuringFrames(
      childrenFor(GetParam()), kChildSeconds,
      [&] {
        return inherited.processFrameCopy({input.data()}, parentOutput.data()).uintValue == FF_SUCCESS &&
               parentOutput == expected;
      },
      [&]() -> int {
        keepChildOnItsOwnThread();
        std::vector<uint8_t> frame(input.size());
        for (int i = 0; i < kInheritedFrames; ++i) {
          frame = input;
          if (inherited.processFrame(frame.data()).uintValue != FF_SUCCESS || frame != expected) return kInheritedFrame;
        }
        {
          PluginInstance fresh(plugin, kWidth, kHeight, FF_DEPTH_32);
          frame = input;
          if (fresh.processFrame(frame.data()).uintValue != FF_SUCCESS || frame != expected) return kNewFrame;
          if (fresh.release().uintValue != FF_SUCCESS) return kNewRelease;
        }
        if (inherited.release().uintValue != FF_SUCCESS) return kInheritedRelease;
        return 0;
      });
  expectAllWell(result, childrenFor(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(AllPlugins, ForkInMidFrame, ::testing::Values("QovMLAA1", "QovSetMatte1", "QovMISetMatte1"),
                         [](const auto& info) { return info.param; });

#if defined(QOV_TEST_FREI0R)
// frei0r hosts may call one instance from several threads at once (MLT's slice threads);
// here one thread calls it, and the child after it.
class Frei0rForkInMidFrame : public ::testing::TestWithParam<std::string> {};

TEST_P(Frei0rForkInMidFrame, ChildFinishesFramesOnTheInheritedInstanceAndTheParentKeepsItsBytes) {
  if (forkTestsSkipped()) GTEST_SKIP() << "the user-mode emulator cannot start threads in the child of a multithreaded fork";
  const Frei0rLibrary& plugin = frei0rLibrary(GetParam());
  const std::size_t words = std::size_t{kWidth} * kHeight;
  std::vector<uint32_t> first(words), second(words), expected(words);
  std::memcpy(first.data(), jaggedAreasFrame(kWidth, kHeight, 4, 33).data(), words * 4);
  std::memcpy(second.data(), jaggedAreasFrame(kWidth, kHeight, 4, 34).data(), words * 4);
  f0r_instance_t inherited = plugin.construct(kWidth, kHeight);
  ASSERT_NE(inherited, nullptr);
  plugin.update2(inherited, 0.0, first.data(), second.data(), nullptr, expected.data());
  ASSERT_NE(expected, first);

  std::vector<uint32_t> parentOutput(words);
  const ForkDuringFramesResult result = forkDuringFrames(
      childrenFor(GetParam()), kChildSeconds,
      [&] {
        plugin.update2(inherited, 0.0, first.data(), second.data(), nullptr, parentOutput.data());
        return parentOutput == expected;
      },
      [&]() -> int {
        keepChildOnItsOwnThread();
        std::vector<uint32_t> output(words);
        for (int i = 0; i < kInheritedFrames; ++i) {
          std::fill(output.begin(), output.end(), 0u);
          plugin.update2(inherited, 0.0, first.data(), second.data(), nullptr, output.data());
          if (output != expected) return kInheritedFrame;
        }
        f0r_instance_t fresh = plugin.construct(kWidth, kHeight);
        if (fresh == nullptr) return kNoNewInstance;
        std::fill(output.begin(), output.end(), 0u);
        plugin.update2(fresh, 0.0, first.data(), second.data(), nullptr, output.data());
        plugin.destruct(fresh);
        if (output != expected) return kNewFrame;
        plugin.destruct(inherited);
        return 0;
      });
  plugin.destruct(inherited);
  expectAllWell(result, childrenFor(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(AllPlugins, Frei0rForkInMidFrame, ::testing::Values("qov_mlaa", "qov_setmatte", "qov_misetmatte"),
                         [](const auto& info) { return info.param; });
#endif

}  // namespace
}  // namespace qov::test
