// Instances: creation and release, the parameter store, display texts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <atomic>

#include "host/plugin_instance.h"
#include "tests/support/plugin_table.h"
#include "tests/support/platform.h"

namespace qov::test {
namespace {

using host::PluginInstance;

class Instances : public ::testing::TestWithParam<std::string> {
 protected:
  const ExpectedPlugin& expected() const { return expectedPlugin(GetParam()); }
  const host::PluginLibrary& lib() const { return library(GetParam()); }
};

TEST_P(Instances, SupportedAndRefusedDepths) {
  EXPECT_NO_THROW(PluginInstance(lib(), 640, 480, FF_DEPTH_24));
  EXPECT_NO_THROW(PluginInstance(lib(), 640, 480, FF_DEPTH_32));
  for (uint32_t depth : {FF_DEPTH_16, 3u, 0xFFFFFFFFu})
    EXPECT_THROW(PluginInstance(lib(), 640, 480, depth), host::InstantiateError) << depth;
  EXPECT_TRUE(host::failed(lib().callPointer(FF_INSTANTIATE, nullptr)));
}

TEST_P(Instances, RefusesFramesTooLargeToAddress) {
  // Sizes whose byte count wraps 64 bits (2^31 x 2^31 x 4 is exactly 2^64), overflows it,
  // or fits it but not the effects' int indexing. Under the leak checker a refused
  // instance that kept memory fails the run.
  for (const VideoInfo info : {VideoInfo{0x80000000u, 0x80000000u, FF_DEPTH_32, 0},
                               VideoInfo{0x80000000u, 0x80000000u, FF_DEPTH_24, 0},
                               VideoInfo{0xFFFFFFFFu, 0xFFFFFFFFu, FF_DEPTH_32, 0},
                               VideoInfo{0xFFFFFFFFu, 0xFFFFFFFFu, FF_DEPTH_24, 0},
                               VideoInfo{0x10000u, 0x10000u, FF_DEPTH_32, 0},
                               VideoInfo{0xFFFFFFFFu, 1, FF_DEPTH_32, 0}}) {
    EXPECT_TRUE(host::failed(lib().callPointer(FF_INSTANTIATE, &info)))
        << info.frameWidth << " x " << info.frameHeight << " depth " << info.bitDepth;
  }
}

TEST_P(Instances, FreshInstanceState) {
  PluginInstance instance(lib(), 640, 480, FF_DEPTH_24);
  const auto& parameters = expected().parameters;
  for (uint32_t i = 0; i < parameters.size(); ++i)
    EXPECT_EQ(lib().call(FF_GET_PARAMETER, i, instance.id()).uintValue, parameters[i].defaultBits) << i;


  // Ready for frames at once: the frame-set call gets past the instance's own checks to
  // the host's missing record, and a frame goes through.
  {
    MessageCapture capture;
    EXPECT_TRUE(host::failed(instance.processFrameMulti(nullptr)));
    EXPECT_EQ(capture.finish(), "Qov_Multi: Error: pFrameData == NULL\n");
  }
  std::vector<uint8_t> frame = randomBytes(instance.frameBytes(), 3);
  MessageCapture capture;
  EXPECT_EQ(instance.processFrame(frame.data()).uintValue, 0u);
  EXPECT_EQ(capture.finish(), "");
  EXPECT_EQ(instance.release().uintValue, 0u);
}

TEST_P(Instances, EmptyFrameSizeIsAccepted) {
  PluginInstance instance(lib(), 0, 0, FF_DEPTH_32);
  uint8_t frame[4] = {1, 2, 3, 4};
  EXPECT_EQ(instance.processFrame(frame).uintValue, 0u);
  EXPECT_EQ(frame[0], 1) << "a frame of zero bytes writes nothing";
}

TEST_P(Instances, ParametersAreStoredAsGivenAndClampedByTheNextFrame) {
  PluginInstance instance(lib(), 8, 8, FF_DEPTH_24);
  std::vector<uint8_t> frame(instance.frameBytes(), 7);
  ASSERT_EQ(instance.setParameter(0, 2.0f).uintValue, 0u);
  ASSERT_EQ(instance.setParameter(1, -0.5f).uintValue, 0u);
  ASSERT_EQ(instance.setParameter(2, std::numeric_limits<float>::quiet_NaN()).uintValue, 0u);
  ASSERT_EQ(instance.setParameter(3, -0.0f).uintValue, 0u);
  EXPECT_EQ(floatBits(instance.parameter(0)), floatBits(2.0f));
  EXPECT_EQ(instance.parameterDisplay(0), "2.000000");
  EXPECT_EQ(floatBits(instance.parameter(1)), floatBits(-0.5f));

  ASSERT_EQ(instance.processFrame(frame.data()).uintValue, 0u);
  EXPECT_EQ(floatBits(instance.parameter(0)), floatBits(1.0f));
  EXPECT_EQ(instance.parameterDisplay(0), "1.000000");
  EXPECT_EQ(floatBits(instance.parameter(1)), floatBits(0.0f));
  EXPECT_TRUE(std::isnan(instance.parameter(2))) << "NaN passes the clamp";
  EXPECT_EQ(floatBits(instance.parameter(3)), floatBits(-0.0f)) << "-0.0 passes the clamp";
  EXPECT_EQ(instance.parameterDisplay(3), "-0.000000");
}

TEST_P(Instances, DisplayTextFillsTheSixteenByteField) {
  PluginInstance instance(lib(), 4, 4, FF_DEPTH_32);
  instance.setParameter(0, 0.25f);
  FFMixed field = lib().call(FF_GET_PARAMETER_DISPLAY, 0u, instance.id());
  ASSERT_FALSE(host::failed(field));
  EXPECT_EQ(std::memcmp(field.pointerValue, "0.250000\0       ", 16), 0);
  EXPECT_EQ(field.pointerValue, lib().call(FF_GET_PARAMETER_DISPLAY, 0u, instance.id()).pointerValue)
      << "the field belongs to the instance";

  instance.setParameter(1, 0.9f);
  EXPECT_EQ(instance.parameterDisplay(1), "0.900000");

  // Values whose "%f" text would not fit stay inside the field, NUL-terminated.
  for (float big : {123456789.0f, -1.0e30f, std::numeric_limits<float>::max(),
                    -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()}) {
    instance.setParameter(0, big);
    FFMixed text = lib().call(FF_GET_PARAMETER_DISPLAY, 0u, instance.id());
    const char* bytes = static_cast<const char*>(text.pointerValue);
    const void* nul = std::memchr(bytes, '\0', 16);
    ASSERT_NE(nul, nullptr) << big;
    std::string shown(bytes);
    EXPECT_FALSE(shown.empty());
    EXPECT_EQ(shown.find(' '), std::string::npos) << shown;
  }
  instance.setParameter(0, 123456789.0f);
  EXPECT_EQ(instance.parameterDisplay(0), "123456792.00000") << "the float nearest 123456789, five decimals";
}

TEST_P(Instances, InstanceCallsRefuseIndicesBeyondTheTable) {
  PluginInstance instance(lib(), 4, 4, FF_DEPTH_32);
  const uint32_t count = lib().numParameters();
  for (uint32_t index : {count, 0xFFFFFFFFu}) {
    EXPECT_TRUE(host::failed(instance.setParameter(index, 0.5f)));
    EXPECT_TRUE(host::failed(lib().call(FF_GET_PARAMETER, index, instance.id())));
    EXPECT_TRUE(host::failed(lib().call(FF_GET_PARAMETER_DISPLAY, index, instance.id())));
  }
  EXPECT_TRUE(host::failed(lib().callPointer(FF_SET_PARAMETER, nullptr, instance.id())));
  for (uint32_t i = 0; i < count; ++i)
    EXPECT_EQ(floatBits(instance.parameter(i)), expected().parameters[i].defaultBits) << "nothing changed";
}

TEST_P(Instances, InstancesAreIndependent) {
  PluginInstance small(lib(), 16, 8, FF_DEPTH_24);
  PluginInstance large(lib(), 64, 32, FF_DEPTH_32);
  small.setParameter(0, 0.125f);
  EXPECT_EQ(floatBits(large.parameter(0)), expected().parameters[0].defaultBits);
  EXPECT_EQ(floatBits(small.parameter(0)), floatBits(0.125f));
}

TEST_P(Instances, ManyInstancesOnSeveralThreads) {
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  const host::PluginLibrary& plugin = lib();
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 50; ++round) {
        PluginInstance instance(plugin, 16 + t, 9, t % 2 ? FF_DEPTH_32 : FF_DEPTH_24);
        std::vector<uint8_t> frame = randomBytes(instance.frameBytes(), t * 100 + round);
        if (host::failed(instance.processFrame(frame.data()))) ++failures;
        if (instance.release().uintValue != 0) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
}

TEST_P(Instances, AtMost4096LiveInstancesOfOneLibrary) {
  // The library's registry of live instances holds 4096: the next instantiate is refused,
  // and each deInstantiate makes room again. Every one of them stays usable.
  constexpr std::size_t kMostLive = 4096;
  const VideoInfo info{1, 1, FF_DEPTH_32, 0};
  std::vector<FFInstanceID> ids;
  for (std::size_t i = 0; i <= kMostLive; ++i) {
    const FFMixed id = lib().callPointer(FF_INSTANTIATE, &info);
    if (host::failed(id)) break;
    ids.push_back(id.pointerValue);
  }
  EXPECT_EQ(ids.size(), kMostLive);
  uint8_t pixel[4] = {1, 2, 3, 4};
  int refusedFrames = 0;
  for (FFInstanceID id : ids) refusedFrames += host::failed(lib().callPointer(FF_PROCESS_FRAME, pixel, id));
  EXPECT_EQ(refusedFrames, 0);
  ASSERT_FALSE(ids.empty());
  EXPECT_EQ(lib().call(FF_DEINSTANTIATE, 0u, ids.back()).uintValue, FF_SUCCESS);
  ids.pop_back();
  const FFMixed again = lib().callPointer(FF_INSTANTIATE, &info);
  EXPECT_FALSE(host::failed(again));
  if (!host::failed(again)) ids.push_back(again.pointerValue);
  for (FFInstanceID id : ids) lib().call(FF_DEINSTANTIATE, 0u, id);
}

INSTANTIATE_TEST_SUITE_P(AllPlugins, Instances, ::testing::Values("QovMLAA1", "QovMISetMatte1", "QovSetMatte1"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace qov::test
