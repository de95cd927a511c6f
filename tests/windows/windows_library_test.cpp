// What a Windows host relies on beyond the function codes: plugMain is __stdcall (it
// removes its own three arguments from the stack and returns its 32-bit result in EAX),
// it works on a stack aligned to 4 bytes only (as other compilers' hosts call it), and a
// DLL can be unloaded and loaded again, leaving no thread behind.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <thread>
#include <vector>

#include "host/plugin_instance.h"
#include "tests/support/plugin_table.h"
#include "tests/support/thread_count.h"

// Calls `function(code, input, instance)` as a host built with another compiler might:
// the stack pointer at the function's entry is `16 - misalignment` modulo 16 (12 is what
// GCC itself would give). Stores the result register (EAX) in `*result` and returns how
// many bytes the stack pointer moved across the call: 0 when the callee removes its
// arguments (__stdcall), 12 when it leaves them to the caller (__cdecl).
extern "C" int32_t qovCallPlugMain(PlugMainFunction function, uint32_t code, uint32_t input, void* instance,
                                   uint32_t* result, uint32_t misalignment);
asm(R"(
    .text
    .globl _qovCallPlugMain
_qovCallPlugMain:
    pushl %ebx
    pushl %esi
    movl  %esp, %esi
    andl  $-16, %esp
    subl  32(%esi), %esp    # misalignment
    movl  %esp, %ebx
    pushl 24(%esi)          # instance
    pushl 20(%esi)          # input
    pushl 16(%esi)          # code
    call  *12(%esi)         # function
    movl  28(%esi), %ecx    # result
    movl  %eax, (%ecx)
    movl  %ebx, %eax
    subl  %esp, %eax
    movl  %esi, %esp
    popl  %esi
    popl  %ebx
    ret
)");

namespace qov::test {
namespace {

constexpr uint32_t kWidth = 640;  // a frame the passes split across threads
constexpr uint32_t kHeight = 360;
constexpr int32_t kStdcallDelta = 0;
constexpr int kLoadRounds = 10;
constexpr DWORD kIdleMilliseconds = 2;
constexpr uint32_t kGccMisalignment = 4;
constexpr uint32_t kMisalignments[] = {0, 4, 8, 12};

class WindowsLibrary : public ::testing::TestWithParam<std::string> {
 protected:
  const char* path() const { return expectedPlugin(GetParam()).path; }
  PlugMainFunction plugMain(HMODULE module) const {
    return reinterpret_cast<PlugMainFunction>(reinterpret_cast<void*>(GetProcAddress(module, "plugMain")));
  }
};

TEST_P(WindowsLibrary, PlugMainIsStdcallWithTheResultInEax) {
  HMODULE module = LoadLibraryA(path());
  ASSERT_NE(module, nullptr);
  ASSERT_NE(plugMain(module), nullptr);
  EXPECT_EQ(GetProcAddress(module, "plugMain@12"), nullptr) << "no decorated name";
  struct Call {
    uint32_t code;
    uint32_t input;
    uint32_t expected;
  };
  const Call calls[] = {
      {FF_GET_PLUGIN_CAPS, 15, 3},                 // copy-or-in-place preference
      {FF_GET_PARAMETER_DEFAULT, 0, 0x3F800000u},  // a float travels as its bits
      {FF_INITIALISE, 0, FF_SUCCESS},
      {0xFFFFFFFFu, 0, FF_FAIL},
  };
  for (const Call& call : calls) {
    uint32_t result = 0;
    EXPECT_EQ(qovCallPlugMain(plugMain(module), call.code, call.input, nullptr, &result, kGccMisalignment),
              kStdcallDelta)
        << call.code;
    EXPECT_EQ(result, call.expected) << call.code;
  }
  FreeLibrary(module);
}

// The vector kernels keep 16-, 32- and 64-byte values on the stack; the DLL must align its
// own stack for them instead of trusting the caller's.
TEST_P(WindowsLibrary, FramesOnAStackOfAnyFourByteAlignment) {
  host::PluginLibrary plugin(path());
  host::PluginInstance instance(plugin, kWidth, kHeight, FF_DEPTH_32);
  const std::vector<uint8_t> input = randomBytes(instance.frameBytes(), 5);
  std::vector<uint8_t> expected = input;
  ASSERT_EQ(instance.processFrame(expected.data()).uintValue, FF_SUCCESS);
  for (uint32_t misalignment : kMisalignments) {
    SCOPED_TRACE(misalignment);
    std::vector<uint8_t> frame = input;
    uint32_t result = FF_FAIL;
    EXPECT_EQ(qovCallPlugMain(plugMain(static_cast<HMODULE>(plugin.nativeHandle())), FF_PROCESS_FRAME,
                              reinterpret_cast<uintptr_t>(frame.data()), instance.id(), &result, misalignment),
              kStdcallDelta);
    EXPECT_EQ(result, FF_SUCCESS);
    EXPECT_EQ(frame, expected);
  }
}

// A host that loads and unloads a DLL again and again keeps working and gets the same
// bytes from every load. The instance's worker threads (one, with QOV_THREADS=2 on a
// machine of two or more hardware threads) exist while it does and are joined by its
// deInstantiate; the unload then really unmaps the DLL, with no thread of it left.
TEST_P(WindowsLibrary, UnloadedAndLoadedAgainAfterFramesLeavingNoThread) {
  _putenv("QOV_THREADS=2");
  const int workers = std::thread::hardware_concurrency() >= 2 ? 1 : 0;
  // GoogleTest on Windows starts a thread of its own the first time a thread keeps a trace;
  // it belongs in the count before anything is loaded.
  SCOPED_TRACE(path());
  const int before = processThreadCount();
  ASSERT_GT(before, 0);
  std::vector<uint8_t> firstOutput;
  for (int round = 0; round < kLoadRounds; ++round) {
    SCOPED_TRACE(round);
    for (uint32_t depth : {FF_DEPTH_24, FF_DEPTH_32}) {
      {
        host::PluginLibrary plugin(path());
        ASSERT_EQ(GetModuleHandleA(path()), static_cast<HMODULE>(plugin.nativeHandle()));
        host::PluginInstance instance(plugin, kWidth, kHeight, depth);
        EXPECT_EQ(processThreadCount(), before + workers);
        std::vector<uint8_t> frame = randomBytes(instance.frameBytes(), 3);
        ASSERT_EQ(instance.processFrame(frame.data()).uintValue, FF_SUCCESS);
        if (depth == FF_DEPTH_32) {
          if (round == 0) firstOutput = frame;
          EXPECT_EQ(frame, firstOutput);
        }
        EXPECT_EQ(instance.release().uintValue, FF_SUCCESS);
        EXPECT_EQ(processThreadCountAfterJoin(before), before) << "joined by the last deInstantiate";
      }
      EXPECT_EQ(GetModuleHandleA(path()), nullptr);
      Sleep(kIdleMilliseconds);
      EXPECT_EQ(processThreadCountAfterJoin(before), before) << "no thread left after the unload";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllPlugins, WindowsLibrary, ::testing::Values("QovMLAA1", "QovMISetMatte1", "QovSetMatte1"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace qov::test
