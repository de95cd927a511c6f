// Bad input from a host that the other suites do not already cover: memory that runs out,
// frames of no pixels with any other side, host slot records with odd fields, output
// buffers that are an input or overlap one, frame sets the host releases right after the
// call, ids that are no live instance, and channel counts the matte effects cannot use.
// Each case has a defined answer (README, "Bad input").
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "host/frame_set.h"
#include "host/plugin_instance.h"
#include "tests/support/plugin_table.h"
#include "tests/support/stderr_capture.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QOV_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QOV_UNDER_SANITIZER 1
#endif
#endif

namespace qov::test {
namespace {

using host::PluginInstance;

constexpr uint32_t kWidth = 23;
constexpr uint32_t kHeight = 11;

// A one-input frame set over the host's own slot records and buffers.
struct HostSet {
  ImageSlot input{}, output{};
  std::vector<uint8_t> inputPixels, outputPixels;
  Qov_Multi multi{};

  HostSet(const PluginInstance& instance, uint32_t seed) {
    inputPixels = randomBytes(instance.frameBytes(), seed);
    outputPixels = randomBytes(instance.frameBytes(), seed + 1);
    const VideoInfo& info = instance.videoInfo();
    input = ImageSlot{kFormatInterleaved8, instance.bytesPerPixel(), inputPixels.data(), info.frameWidth,
                      info.frameHeight, nullptr, 0, 0};
    output = input;
    output.data = outputPixels.data();
    multi.numInputs = 1;
    multi.inputs[0] = &input;
    multi.numOutputs = 1;
    multi.outputs[0] = &output;
  }
};

class BadInput : public ::testing::TestWithParam<std::string> {
 protected:
  const host::PluginLibrary& lib() const { return library(GetParam()); }
  // A setting under which every plug-in changes a random frame.
  void setWorkingParameters(PluginInstance& instance) const {
    for (uint32_t i = 0; i < lib().numParameters(); ++i) instance.setParameter(i, i == 0 ? 1.0f : 0.25f);
  }
};

TEST_P(BadInput, FramesOfNoPixelsWithAnyOtherSide) {
  // 0 x anything and anything x 0 are accepted; every frame call then succeeds and writes nothing.
  for (const VideoInfo info : {VideoInfo{0xFFFFFFFFu, 0, FF_DEPTH_32, 0}, VideoInfo{0, 0xFFFFFFFFu, FF_DEPTH_24, 0},
                               VideoInfo{0x80000000u, 0, FF_DEPTH_24, 0}}) {
    SCOPED_TRACE(info.frameWidth);
    PluginInstance instance(lib(), info);
    uint8_t frame[4] = {1, 2, 3, 4}, output[4] = {5, 6, 7, 8};
    EXPECT_EQ(instance.processFrame(frame).uintValue, 0u);
    EXPECT_EQ(instance.processFrameCopy({frame}, output).uintValue, 0u);
    ImageSlot in{kFormatInterleaved8, 4, frame, info.frameWidth, info.frameHeight, nullptr, 0, 0};
    ImageSlot out = in;
    out.data = output;
    Qov_Multi set{};
    set.numInputs = 2;
    set.inputs[0] = set.inputs[1] = &in;
    set.numOutputs = 1;
    set.outputs[0] = &out;
    EXPECT_EQ(instance.processFrameMulti(&set).uintValue, 0u);
    EXPECT_EQ(std::memcmp(frame, "\1\2\3\4", 4), 0);
    EXPECT_EQ(std::memcmp(output, "\5\6\7\10", 4), 0);
  }
}

TEST_P(BadInput, HostSlotFieldsBesideChannelsPixelsAndSizeAreIgnored) {
  // A host slot's format, second buffer and reserved words change nothing, and neither
  // does a size left unset (0 x 0): the frame size is the instance's.
  PluginInstance instance(lib(), kWidth, kHeight, FF_DEPTH_32);
  setWorkingParameters(instance);
  HostSet plain(instance, 3);
  ASSERT_EQ(instance.processFrameMulti(&plain.multi).uintValue, 0u);

  HostSet odd(instance, 3);
  uint8_t hostSecondBuffer[8] = {};
  for (ImageSlot* slot : {&odd.input, &odd.output}) {
    slot->format = 0xDEADBEEFu;
    slot->width = 0;
    slot->height = 0;
    slot->data2 = hostSecondBuffer;
    slot->reserved1 = slot->reserved2 = 0xFFFFFFFFu;
  }
  ASSERT_EQ(instance.processFrameMulti(&odd.multi).uintValue, 0u);
  EXPECT_EQ(odd.outputPixels, plain.outputPixels);
  EXPECT_EQ(odd.output.data2, hostSecondBuffer) << "the host's records are not rewritten";
}

TEST_P(BadInput, ProcessFrameCopyIntoAnOutputThatOverlapsItsInput) {
  // An output frame that shares part of the input's memory: the effect reads the input
  // as it was before the call (a copy, as the effect cannot run on such buffers) and the
  // result is what separate buffers give.
  for (uint32_t depth : {FF_DEPTH_24, FF_DEPTH_32}) {
    SCOPED_TRACE(depth);
    PluginInstance instance(lib(), kWidth, kHeight, depth);
    setWorkingParameters(instance);
    const std::size_t bytes = instance.frameBytes();
    const std::size_t shift = (kHeight / 2) * kWidth * instance.bytesPerPixel();
    std::vector<uint8_t> shared = randomBytes(bytes + shift, 13);
    std::vector<uint8_t> input(shared.begin(), shared.begin() + bytes);
    std::vector<uint8_t> expected(shared.begin() + shift, shared.end());
    ASSERT_EQ(instance.processFrameCopy({input.data()}, expected.data()).uintValue, 0u);
    ASSERT_EQ(instance.processFrameCopy({shared.data()}, shared.data() + shift).uintValue, 0u);
    EXPECT_EQ(std::vector<uint8_t>(shared.begin() + shift, shared.end()), expected);
  }
}

TEST_P(BadInput, OutputMayBeTheInput) {
  // Code 16 with the output slot being the input slot, and code 14 with the output frame
  // being the input frame, give what separate buffers give.
  for (uint32_t depth : {FF_DEPTH_24, FF_DEPTH_32}) {
    SCOPED_TRACE(depth);
    PluginInstance instance(lib(), kWidth, kHeight, depth);
    setWorkingParameters(instance);
    HostSet separate(instance, 5);
    ASSERT_EQ(instance.processFrameMulti(&separate.multi).uintValue, 0u);
    const bool writes = depth == FF_DEPTH_32 || GetParam() == "QovMLAA1";
    const std::vector<uint8_t> expected = writes ? separate.outputPixels : randomBytes(instance.frameBytes(), 5);

    HostSet shared(instance, 5);
    shared.multi.outputs[0] = &shared.input;
    ASSERT_EQ(instance.processFrameMulti(&shared.multi).uintValue, 0u);
    EXPECT_EQ(shared.inputPixels, expected);

    std::vector<uint8_t> copyInput = randomBytes(instance.frameBytes(), 5);
    std::vector<uint8_t> copyOutput = randomBytes(instance.frameBytes(), 6);
    ASSERT_EQ(instance.processFrameCopy({copyInput.data()}, copyOutput.data()).uintValue, 0u);
    std::vector<uint8_t> inPlace = randomBytes(instance.frameBytes(), 5);
    ASSERT_EQ(instance.processFrameCopy({inPlace.data()}, inPlace.data()).uintValue, 0u);
    EXPECT_EQ(inPlace, writes ? copyOutput : randomBytes(instance.frameBytes(), 5));
  }
}

TEST_P(BadInput, FrameSetWhoseOutputOverlapsPartOfAnInput) {
  // Code 16 whose output shares part of input 0's or input 1's memory, starting after it or
  // before it: the effect reads the inputs as they were before the call, and the result is
  // what separate buffers give, whatever the worker threads' timing. The frame is split
  // among the threads.
  constexpr uint32_t kSplitWidth = 160, kSplitHeight = 120;
  for (uint32_t depth : {FF_DEPTH_24, FF_DEPTH_32}) {
    PluginInstance instance(lib(), kSplitWidth, kSplitHeight, depth);
    setWorkingParameters(instance);
    const std::size_t bytes = instance.frameBytes();
    const uint32_t channels = instance.bytesPerPixel();
    for (const std::size_t shift : {bytes / 2, std::size_t{channels} * 5 + 1}) {
      for (const bool outputFirst : {false, true}) {
        for (const uint32_t overlapping : {0u, 1u}) {
          SCOPED_TRACE(std::to_string(depth) + ", shift " + std::to_string(shift) + (outputFirst ? ", output first" : "") +
                       ", input " + std::to_string(overlapping));
          const std::vector<uint8_t> shared = randomBytes(bytes + shift, 21);
          const std::vector<uint8_t> other = randomBytes(bytes, 22);
          const std::size_t inputAt = outputFirst ? shift : 0, outputAt = outputFirst ? 0 : shift;

          std::vector<uint8_t> sharedInput(shared.begin() + inputAt, shared.begin() + inputAt + bytes);
          std::vector<uint8_t> expected(shared.begin() + outputAt, shared.begin() + outputAt + bytes);
          const uint8_t* separateInputs[2] = {other.data(), other.data()};
          separateInputs[overlapping] = sharedInput.data();
          host::FrameSet separate(kSplitWidth, kSplitHeight, channels, {separateInputs[0], separateInputs[1]},
                                  expected.data());
          ASSERT_EQ(instance.processFrameMulti(separate.get()).uintValue, 0u);

          std::vector<uint8_t> memory = shared;
          const uint8_t* inputs[2] = {other.data(), other.data()};
          inputs[overlapping] = memory.data() + inputAt;
          host::FrameSet overlapped(kSplitWidth, kSplitHeight, channels, {inputs[0], inputs[1]},
                                    memory.data() + outputAt);
          ASSERT_EQ(instance.processFrameMulti(overlapped.get()).uintValue, 0u);
          EXPECT_TRUE(std::equal(expected.begin(), expected.end(), memory.begin() + outputAt));
        }
      }
    }
  }
}

TEST_P(BadInput, IdsThatAreNoLiveInstanceAreRefused) {
  // An instance id after its deInstantiate, another library's instance, an address inside an
  // instance, the host's own memory, an address where nothing is mapped: every instance call
  // answers -1 and writes nothing, and the library carries on. (In a child process, so that
  // a crash fails this test alone.)
  const host::PluginLibrary& plugin = lib();
  const char* otherName = GetParam() == "QovSetMatte1" ? "QovMLAA1" : "QovSetMatte1";
  auto child = [&] {
    PluginInstance live(plugin, kWidth, kHeight, FF_DEPTH_32);
    PluginInstance foreign(library(otherName), kWidth, kHeight, FF_DEPTH_32);
    PluginInstance released(plugin, kWidth, kHeight, FF_DEPTH_32);
    const FFInstanceID gone = released.id();
    if (released.release().uintValue != FF_SUCCESS) std::_Exit(2);
    alignas(16) uint8_t hostMemory[1024] = {};
    const FFInstanceID kUnmapped = reinterpret_cast<FFInstanceID>(std::uintptr_t{0x1000});
    const FFInstanceID ids[] = {gone, foreign.id(), static_cast<uint8_t*>(live.id()) + 16, hostMemory, kUnmapped};

    std::vector<uint8_t> frame = randomBytes(live.frameBytes(), 30), output(live.frameBytes(), 0x5A);
    const std::vector<uint8_t> frameBefore = frame, outputBefore = output;
    SetParameterRecord set{};
    set.value.floatValue = 0.5f;
    void* inputs[1] = {frame.data()};
    ProcessFrameCopyRecord copy{1, inputs, output.data()};
    host::FrameSet frameSet(kWidth, kHeight, 4, {frame.data()}, output.data());
    const struct {
      uint32_t code;
      const void* argument;
    } calls[] = {{FF_PROCESS_FRAME, frame.data()}, {FF_GET_PARAMETER_DISPLAY, nullptr}, {FF_SET_PARAMETER, &set},
                 {FF_GET_PARAMETER, nullptr},      {FF_PROCESS_FRAME_COPY, &copy},      {FF_PROCESS_FRAME_MULTI, frameSet.get()},
                 {FF_DEINSTANTIATE, nullptr}};
    int accepted = 0;
    for (const FFInstanceID id : ids)
      for (const auto& call : calls) accepted += !host::failed(plugin.callPointer(call.code, call.argument, id));
    if (accepted != 0) std::_Exit(3);
    if (frame != frameBefore || output != outputBefore) std::_Exit(4);
    for (uint8_t byte : hostMemory)
      if (byte != 0) std::_Exit(5);
    if (live.processFrame(frame.data()).uintValue != FF_SUCCESS) std::_Exit(6);
    if (live.release().uintValue != FF_SUCCESS || foreign.release().uintValue != FF_SUCCESS) std::_Exit(7);
    std::_Exit(0);
  };
  EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "^$");
}

TEST_P(BadInput, FrameSetsReleasedByTheHostRightAfterTheCall) {
  // The instance keeps the host's slot pointers after code 16 but never uses them again:
  // the next frame calls and deInstantiate work on its own frame set. (Under the address
  // sanitizer any later use of the released records would fail this test.)
  PluginInstance instance(lib(), kWidth, kHeight, FF_DEPTH_32);
  auto set = std::make_unique<HostSet>(instance, 7);
  ASSERT_EQ(instance.processFrameMulti(&set->multi).uintValue, 0u);
  set.reset();
  std::vector<uint8_t> frame = randomBytes(instance.frameBytes(), 8), output(instance.frameBytes());
  EXPECT_EQ(instance.processFrame(frame.data()).uintValue, 0u);

  set = std::make_unique<HostSet>(instance, 9);
  ASSERT_EQ(instance.processFrameMulti(&set->multi).uintValue, 0u);
  set.reset();
  EXPECT_EQ(instance.processFrameCopy({frame.data()}, output.data()).uintValue, 0u);

  set = std::make_unique<HostSet>(instance, 10);
  ASSERT_EQ(instance.processFrameMulti(&set->multi).uintValue, 0u);
  set.reset();
  EXPECT_EQ(instance.release().uintValue, 0u);
}

TEST_P(BadInput, NoMemoryRefusesOnlyTheInstance) {
#if defined(QOV_UNDER_SANITIZER)
  GTEST_SKIP() << "the sanitizers reserve more address space than the limit allows";
#else
  if (std::getenv("QOV_TEST_EMULATOR") != nullptr)
    GTEST_SKIP() << "a user-mode emulator takes address-space limits without enforcing them";
  // Run in a child process whose address space is limited to what it already uses plus a
  // little: the antialiasing plug-in cannot get its working images and refuses the
  // instance; the matte plug-ins allocate nothing, not even at the first frame (the
  // effect runs on the host's frame), and process it.
  constexpr uint32_t kSide = 4096;  // 64 MiB per 4-byte frame
  constexpr std::size_t kHeadroom = 16u << 20;
  const bool antialias = GetParam() == "QovMLAA1";
  const host::PluginLibrary& plugin = lib();
  auto child = [&] {
    std::vector<uint8_t> frame(std::size_t{kSide} * kSide * 4, 0x3C);
    VideoInfo info{kSide, kSide, FF_DEPTH_32, 0};
    unsigned long pages = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr || std::fscanf(statm, "%lu", &pages) != 1) std::_Exit(2);
    std::fclose(statm);
    const rlim_t limit = static_cast<rlim_t>(pages) * 4096u + kHeadroom;
    const rlimit rl{limit, limit};
    if (setrlimit(RLIMIT_AS, &rl) != 0) std::_Exit(3);
    const FFMixed id = plugin.callPointer(FF_INSTANTIATE, &info);
    if (antialias) std::_Exit(host::failed(id) ? 0 : 4);
    if (host::failed(id)) std::_Exit(5);
    const FFMixed result = plugin.callPointer(FF_PROCESS_FRAME, frame.data(), id.pointerValue);
    if (result.uintValue != 0) std::_Exit(6);
    plugin.call(FF_DEINSTANTIATE, 0u, id.pointerValue);
    std::_Exit(0);
  };
  EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "^$");
#endif
}

INSTANTIATE_TEST_SUITE_P(AllPlugins, BadInput, ::testing::Values("QovMLAA1", "QovSetMatte1", "QovMISetMatte1"),
                         [](const auto& info) { return info.param; });

TEST(BadInputMattes, FrameSetsWithoutAnAlphaByteAreLeftAlone) {
  // The matte needs a fourth byte: any other channel count in input slot 0 (and the
  // output, which must agree) gives 0 and leaves the output as the host prepared it.
  for (const char* plugin : {"QovSetMatte1", "QovMISetMatte1"}) {
    PluginInstance instance(library(plugin), kWidth, kHeight, FF_DEPTH_32);
    for (uint32_t channels : {0u, 1u, 2u, 3u, 5u, 0xFFFFFFFFu}) {
      SCOPED_TRACE(std::string(plugin) + " " + std::to_string(channels));
      HostSet set(instance, 12);
      set.input.channels = set.output.channels = channels;
      const std::vector<uint8_t> before = set.outputPixels;
      StderrCapture capture;
      EXPECT_EQ(instance.processFrameMulti(&set.multi).uintValue, 0u);
      EXPECT_EQ(capture.finish(), "");
      EXPECT_EQ(set.outputPixels, before);
    }
  }
}

}  // namespace
}  // namespace qov::test
