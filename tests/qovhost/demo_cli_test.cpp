// The main job: qovhost demo on the bundled scene writes its pictures, and the
// antialiased output is closer to the supersampled ground truth than the aliased input.
#include <gtest/gtest.h>

#include <regex>

#include "tests/qovhost/cli_test_support.h"
#include "tools/qovhost/png_io.h"

namespace qov::test {
namespace {

class Demo : public ScratchDirectory {};

double decibels(const std::string& output, const std::string& label) {
  std::smatch match;
  if (!std::regex_search(output, match, std::regex(label + " +(-?[0-9.]+|inf) dB"))) return -1.0;
  return std::stod(match[1]);
}

TEST_F(Demo, AntialiasedOutputImprovesOnTheAliasedInput) {
  const CommandResult result = qovhost({"demo", path("out"), "--plugin", kMlaa1, "--frames", "3"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const double input = decibels(result.out, "aliased input");
  const double output = decibels(result.out, "antialiased output");
  ASSERT_GT(input, 0.0) << result.out;
  EXPECT_GT(output, input) << result.out;
  for (const char* name : {"input.png", "ground-truth.png", "output.png", "visualize.png"}) {
    const qovhost::RgbaImage picture = qovhost::readPng(path("out/") + name);
    EXPECT_EQ(picture.width, 1280u) << name;
    EXPECT_EQ(picture.height, 720u) << name;
  }
  EXPECT_GT(qovhost::readPng(path("out/comparison.png")).width, 1280u);
  EXPECT_GT(qovhost::readPng(path("out/thin-lines.png")).width, 1280u);
}

}  // namespace
}  // namespace qov::test
