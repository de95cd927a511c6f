// What frei0r hosts do with threads besides keeping instances apart: MLT's slice threads,
// which call one instance from several threads at once, each with its own band of rows of
// the frame (`threads=N` on a filter or transition); and hosts that fork after frames have
// run.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/frei0r/frei0r_library.h"
#include "tests/support/plugin_table.h"
#include "tests/support/thread_count.h"

namespace qov::test {
namespace {

// Slices of 2 and 4 threads are large enough to be split among the library's workers too.
constexpr unsigned kWidth = 320;
constexpr unsigned kHeight = 256;
constexpr int kFrames = 30;
constexpr double kTime = 0.0;

using Words = std::vector<uint32_t>;

Words randomFrame(std::size_t words, uint32_t seed) {
  const std::vector<uint8_t> bytes = randomBytes(words * 4, seed);
  Words frame(words);
  std::memcpy(frame.data(), bytes.data(), bytes.size());
  return frame;
}

// Starts `count` threads that wait for one another at a start line, then each runs body(i).
template <class Body>
void allAtOnce(int count, Body body) {
  std::atomic<int> arrived{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < count; ++i)
    threads.emplace_back([&, i] {
      arrived.fetch_add(1);
      while (arrived.load() < count) std::this_thread::yield();
      body(i);
    });
  for (std::thread& thread : threads) thread.join();
}

// One frame through the instance: f0r_update2 for a two-input plug-in (a transition), f0r_update
// for a filter.
void update(const Frei0rLibrary& library, f0r_instance_t instance, const uint32_t* first, const uint32_t* second,
            uint32_t* output) {
  if (library.info().plugin_type == F0R_PLUGIN_TYPE_MIXER2)
    library.update2(instance, kTime, first, second, nullptr, output);
  else
    library.update(instance, kTime, first, output);
}

class Frei0rThreads : public ::testing::TestWithParam<std::string> {
 protected:
  const Frei0rLibrary& library() const { return frei0rLibrary(GetParam()); }
};

TEST_P(Frei0rThreads, MltSlicesOnOneInstanceEachGetWhatTheyGetAlone) {
  // As MLT does it: one instance for width x height/N, called from N threads at once, each
  // with its own slice of the frame; the result must be that of the slices one after the
  // other on the same instance.
  for (const int slices : {2, 4}) {
    const unsigned sliceHeight = kHeight / slices;
    const std::size_t sliceWords = std::size_t{kWidth} * sliceHeight;
    f0r_instance_t instance = library().construct(kWidth, sliceHeight);
    ASSERT_NE(instance, nullptr);
    int wrongFrames = 0;
    for (int f = 0; f < kFrames; ++f) {
      const Words first = randomFrame(sliceWords * slices, 2 * f);
      const Words second = randomFrame(sliceWords * slices, 2 * f + 1);
      Words expected(first.size()), output(first.size());
      for (int s = 0; s < slices; ++s)
        update(library(), instance, first.data() + s * sliceWords, second.data() + s * sliceWords,
               expected.data() + s * sliceWords);
      allAtOnce(slices, [&](int s) {
        update(library(), instance, first.data() + s * sliceWords, second.data() + s * sliceWords,
               output.data() + s * sliceWords);
      });
      wrongFrames += output != expected;
    }
    library().destruct(instance);
    EXPECT_EQ(wrongFrames, 0) << "of " << kFrames << " frames in " << slices << " slices";
  }
}

TEST_P(Frei0rThreads, ChildOfAForkRunsFramesAndReleasesEverything) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "ThreadSanitizer does not run threads started in the child of a multithreaded fork";
#endif
  // qemu-i386 (QEMU 7.2) fails an assertion of its own when the child starts a thread.
  if (std::getenv("QOV_TEST_EMULATOR") != nullptr)
    GTEST_SKIP() << "the user-mode emulator cannot start threads in the child of a multithreaded fork";
  // The child updates the instance it inherited and a new one, with the parent's bytes,
  // and destructs both; the parent's worker threads carry on untouched.
  constexpr unsigned kChildSeconds = 30;  // a child that hangs is ended by SIGALRM
  const std::size_t words = std::size_t{kWidth} * kHeight;
  f0r_instance_t inherited = library().construct(kWidth, kHeight);
  ASSERT_NE(inherited, nullptr);
  const Words first = randomFrame(words, 7), second = randomFrame(words, 8);
  Words expected(words);
  update(library(), inherited, first.data(), second.data(), expected.data());
  const int parentThreads = processThreadCount();

  const pid_t pid = fork();
  if (pid == 0) {
    alarm(kChildSeconds);
    Words output(words);
    update(library(), inherited, first.data(), second.data(), output.data());
    if (output != expected) _exit(1);
    f0r_instance_t fresh = library().construct(kWidth, kHeight);
    if (fresh == nullptr) _exit(2);
    output.assign(words, 0);
    update(library(), fresh, first.data(), second.data(), output.data());
    if (output != expected) _exit(3);
    library().destruct(fresh);
    library().destruct(inherited);
    _exit(0);
  }
  ASSERT_GT(pid, 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);

  EXPECT_EQ(processThreadCount(), parentThreads);
  Words output(words);
  update(library(), inherited, first.data(), second.data(), output.data());
  EXPECT_EQ(output, expected);
  library().destruct(inherited);
}

INSTANTIATE_TEST_SUITE_P(All, Frei0rThreads, ::testing::Values("qov_mlaa", "qov_setmatte", "qov_misetmatte"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace qov::test
