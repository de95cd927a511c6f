// A hostile host: code 16 frame sets whose slots disagree with the instance (channel
// counts, declared sizes, a second input too narrow for the two-input matte), each slot's
// buffer exactly as large as the slot declares and followed by an inaccessible page, so
// that any access past a buffer's end faults. Every such set must be refused with the
// frame-set message and nothing written; sets that agree run within their buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "host/plugin_instance.h"
#include "tests/support/platform.h"
#include "tests/support/plugin_table.h"

namespace qov::test {
namespace {

using host::PluginInstance;

constexpr uint32_t kWidth = 64;
constexpr uint32_t kHeight = 48;

// `bytes` of host memory that end where a page without access begins.
class GuardedBuffer {
 public:
  GuardedBuffer(std::size_t bytes, uint32_t seed) {
    const std::size_t page = pageSize();
    const std::size_t dataPages = (bytes + page - 1) / page;
    mapped_ = (dataPages + 1) * page;
#if defined(_WIN32)
    base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, mapped_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD previous = 0;
    if (base_ == nullptr || !VirtualProtect(base_ + dataPages * page, page, PAGE_NOACCESS, &previous))
      throw std::runtime_error("no guarded buffer");
#else
    void* base = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) throw std::runtime_error("no guarded buffer");
    base_ = static_cast<uint8_t*>(base);
    if (mprotect(base_ + dataPages * page, page, PROT_NONE) != 0) throw std::runtime_error("no guard page");
#endif
    data_ = base_ + dataPages * page - bytes;
    bytes_ = bytes;
    const std::vector<uint8_t> content = randomBytes(bytes, seed);
    if (bytes != 0) std::memcpy(data_, content.data(), bytes);
  }
  ~GuardedBuffer() {
#if defined(_WIN32)
    VirtualFree(base_, 0, MEM_RELEASE);
#else
    munmap(base_, mapped_);
#endif
  }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  uint8_t* data() const { return data_; }
  std::vector<uint8_t> bytes() const { return std::vector<uint8_t>(data_, data_ + bytes_); }

 private:
  static std::size_t pageSize() {
#if defined(_WIN32)
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
#else
    return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
#endif
  }

  uint8_t* base_ = nullptr;
  uint8_t* data_ = nullptr;
  std::size_t mapped_ = 0;
  std::size_t bytes_ = 0;
};

// What a host writes into a slot; 0 channels stand for "the instance's bytes per pixel".
struct Declared {
  uint32_t channels;
  uint32_t width;
  uint32_t height;
};

// A slot and its guarded buffer of exactly the declared size (the instance's size when
// both sides are 0).
struct GuardedSlot {
  ImageSlot slot;
  GuardedBuffer buffer;

  GuardedSlot(Declared declared, const PluginInstance& instance, uint32_t seed)
      : slot{}, buffer(bytesOf(declared, instance), seed) {
    slot = ImageSlot{kFormatInterleaved8, channelsOf(declared, instance), buffer.data(), declared.width,
                     declared.height, nullptr, 0, 0};
  }
  static uint32_t channelsOf(Declared declared, const PluginInstance& instance) {
    return declared.channels != 0 ? declared.channels : instance.bytesPerPixel();
  }
  static std::size_t bytesOf(Declared declared, const PluginInstance& instance) {
    const bool unset = declared.width == 0 && declared.height == 0;
    return std::size_t{unset ? kWidth : declared.width} * (unset ? kHeight : declared.height) *
           channelsOf(declared, instance);
  }
};

constexpr Declared kAgreeing{0, kWidth, kHeight};

struct Case {
  const char* what;
  Declared input, output;
  bool twoInputs;
  Declared second;
};

// Sets every plug-in refuses: the slots the effect reads and writes disagree with the
// instance or with each other.
const Case kDisagreeing[] = {
    {"4-channel input, 3-channel output", {4, kWidth, kHeight}, {3, kWidth, kHeight}, false, {}},
    {"3-channel input, 4-channel output", {3, kWidth, kHeight}, {4, kWidth, kHeight}, false, {}},
    {"both slots half the size", {0, kWidth / 2, kHeight / 2}, {0, kWidth / 2, kHeight / 2}, false, {}},
    {"input half the size", {0, kWidth / 2, kHeight / 2}, kAgreeing, false, {}},
    {"output half the size", kAgreeing, {0, kWidth / 2, kHeight / 2}, false, {}},
    {"output with width 0 only", kAgreeing, {0, 0, kHeight}, false, {}},
    {"input twice the size", {0, 2 * kWidth, 2 * kHeight}, {0, 2 * kWidth, 2 * kHeight}, false, {}},
};

// Sets only the two-input matte refuses: the second input it reads is too narrow or
// declares another size.
const Case kDisagreeingSecondInput[] = {
    {"3-channel second input", {4, kWidth, kHeight}, {4, kWidth, kHeight}, true, {3, kWidth, kHeight}},
    {"second input half the size", {4, kWidth, kHeight}, {4, kWidth, kHeight}, true, {4, kWidth / 2, kHeight / 2}},
};

class HostileHost : public ::testing::TestWithParam<std::string> {
 protected:
  const host::PluginLibrary& lib() const { return library(GetParam()); }

  PluginInstance makeInstance(uint32_t depth) const {
    PluginInstance instance(lib(), kWidth, kHeight, depth);
    for (uint32_t i = 0; i < lib().numParameters(); ++i) instance.setParameter(i, i == 0 ? 1.0f : 0.25f);
    return instance;
  }

  // Runs the case through code 16 and returns its result, checking that a refusal shows
  // the frame-set message and leaves every buffer as it was.
  static uint32_t run(const PluginInstance& instance, const Case& c, std::vector<uint8_t>* output = nullptr) {
    GuardedSlot input(c.input, instance, 1), out(c.output, instance, 2), second(c.second, instance, 3);
    Qov_Multi set{};
    set.numInputs = c.twoInputs ? 2 : 1;
    set.inputs[0] = &input.slot;
    set.inputs[1] = &second.slot;
    set.numOutputs = 1;
    set.outputs[0] = &out.slot;
    const std::vector<uint8_t> inputBefore = input.buffer.bytes(), outputBefore = out.buffer.bytes(),
                               secondBefore = second.buffer.bytes();
    MessageCapture capture;
    const uint32_t result = instance.processFrameMulti(&set).uintValue;
    const std::string messages = capture.finish();
    EXPECT_EQ(input.buffer.bytes(), inputBefore);
    EXPECT_EQ(second.buffer.bytes(), secondBefore);
    if (result != 0) {
      EXPECT_EQ(messages, "Qov_Multi: Error: No valid input data present\n");
      EXPECT_EQ(out.buffer.bytes(), outputBefore);
    }
    if (output != nullptr) *output = out.buffer.bytes();
    return result;
  }
};

TEST_P(HostileHost, SlotsThatDisagreeWithTheInstanceAreRefused) {
  for (const uint32_t depth : {FF_DEPTH_24, FF_DEPTH_32}) {
    const PluginInstance instance = makeInstance(depth);
    for (const Case& c : kDisagreeing) {
      SCOPED_TRACE(std::string(c.what) + (depth == FF_DEPTH_32 ? " at 32 bits" : " at 24 bits"));
      EXPECT_EQ(run(instance, c), FF_FAIL);
    }
    if (GetParam() != "QovMISetMatte1") continue;
    for (const Case& c : kDisagreeingSecondInput) {
      SCOPED_TRACE(std::string(c.what) + (depth == FF_DEPTH_32 ? " at 32 bits" : " at 24 bits"));
      EXPECT_EQ(run(instance, c), FF_FAIL);
    }
  }
}

TEST_P(HostileHost, AgreeingSlotsRunWithinTheirBuffers) {
  // The instance's size declared or left unset (0 x 0), buffers exactly as large: the
  // result is code 14's on the same frame. A second input the matte does not read (its
  // first input has no alpha byte) may declare anything.
  for (const uint32_t depth : {FF_DEPTH_24, FF_DEPTH_32}) {
    const PluginInstance instance = makeInstance(depth);
    for (const Declared declared : {kAgreeing, Declared{0, 0, 0}}) {
      SCOPED_TRACE(std::to_string(depth) + (declared.width == 0 ? " unset size" : " declared size"));
      const Case c{"agreeing", declared, declared, false, {}};
      std::vector<uint8_t> output;
      ASSERT_EQ(run(instance, c, &output), 0u);
      std::vector<uint8_t> frame = randomBytes(instance.frameBytes(), 1);
      std::vector<uint8_t> copyOutput = randomBytes(instance.frameBytes(), 2);
      ASSERT_EQ(instance.processFrameCopy({frame.data()}, copyOutput.data()).uintValue, 0u);
      EXPECT_EQ(output, copyOutput);
    }
    if (GetParam() == "QovMISetMatte1") {
      EXPECT_EQ(run(instance, {"4-channel pair", {4, kWidth, kHeight}, {4, kWidth, kHeight}, true, {4, 0, 0}}), 0u);
      EXPECT_EQ(run(instance, {"second not read", {3, kWidth, kHeight}, {3, kWidth, kHeight}, true, {3, 1, 1}}), 0u);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllPlugins, HostileHost, ::testing::Values("QovMLAA1", "QovSetMatte1", "QovMISetMatte1"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace qov::test
