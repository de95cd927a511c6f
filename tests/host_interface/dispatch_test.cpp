// Frame calls through plugMain: copying into the frame set and back, the entry checks
// and their messages, and the ownership rules of frame sets a host passes in (code 16).
// (What the calls leave in the instance's own frame set, and the states a host cannot
// reach, are tested in-process: instance_record_test.cpp.)
//
// The matte plug-ins leave 24-bit frames to the framework alone (their effect writes
// nothing then), which shows the framework's own behaviour.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "host/plugin_instance.h"
#include "tests/support/plugin_table.h"
#include "tests/support/platform.h"

namespace qov::test {
namespace {

using host::PluginInstance;

constexpr uint32_t kWidth = 13;
constexpr uint32_t kHeight = 7;

// A frame set owned by the test, as a host would build it for code 16.
struct HostFrameSet {
  Qov_Multi multi{};
  ImageSlot slots[4]{};
  std::vector<uint8_t> buffers[4];

  HostFrameSet(std::size_t bytes, uint32_t channels, uint32_t numInputs) {
    for (int i = 0; i < 4; ++i) {
      buffers[i] = randomBytes(bytes, 40 + i);
      slots[i] = ImageSlot{kFormatInterleaved8, channels, buffers[i].data(), kWidth, kHeight, nullptr, 0, 0};
    }
    multi.numInputs = numInputs;
    for (uint32_t i = 0; i < 3; ++i) multi.inputs[i] = &slots[i];
    multi.numOutputs = 1;
    multi.outputs[0] = &slots[3];
  }
};

class Dispatch : public ::testing::TestWithParam<std::string> {
 protected:
  const host::PluginLibrary& lib() const { return library(GetParam()); }
  PluginInstance make24() const { return PluginInstance(lib(), kWidth, kHeight, FF_DEPTH_24); }
};

TEST_P(Dispatch, ProcessFrameReturnsTheFrameUnchanged) {
  PluginInstance instance = make24();
  const std::vector<uint8_t> original = randomBytes(instance.frameBytes(), 1);
  std::vector<uint8_t> frame = original;
  MessageCapture capture;
  EXPECT_EQ(instance.processFrame(frame.data()).uintValue, 0u);
  EXPECT_EQ(capture.finish(), "");
  EXPECT_EQ(frame, original);
}

TEST_P(Dispatch, ProcessFrameCopyKeepsThePreparedOutputAndUsesOnlyTheFirstInput) {
  PluginInstance instance = make24();
  std::vector<uint8_t> first = randomBytes(instance.frameBytes(), 2);
  std::vector<uint8_t> second = randomBytes(instance.frameBytes(), 3);
  std::vector<uint8_t> third = randomBytes(instance.frameBytes(), 4);
  const std::vector<uint8_t> previousOutput = randomBytes(instance.frameBytes(), 5);
  std::vector<uint8_t> output = previousOutput;
  EXPECT_EQ(instance.processFrameCopy({first.data(), second.data(), third.data()}, output.data()).uintValue, 0u);
  EXPECT_EQ(output, previousOutput) << "an effect that writes nothing leaves the output as it was";

  // At 32 bits the effect writes: the frame set it got held the first input alone, which
  // the two-input matte then reads as both of its inputs.
  PluginInstance instance32(lib(), kWidth, kHeight, FF_DEPTH_32);
  // A small alpha weight and nothing else, so that the mask follows its pixel (the defaults
  // make every mask opaque).
  for (uint32_t i = 0; i < lib().numParameters(); ++i) instance32.setParameter(i, 0.0f);
  instance32.setParameter(0, 0.001f);
  first = randomBytes(instance32.frameBytes(), 12);
  second = randomBytes(instance32.frameBytes(), 13);
  std::vector<uint8_t> copied(instance32.frameBytes());
  EXPECT_EQ(instance32.processFrameCopy({first.data(), second.data()}, copied.data()).uintValue, 0u);
  HostFrameSet alone(instance32.frameBytes(), 4, 1);
  alone.buffers[0] = first;
  alone.slots[0].data = alone.buffers[0].data();
  EXPECT_EQ(instance32.processFrameMulti(&alone.multi).uintValue, 0u);
  EXPECT_EQ(copied, alone.buffers[3]);
  HostFrameSet both(instance32.frameBytes(), 4, 2);
  both.buffers[0] = first;
  both.buffers[1] = second;
  both.slots[0].data = both.buffers[0].data();
  both.slots[1].data = both.buffers[1].data();
  EXPECT_EQ(instance32.processFrameMulti(&both.multi).uintValue, 0u);
  if (GetParam() == "QovMISetMatte1") {
    EXPECT_NE(copied, both.buffers[3]) << "the second frame was not read";
  }
}

TEST_P(Dispatch, ProcessFrameCopyWithoutInputsFailsSilently) {
  PluginInstance instance = make24();
  const std::vector<uint8_t> original = randomBytes(instance.frameBytes(), 6);
  std::vector<uint8_t> output = original;
  MessageCapture capture;
  EXPECT_TRUE(host::failed(instance.processFrameCopy({}, output.data())));
  EXPECT_EQ(capture.finish(), "");
  EXPECT_EQ(output, original);
}

TEST_P(Dispatch, NullAddressesAreRefusedWithoutEffect) {
  PluginInstance instance = make24();
  std::vector<uint8_t> output(instance.frameBytes(), 9);
  std::vector<uint8_t> input(instance.frameBytes(), 1);
  MessageCapture capture;
  EXPECT_TRUE(host::failed(instance.processFrame(nullptr)));
  EXPECT_TRUE(host::failed(lib().callPointer(FF_PROCESS_FRAME_COPY, nullptr, instance.id())));
  EXPECT_TRUE(host::failed(instance.processFrameCopy({nullptr}, output.data())));
  EXPECT_TRUE(host::failed(instance.processFrameCopy({input.data()}, nullptr)));
  ProcessFrameCopyRecord noArray{1, nullptr, output.data()};
  EXPECT_TRUE(host::failed(lib().callPointer(FF_PROCESS_FRAME_COPY, &noArray, instance.id())));
  EXPECT_EQ(capture.finish(), "");
  EXPECT_EQ(output, std::vector<uint8_t>(instance.frameBytes(), 9));
}

TEST_P(Dispatch, FrameSetChecksShowTheirMessages) {
  PluginInstance instance = make24();
  const std::size_t bytes = instance.frameBytes();
  struct Case {
    const char* what;
    void (*spoil)(HostFrameSet&);
  };
  const Case cases[] = {
      {"no inputs", [](HostFrameSet& set) { set.multi.numInputs = 0; }},
      {"no outputs", [](HostFrameSet& set) { set.multi.numOutputs = 0; }},
      {"too many inputs", [](HostFrameSet& set) { set.multi.numInputs = 17; }},
      {"too many outputs", [](HostFrameSet& set) { set.multi.numOutputs = 0xFFFFFFFFu; }},
      {"input 0 without pixels", [](HostFrameSet& set) { set.slots[0].data = nullptr; }},
      {"output 0 without pixels", [](HostFrameSet& set) { set.slots[3].data = nullptr; }},
      {"input 0 without a slot", [](HostFrameSet& set) { set.multi.inputs[0] = nullptr; }},
      {"output 0 without a slot", [](HostFrameSet& set) { set.multi.outputs[0] = nullptr; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HostFrameSet set(bytes, 3, 1);
    c.spoil(set);
    const std::vector<uint8_t> output = set.buffers[3];
    MessageCapture capture;
    EXPECT_TRUE(host::failed(instance.processFrameMulti(&set.multi)));
    EXPECT_EQ(capture.finish(), "Qov_Multi: Error: No valid input data present\n");
    EXPECT_EQ(set.buffers[3], output);
  }
  MessageCapture capture;
  EXPECT_TRUE(host::failed(instance.processFrameMulti(nullptr)));
  EXPECT_EQ(capture.finish(), "Qov_Multi: Error: pFrameData == NULL\n");

  // The instance recovers: its next frame runs on its own frame set again.
  std::vector<uint8_t> frame = randomBytes(bytes, 8);
  const std::vector<uint8_t> original = frame;
  EXPECT_EQ(instance.processFrame(frame.data()).uintValue, 0u);
  EXPECT_EQ(frame, original);
}

TEST_P(Dispatch, ParametersAreClampedEvenWhenTheEntryChecksFail) {
  PluginInstance instance = make24();
  instance.setParameter(0, 2.0f);
  instance.setParameter(1, -1.0f);
  MessageCapture capture;
  EXPECT_TRUE(host::failed(instance.processFrameMulti(nullptr)));
  capture.finish();
  EXPECT_EQ(instance.parameter(0), 1.0f);
  EXPECT_EQ(instance.parameter(1), 0.0f);
}

TEST_P(Dispatch, HostFrameSetsStayTheHosts) {
  // A frame set passed through code 16 is read and written but never emptied or released
  // by the instance, also not by later frame calls or by deInstantiate.
  PluginInstance instance = make24();
  HostFrameSet set(instance.frameBytes(), 3, 2);
  HostFrameSet snapshot = set;
  EXPECT_EQ(instance.processFrameMulti(&set.multi).uintValue, 0u);

  std::vector<uint8_t> frame = randomBytes(instance.frameBytes(), 10);
  std::vector<uint8_t> output(instance.frameBytes());
  EXPECT_EQ(instance.processFrame(frame.data()).uintValue, 0u);
  EXPECT_EQ(instance.processFrameMulti(&set.multi).uintValue, 0u);
  EXPECT_EQ(instance.processFrameCopy({frame.data()}, output.data()).uintValue, 0u);
  EXPECT_EQ(instance.processFrameMulti(&set.multi).uintValue, 0u);
  EXPECT_EQ(instance.release().uintValue, 0u);

  EXPECT_EQ(std::memcmp(&set.multi.numInputs, &snapshot.multi.numInputs, sizeof(uint32_t)), 0);
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(set.slots[i].data, set.buffers[i].data());
    EXPECT_EQ(set.slots[i].channels, 3u);
    EXPECT_EQ(set.slots[i].width, kWidth);
    EXPECT_EQ(set.slots[i].format, kFormatInterleaved8);
    EXPECT_EQ(set.buffers[i], snapshot.buffers[i]);
  }
}

INSTANTIATE_TEST_SUITE_P(MattePlugins, Dispatch, ::testing::Values("QovMISetMatte1", "QovSetMatte1"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace qov::test
