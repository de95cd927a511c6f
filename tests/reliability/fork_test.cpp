// Hosts that fork after frames have run (Python's multiprocessing with the fork start
// method, pre-fork servers): the child runs frames on the instance it inherited and on a new
// one, with the parent's bytes, and releases both; the parent's workers carry on untouched.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "host/plugin_instance.h"
#include "tests/support/plugin_table.h"
#include "tests/support/thread_count.h"

namespace qov::test {
namespace {

using host::PluginInstance;

// Several chunks of every pass, so that the library's workers run before the fork.
constexpr uint32_t kWidth = 320;
constexpr uint32_t kHeight = 240;
// A child that has not finished by then hangs (in the old fault: joining workers that do
// not exist in it); SIGALRM ends it.
constexpr unsigned kChildSeconds = 30;

// Exit codes of the child: what went wrong first (a refused instantiate throws).
enum ChildFailure { kInheritedFrame = 1, kNewFrame, kInheritedRelease, kNewRelease, kThrew };

// Runs `child` in a forked child and describes how it ended: "exit 0" when all went well.
template <class Child>
std::string inChild(Child child) {
  const pid_t pid = fork();
  if (pid == 0) {
    alarm(kChildSeconds);
    int code = kThrew;
    try {
      code = child();
    } catch (...) {
    }
    _exit(code);
  }
  if (pid < 0) return "fork failed";
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return "waitpid failed";
  if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
  return "exit " + std::to_string(WEXITSTATUS(status));
}

class AcrossFork : public ::testing::TestWithParam<std::string> {};

TEST_P(AcrossFork, ChildRunsFramesAndReleasesEverythingWhileTheParentsWorkersCarryOn) {
  // qemu-i386 (QEMU 7.2) fails an assertion of its own when the child starts a thread.
  if (std::getenv("QOV_TEST_EMULATOR") != nullptr)
    GTEST_SKIP() << "the user-mode emulator cannot start threads in the child of a multithreaded fork";
  const host::PluginLibrary& plugin = library(GetParam());
  for (uint32_t depth : {FF_DEPTH_32, FF_DEPTH_24}) {
    SCOPED_TRACE(depth);
    PluginInstance inherited(plugin, kWidth, kHeight, depth);
    const std::vector<uint8_t> input = randomBytes(inherited.frameBytes(), depth);
    std::vector<uint8_t> expected = input;
    ASSERT_EQ(inherited.processFrame(expected.data()).uintValue, FF_SUCCESS);
    const int parentThreads = processThreadCount();

    EXPECT_EQ(inChild([&]() -> int {
#if defined(__SANITIZE_THREAD__)
                // ThreadSanitizer ends a child of a multithreaded process that starts a
                // thread: there the new instance runs its frames on the calling thread.
                setenv("QOV_THREADS", "1", 1);
#endif
                std::vector<uint8_t> frame = input;
                if (inherited.processFrame(frame.data()).uintValue != FF_SUCCESS || frame != expected)
                  return kInheritedFrame;
                {
                  PluginInstance fresh(plugin, kWidth, kHeight, depth);
                  frame = input;
                  if (fresh.processFrame(frame.data()).uintValue != FF_SUCCESS || frame != expected) return kNewFrame;
                  if (fresh.release().uintValue != FF_SUCCESS) return kNewRelease;
                }
                if (inherited.release().uintValue != FF_SUCCESS) return kInheritedRelease;
                return 0;
              }),
              "exit 0");

    EXPECT_EQ(processThreadCount(), parentThreads);
    std::vector<uint8_t> frame = input;
    ASSERT_EQ(inherited.processFrame(frame.data()).uintValue, FF_SUCCESS);
    EXPECT_EQ(frame, expected);
  }
}

INSTANTIATE_TEST_SUITE_P(AllPlugins, AcrossFork, ::testing::Values("QovMLAA1", "QovSetMatte1", "QovMISetMatte1"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace qov::test
