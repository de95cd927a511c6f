// The framework's instance record, in-process with the tests' own plug-in: the frame set
// of a fresh instance, what the frame calls leave in it, and the messages of states that a
// host cannot reach through plugMain (an instance that is not ready, or lacks its frame
// set) but that the entry steps still guard against.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "framework/instance.h"
#include "tests/host_interface/mirror_plugin.h"
#include "tests/support/plugin_table.h"
#include "tests/support/platform.h"

namespace qov::test {
namespace {

constexpr uint32_t kWidth = 13, kHeight = 7;
constexpr VideoInfo kInfo{kWidth, kHeight, FF_DEPTH_24, 0};

struct Instance {
  PlugObj* obj = instantiate(kInfo);
  ~Instance() { deInstantiate(obj); }
};

TEST(InstanceRecord, StartsReadyWithAnEmptyFrameSetOfItsOwn) {
  Instance instance;
  ASSERT_NE(instance.obj, nullptr);
  const PlugObj& obj = *instance.obj;
  EXPECT_TRUE(obj.fMultiReady);
  ASSERT_NE(obj.fMulti, nullptr);
  EXPECT_EQ(obj.fMulti->numInputs, 0u);
  EXPECT_EQ(obj.fMulti->numOutputs, 0u);
  std::set<const ImageSlot*> distinct;
  for (uint32_t i = 0; i < kMaxSlots; ++i) {
    for (const ImageSlot* slot : {obj.fMulti->inputs[i], obj.fMulti->outputs[i]}) {
      ASSERT_NE(slot, nullptr);
      distinct.insert(slot);
      EXPECT_EQ(slot->format, kFormatEmpty);
      EXPECT_EQ(slot->channels, 0u);
      EXPECT_EQ(slot->data, nullptr);
      EXPECT_EQ(slot->data2, nullptr);
      EXPECT_EQ(slot->width + slot->height + slot->reserved1 + slot->reserved2, 0u);
    }
  }
  EXPECT_EQ(distinct.size(), 2 * kMaxSlots);
}

TEST(InstanceRecord, FrameCallsKeepNoAddressOfTheHostsFrames) {
  // Codes 3 and 14 lend the host's frames to the effect through the instance's own frame
  // set for the call only: afterwards it describes one input and one output of the
  // instance's format without pixel memory, so a later call or deInstantiate can neither
  // use nor release the host's frames.
  const FFInstanceID id = call(FF_INSTANTIATE, &kInfo, nullptr).pointerValue;
  ASSERT_NE(id, nullptr);
  const std::size_t bytes = std::size_t{kWidth} * kHeight * 3;
  std::vector<uint8_t> frame = randomBytes(bytes, 7);
  std::vector<uint8_t> out(bytes);
  void* inputs[3] = {frame.data(), out.data(), frame.data()};
  ProcessFrameCopyRecord copy{3, inputs, out.data()};
  for (const bool isCopy : {false, true}) {
    SCOPED_TRACE(isCopy ? "code 14" : "code 3");
    lastFrameSet = nullptr;
    ASSERT_EQ(call(isCopy ? FF_PROCESS_FRAME_COPY : FF_PROCESS_FRAME, isCopy ? static_cast<void*>(&copy) : frame.data(),
                   id).uintValue,
              0u);
    ASSERT_NE(lastFrameSet, nullptr);
    EXPECT_EQ(lastFrameSet->numInputs, 1u) << "only the first input frame is used";
    EXPECT_EQ(lastFrameSet->numOutputs, 1u);
    for (const ImageSlot* slot : {lastFrameSet->inputs[0], lastFrameSet->outputs[0]}) {
      EXPECT_EQ(slot->format, kFormatInterleaved8);
      EXPECT_EQ(slot->channels, 3u);
      EXPECT_EQ(slot->width, kWidth);
      EXPECT_EQ(slot->height, kHeight);
      EXPECT_EQ(slot->data, nullptr);
    }
  }
  EXPECT_EQ(call(FF_DEINSTANTIATE, nullptr, id).uintValue, 0u);
}

TEST(InstanceRecord, TakesOverAHostsCountsAndSlotPointersBeforeTheChecks) {
#if defined(_WIN32)
  GTEST_SKIP() << "the refusal shows a message box";
#else
  Instance instance;
  ImageSlot slot{kFormatInterleaved8, 3, nullptr, kWidth, kHeight, nullptr, 0, 0};
  Qov_Multi host{};
  host.numInputs = 1;
  host.inputs[0] = &slot;
  host.numOutputs = 1;
  host.outputs[0] = &slot;
  MessageCapture capture;
  EXPECT_EQ(instance.obj->processFrameMulti(&host), kFailure);
  EXPECT_EQ(capture.finish(), "Qov_Multi: Error: No valid input data present\n");
  EXPECT_EQ(std::memcmp(instance.obj->fMulti, &host, sizeof(Qov_Multi)), 0);
#endif
}

TEST(InstanceRecord, StatesTheEntryStepsRefuseShowTheirMessages) {
#if defined(_WIN32)
  GTEST_SKIP() << "the refusals show message boxes";
#else
  Instance instance;
  PlugObj& obj = *instance.obj;
  std::vector<uint8_t> frame = randomBytes(std::size_t{kWidth} * kHeight * 3, 9);
  std::vector<uint8_t> output = frame;
  const std::string notReady = "pPlugObj->fMultiReady is false, setup for processing hasn't been done.\n";

  obj.fMultiReady = false;
  {
    MessageCapture capture;
    EXPECT_EQ(obj.processFrame(frame.data()), kFailure);
    EXPECT_EQ(capture.finish(), "processFrame Error: " + notReady);
  }
  {
    MessageCapture capture;
    void* inputs[1] = {frame.data()};
    EXPECT_EQ(obj.processFrameCopy(ProcessFrameCopyRecord{1, inputs, output.data()}), kFailure);
    EXPECT_EQ(capture.finish(), "processFrameCopy Error: " + notReady);
  }
  {
    MessageCapture capture;
    EXPECT_EQ(obj.processFrameMulti(obj.fMulti), kFailure);
    EXPECT_EQ(capture.finish(), "Qov_Multi: Error: fMultiReady == false\n");
  }
  obj.fMultiReady = true;

  Qov_Multi* own = obj.fMulti;
  obj.fMulti = nullptr;
  {
    MessageCapture capture;
    EXPECT_EQ(obj.processFrameMulti(own), kFailure);
    EXPECT_EQ(capture.finish(), "Qov_Multi: Error: fMulti == NULL\n");
  }
  obj.fMulti = own;
#endif
}

}  // namespace
}  // namespace qov::test
