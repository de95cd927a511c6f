// qovhost stream in a pipe (whole frames in, whole frames out, a short last frame is an
// error) and qovhost bench's report.
#include <gtest/gtest.h>

#include <regex>

#include "tests/qovhost/cli_test_support.h"

namespace qov::test {
namespace {

using qovhost::RgbaImage;

constexpr uint32_t kWidth = 6;
constexpr uint32_t kHeight = 4;
constexpr int kFrames = 3;
const std::string kSize = "6x4";

// kFrames different frames, and what the probe makes of them at "Blue" 0.25.
std::pair<std::string, std::string> framesAndResults() {
  std::string frames, results;
  for (int i = 0; i < kFrames; ++i) {
    const RgbaImage frame = patternPicture(kWidth, kHeight, 11 * i);
    frames += frameBytes(frame);
    results += frameBytes(probeResult(frame, frame, 0.25f));
  }
  return {frames, results};
}

TEST(Stream, ProcessesEveryFrameOfThePipe) {
  const auto [frames, results] = framesAndResults();
  const CommandResult result = qovhost({"stream", kProbe, "--size", kSize, "--set", "blue=0.25"}, frames);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, results);
  EXPECT_EQ(result.err, "");
}

// An empty input is a pipeline whose source failed: it is not reported as success.
TEST(Stream, NoFramesIsAnError) {
  const CommandResult result = qovhost({"stream", kProbe, "--size", kSize}, "");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "qovhost: error: no frame arrived on standard input (frames of 6x4 at 32 bits are 96 bytes each)\n");
}

TEST(Stream, ShortLastFrameIsAnErrorAfterTheWholeFrames) {
  const auto [frames, results] = framesAndResults();
  const std::size_t frameSize = frames.size() / kFrames;
  const std::string input = frames.substr(0, 2 * frameSize + frameSize / 2);
  const CommandResult result = qovhost({"stream", kProbe, "--size", kSize, "--set", "blue=0.25"}, input);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, results.substr(0, 2 * frameSize));
  EXPECT_NE(result.err.find("standard input ended inside frame 3: 48 of 96 bytes"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("is --size the clip's own"), std::string::npos) << result.err;
}

// One 1280x720 frame given as 1282x720, the size off by two pixels: the message names the
// size that divides the input.
TEST(Stream, WrongSizeSuggestsTheSizeThatFits) {
  const std::string input(std::size_t{1280} * 720 * 4, '\0');
  const CommandResult result = qovhost({"stream", kMlaa1, "--size", "1282x720"}, input);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("standard input ended inside frame 1: 3686400 of 3692160 bytes"), std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("are whole frames of 1280x720 (1 frame)"), std::string::npos) << result.err;
}

TEST(Stream, ProgressLineCountsFrames) {
  const auto [frames, results] = framesAndResults();
  const CommandResult result = qovhost({"stream", kProbe, "--size", kSize, "--progress"}, frames);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(std::regex_search(result.err, std::regex("qovhost: 3 frames, [0-9.]+ frames/s\n$"))) << result.err;
}

// A reader that goes away (head) ends the run with an error on a line of its own, after
// the progress line of the frames that were written. The frames are larger than a pipe's
// buffer, so that the second one cannot be written once head has its first.
TEST(Stream, ProgressLineEndsBeforeAnError) {
  const std::string script =
      "head -c 4000000 /dev/zero | \"$0\" stream \"$1\" --size 1000x500 --progress | head -c 2000001 >/dev/null";
  const CommandResult result = runCommand("/bin/bash", {"-c", script, kQovhost, kProbe});
  EXPECT_TRUE(std::regex_search(
      result.err, std::regex("^(\rqovhost: 1 frame, [0-9.]+ frames/s)+\nqovhost: error: frame 2: cannot write standard "
                             "output: Broken pipe\n$")))
      << result.err;
}

TEST(Bench, ReportsPercentilesAndFramesPerSecond) {
  const CommandResult result = qovhost({"bench", kProbe, "--size", "32x16", "--frames", "7", "--call", "copy"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find("QovTestProbe"), std::string::npos);
  EXPECT_NE(result.out.find("32x16 frames at 32 bits from the bundled scene, processFrameCopy, 7 frames"),
            std::string::npos)
      << result.out;
  const std::string time = "[0-9.]+ (us|ms)";
  EXPECT_TRUE(std::regex_search(result.out, std::regex("median " + time + " +5th percentile " + time +
                                                       " +95th percentile " + time)))
      << result.out;
  EXPECT_TRUE(std::regex_search(result.out, std::regex("frames per second +[0-9.]+"))) << result.out;
}

}  // namespace
}  // namespace qov::test
