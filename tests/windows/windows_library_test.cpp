// What a Windows host relies on beyond the function codes: plugMain has the platform's
// calling convention as a host built with another compiler calls it (32-bit: __stdcall, it
// removes its own three arguments from the stack, returns its result in EAX and works on a
// stack aligned to 4 bytes only; 64-bit: arguments in RCX, RDX and R8, the result in RAX,
// the registers a caller may keep values in left as they were), a DLL can be unloaded and
// loaded again, leaving no thread behind, and it starts no more workers than the process may
// use CPUs.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <thread>
#include <vector>

#include "host/plugin_instance.h"
#include "tests/support/plugin_table.h"
#include "tests/support/thread_count.h"

#if defined(__i386__)
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
#elif defined(__x86_64__)
// Calls `function(code, input, instance)` by the 64-bit Windows convention, written out:
// code in ECX, input in RDX, instance in R8, 32 bytes of spill space above the return
// address, the stack 16-byte aligned at the call. RBX, RBP, RSI, RDI and R12 to R15 hold
// known values across the call. Stores RAX in `*result` and returns 0 when all those
// registers still hold their values, 1 otherwise.
extern "C" int32_t qovCallPlugMain(PlugMainFunction function, uint32_t code, uint64_t input, void* instance,
                                   uint64_t* result);
asm(R"(
    .text
    .globl qovCallPlugMain
qovCallPlugMain:
    pushq %rbx
    pushq %rbp
    pushq %rsi
    pushq %rdi
    pushq %r12
    pushq %r13
    pushq %r14
    pushq %r15
    subq  $40, %rsp         # spill space; with the 8 saved registers the stack is 16-byte aligned
    movq  %rcx, %rax        # function
    movl  %edx, %ecx        # code
    movq  %r8, %rdx         # input
    movq  %r9, %r8          # instance
    movabsq $0x0101010101010101, %rbx
    movabsq $0x0202020202020202, %rbp
    movabsq $0x0303030303030303, %rsi
    movabsq $0x0404040404040404, %rdi
    movabsq $0x0505050505050505, %r12
    movabsq $0x0606060606060606, %r13
    movabsq $0x0707070707070707, %r14
    movabsq $0x0808080808080808, %r15
    call  *%rax
    movq  144(%rsp), %rcx   # result: the fifth argument, above the spill space and saved registers
    movq  %rax, (%rcx)
    movabsq $0x0101010101010101, %rcx
    xorq  %rcx, %rbx
    movabsq $0x0202020202020202, %rcx
    xorq  %rcx, %rbp
    orq   %rbp, %rbx
    movabsq $0x0303030303030303, %rcx
    xorq  %rcx, %rsi
    orq   %rsi, %rbx
    movabsq $0x0404040404040404, %rcx
    xorq  %rcx, %rdi
    orq   %rdi, %rbx
    movabsq $0x0505050505050505, %rcx
    xorq  %rcx, %r12
    orq   %r12, %rbx
    movabsq $0x0606060606060606, %rcx
    xorq  %rcx, %r13
    orq   %r13, %rbx
    movabsq $0x0707070707070707, %rcx
    xorq  %rcx, %r14
    orq   %r14, %rbx
    movabsq $0x0808080808080808, %rcx
    xorq  %rcx, %r15
    orq   %r15, %rbx
    xorl  %eax, %eax
    testq %rbx, %rbx
    setne %al
    addq  $40, %rsp
    popq  %r15
    popq  %r14
    popq  %r13
    popq  %r12
    popq  %rdi
    popq  %rsi
    popq  %rbp
    popq  %rbx
    ret
)");
#endif

namespace qov::test {
namespace {

constexpr uint32_t kWidth = 640;  // a frame the passes split across threads
constexpr uint32_t kHeight = 360;
constexpr int kLoadRounds = 10;
constexpr DWORD kIdleMilliseconds = 2;
#if defined(__i386__)
constexpr int32_t kStdcallDelta = 0;
constexpr uint32_t kGccMisalignment = 4;
constexpr uint32_t kMisalignments[] = {0, 4, 8, 12};
#endif

class WindowsLibrary : public ::testing::TestWithParam<std::string> {
 protected:
  const char* path() const { return expectedPlugin(GetParam()).path; }
  PlugMainFunction plugMain(HMODULE module) const {
    return reinterpret_cast<PlugMainFunction>(reinterpret_cast<void*>(GetProcAddress(module, "plugMain")));
  }
};

TEST_P(WindowsLibrary, PlugMainHasThePlatformsCallingConvention) {
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
#if defined(__i386__)
    uint32_t result = 0;
    EXPECT_EQ(qovCallPlugMain(plugMain(module), call.code, call.input, nullptr, &result, kGccMisalignment),
              kStdcallDelta)
        << call.code;
    EXPECT_EQ(result, call.expected) << call.code;
#else
    // The upper half of RAX is garbage-free too: a 64-bit host may read the whole word.
    uint64_t result = 0xDEADBEEFDEADBEEFull;
    EXPECT_EQ(qovCallPlugMain(plugMain(module), call.code, call.input, nullptr, &result), 0)
        << call.code << ": a register the caller keeps values in was changed";
    EXPECT_EQ(result, uint64_t{call.expected}) << call.code;
#endif
  }
  FreeLibrary(module);
}

#if defined(__i386__)
// The vector kernels keep 16-, 32- and 64-byte values on the stack; the DLL must align its
// own stack for them instead of trusting the caller's. (64-bit Windows callers always
// align to 16 bytes; the 32- and 64-byte values are covered by every frame the other
// tests run.)
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
#endif

// A host that loads and unloads a DLL again and again keeps working and gets the same
// bytes from every load. The instance's worker threads (one, with QOV_THREADS=2 where the
// process may use two CPUs or more) exist while it does and are joined by its
// deInstantiate; the unload then really unmaps the DLL, with no thread of it left.
TEST_P(WindowsLibrary, UnloadedAndLoadedAgainAfterFramesLeavingNoThread) {
  _putenv("QOV_THREADS=2");
  const int workers = workersForTwoThreads();
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

// The DLL counts the CPUs the process may use, not the machine's: with a process affinity
// mask of one CPU it starts no worker.
TEST_P(WindowsLibrary, ConfinedToOneCpuTheDllStartsNoWorker) {
  _putenv("QOV_THREADS=2");
  DWORD_PTR processMask = 0, systemMask = 0;
  ASSERT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &processMask, &systemMask));
  if ((processMask & (processMask - 1)) == 0) GTEST_SKIP() << "the process may use one CPU only";
  const DWORD_PTR lowest = processMask & (~processMask + 1);
  ASSERT_TRUE(SetProcessAffinityMask(GetCurrentProcess(), lowest));
  const int before = processThreadCount();
  int during = 0;
  {
    host::PluginLibrary plugin(path());
    host::PluginInstance instance(plugin, kWidth, kHeight, FF_DEPTH_32);
    during = processThreadCount();
    std::vector<uint8_t> frame = randomBytes(instance.frameBytes(), 4);
    EXPECT_EQ(instance.processFrame(frame.data()).uintValue, FF_SUCCESS);
  }
  ASSERT_TRUE(SetProcessAffinityMask(GetCurrentProcess(), processMask));
  EXPECT_EQ(during, before);
}

INSTANTIATE_TEST_SUITE_P(AllPlugins, WindowsLibrary, ::testing::Values("QovMLAA1", "QovMISetMatte1", "QovSetMatte1"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace qov::test
