// What a Windows host relies on beyond the function codes: plugMain is __stdcall (it
// removes its own three arguments from the stack and returns its 32-bit result in EAX),
// and unloading a DLL unmaps it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <vector>

#include "host/plugin_instance.h"
#include "tests/support/plugin_table.h"

// Calls `function(code, input, instance)` as a host built with another compiler would,
// stores the result register (EAX) in `*result`, and returns how many bytes the stack
// pointer moved across the call: 0 when the callee removes its arguments (__stdcall), 12
// when it leaves them to the caller (__cdecl).
extern "C" int32_t qovStackDeltaOfCall(PlugMainFunction function, uint32_t code, uint32_t input, void* instance,
                                       uint32_t* result);
asm(R"(
    .text
    .globl _qovStackDeltaOfCall
_qovStackDeltaOfCall:
    pushl %ebx
    pushl %esi
    movl  %esp, %esi
    pushl 24(%esi)          # instance
    pushl 20(%esi)          # input
    pushl 16(%esi)          # code
    call  *12(%esi)         # function
    movl  28(%esi), %ecx    # result
    movl  %eax, (%ecx)
    movl  %esi, %eax
    subl  %esp, %eax
    movl  %esi, %esp
    popl  %esi
    popl  %ebx
    ret
)");

namespace qov::test {
namespace {

constexpr uint32_t kWidth = 640;  // large enough for the parallel loops to use every thread
constexpr uint32_t kHeight = 360;
constexpr int32_t kStdcallDelta = 0;

class WindowsLibrary : public ::testing::TestWithParam<std::string> {
 protected:
  const char* path() const { return expectedPlugin(GetParam()).path; }
};

TEST_P(WindowsLibrary, PlugMainIsStdcallWithTheResultInEax) {
  HMODULE module = LoadLibraryA(path());
  ASSERT_NE(module, nullptr);
  auto plugMain = reinterpret_cast<PlugMainFunction>(reinterpret_cast<void*>(GetProcAddress(module, "plugMain")));
  ASSERT_NE(plugMain, nullptr);
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
    EXPECT_EQ(qovStackDeltaOfCall(plugMain, call.code, call.input, nullptr, &result), kStdcallDelta) << call.code;
    EXPECT_EQ(result, call.expected) << call.code;
  }
  FreeLibrary(module);
}

// Windows keeps no library mapped on its own: the unload test of the host-interface suite
// really unmaps the DLL, with the OpenMP worker threads its frames started still idle.
TEST_P(WindowsLibrary, UnloadingUnmapsTheDllAfterParallelFrames) {
  {
    host::PluginLibrary plugin(path());
    ASSERT_EQ(GetModuleHandleA(path()), static_cast<HMODULE>(plugin.nativeHandle()));
    host::PluginInstance instance(plugin, kWidth, kHeight, FF_DEPTH_32);
    std::vector<uint8_t> frame = randomBytes(instance.frameBytes(), 3);
    ASSERT_EQ(instance.processFrame(frame.data()).uintValue, FF_SUCCESS);
    EXPECT_EQ(instance.release().uintValue, FF_SUCCESS);
  }
  EXPECT_EQ(GetModuleHandleA(path()), nullptr);
}

INSTANTIATE_TEST_SUITE_P(AllPlugins, WindowsLibrary, ::testing::Values("QovMLAA1", "QovMISetMatte1", "QovSetMatte1"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace qov::test
