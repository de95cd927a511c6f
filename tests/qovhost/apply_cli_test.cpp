// qovhost apply and info on small pictures: the frame layout, the three call paths, two
// inputs, parameters by name and index, and the descriptor tables.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/qovhost/cli_test_support.h"
#include "tools/qovhost/png_io.h"

namespace qov::test {
namespace {

using qovhost::readPng;
using qovhost::RgbaImage;

constexpr uint32_t kWidth = 13;
constexpr uint32_t kHeight = 7;

class Apply : public ScratchDirectory, public ::testing::WithParamInterface<std::string> {};

TEST_P(Apply, EveryCallPathDeliversTheProbesBytesInTheFrameLayout) {
  const RgbaImage input = patternPicture(kWidth, kHeight);
  const std::string in = writePicture("in.png", input);
  const CommandResult result =
      qovhost({"apply", kProbe, in, path("out.png"), "--set", "blue=0.5", "--call", GetParam()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
  const RgbaImage output = readPng(path("out.png"));
  EXPECT_EQ(output.pixels, probeResult(input, input, 0.5f).pixels);
}

INSTANTIATE_TEST_SUITE_P(CallPaths, Apply, ::testing::Values("frame", "copy", "multi"));

class ApplyTwoInputs : public ScratchDirectory {};

TEST_F(ApplyTwoInputs, SecondInputReachesThePlugInThroughTheFrameSet) {
  const RgbaImage first = patternPicture(kWidth, kHeight);
  const RgbaImage second = patternPicture(kWidth, kHeight, 77);
  const std::string a = writePicture("a.png", first);
  const std::string b = writePicture("b.png", second);
  // Parameters by index, and --second choosing processFrameMulti by itself.
  const CommandResult result = qovhost({"apply", kProbe, a, path("out.png"), "--second", b, "--set", "0=1"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(readPng(path("out.png")).pixels, probeResult(first, second, 1.0f).pixels);
}

// Our own plug-ins at both depths and through every call: the result is a picture of
// the input's size, RGBA at 32 bits and opaque RGB at 24 bits.
TEST_F(ApplyTwoInputs, OurPlugInsTakeBothDepthsAndEveryCall) {
  const std::string in = writePicture("in.png", patternPicture(kWidth, kHeight));
  for (const std::string& plugin : {kMlaa1, kSetMatte1, kMISetMatte1})
    for (const std::string depth : {"24", "32"})
      for (const std::string call : {"frame", "copy", "multi"}) {
        SCOPED_TRACE(plugin + " --depth " + depth + " --call " + call);
        const CommandResult result =
            qovhost({"apply", plugin, in, path("out.png"), "--depth", depth, "--call", call});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const RgbaImage output = readPng(path("out.png"));
        EXPECT_EQ(output.width, kWidth);
        EXPECT_EQ(output.height, kHeight);
        if (depth == "24") {
          for (std::size_t i = 3; i < output.pixels.size(); i += 4) ASSERT_EQ(output.pixels[i], 255);
        }
      }
}

// "Strength" 0 hands the input through unchanged, whichever call carries the frame: the
// conversion from PNG to frame and back loses nothing at 32 bits and only alpha at 24.
TEST_F(ApplyTwoInputs, AntialiasingAtStrengthZeroReturnsTheInput) {
  const RgbaImage input = patternPicture(kWidth, kHeight);
  const std::string in = writePicture("in.png", input);
  RgbaImage opaque = input;
  for (std::size_t i = 3; i < opaque.pixels.size(); i += 4) opaque.pixels[i] = 255;
  for (const std::string depth : {"24", "32"})
    for (const std::string call : {"frame", "copy", "multi"}) {
      SCOPED_TRACE("--depth " + depth + " --call " + call);
      const CommandResult result = qovhost(
          {"apply", kMlaa1, in, path("out.png"), "--set", "STRENGTH=0", "--depth", depth, "--call", call});
      ASSERT_EQ(result.exitCode, 0) << result.err;
      EXPECT_EQ(readPng(path("out.png")).pixels, depth == "32" ? input.pixels : opaque.pixels);
    }
}

TEST_F(ApplyTwoInputs, ValuesOutsideTheRangeAreWarnedAboutAndPassedOn) {
  const RgbaImage input = patternPicture(kWidth, kHeight);
  const std::string in = writePicture("in.png", input);
  const CommandResult result = qovhost({"apply", kProbe, in, path("out.png"), "--set", " Blue = 1.5 "});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("warning: \"Blue\" = 1.5 is outside 0..1"), std::string::npos) << result.err;
  // The probe does not clamp: the low byte of 1.5 x 255 = 382.
  EXPECT_EQ(readPng(path("out.png")).at(0, 0)[2], 382 & 0xFF);
}

TEST(Info, TableShowsIdentityParametersAndCapabilities) {
  const CommandResult result = qovhost({"info", kProbe});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  for (const char* expected :
       {"QovTestProbe (", "unique ID        zqpr", "version          2.5", "Test probe: predictable bytes",
        "QovTestProbe\n                   for the qovhost tests", "0      Blue              0         10    0.00",
        "1      Fail", "  2     1       32-bit video", "  3     1       processFrameCopy"})
    EXPECT_NE(result.out.find(expected), std::string::npos) << "missing: " << expected << "\n" << result.out;
}

TEST(Info, JsonDescribesEachOfOurPlugIns) {
  struct Expected {
    std::string path, name, id;
    std::size_t parameters;
    std::string firstParameter;
  };
  for (const Expected& plugin : {Expected{kMlaa1, "QovMLAA1", "zq4q", 5, "Strength"},
                                 Expected{kSetMatte1, "QovSetMatte1", "zq2b", 9, "Alpha Amount"},
                                 Expected{kMISetMatte1, "QovMISetMatte1", "zq17", 10, "Alpha Amount"}}) {
    SCOPED_TRACE(plugin.name);
    const CommandResult result = qovhost({"info", plugin.path, "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const nlohmann::json json = nlohmann::json::parse(result.out);
    EXPECT_EQ(json["name"], plugin.name);
    EXPECT_EQ(json["uniqueId"], plugin.id);
    EXPECT_EQ(json["apiVersion"]["major"], 1);
    ASSERT_EQ(json["parameters"].size(), plugin.parameters);
    EXPECT_EQ(json["parameters"][0]["name"], plugin.firstParameter);
    EXPECT_EQ(json["parameters"][0]["default"], 1.0);
    EXPECT_EQ(json["parameters"][0]["display"], "1.000000");
    EXPECT_EQ(json["capabilities"].size(), 22u);
    EXPECT_EQ(json["capabilities"][2]["value"], 1);
  }
}

TEST(Help, EverySubcommandDescribesItsOptions) {
  const std::vector<std::pair<std::string, std::string>> commands = {
      {"info", "--json"}, {"apply", "--second"}, {"stream", "--progress"}, {"bench", "--frames"}, {"demo", "OUTDIR"}};
  for (const auto& [command, option] : commands) {
    const CommandResult result = qovhost({command, "--help"});
    EXPECT_EQ(result.exitCode, 0) << command;
    EXPECT_NE(result.out.find(option), std::string::npos) << command << ":\n" << result.out;
  }
}

}  // namespace
}  // namespace qov::test
