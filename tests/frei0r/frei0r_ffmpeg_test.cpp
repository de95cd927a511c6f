// End to end through ffmpeg's frei0r filter: ffmpeg finds the plug-ins by name through
// FREI0R_PATH, and what comes out equals the FreeFrame plug-ins' output on the frames that
// ffmpeg feeds the filter. Those frames are taken from ffmpeg itself: the test source
// converted to bgra, the same conversion ffmpeg puts in front of a BGRA8888 frei0r filter.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/plugin_instance.h"
#include "tests/frei0r/frei0r_library.h"
#include "tests/support/plugin_table.h"

namespace qov::test {
namespace {

constexpr uint32_t kWidth = 320;
constexpr uint32_t kHeight = 240;
constexpr int kFrames = 3;
constexpr std::size_t kFrameBytes = std::size_t{kWidth} * kHeight * 4;
const std::string kSource = "-f lavfi -i testsrc=size=320x240 -frames:v 3";
const std::string kRawBgra = "-f rawvideo -pix_fmt bgra";

struct FfmpegCase {
  const char* frei0rName;
  const char* freeFrameName;
  const char* filterParameters;  // as written in the -vf argument
  std::vector<float> freeFrameParameters;
  bool keepsColour;  // the effect passes the colour bytes unchanged
};

std::ostream& operator<<(std::ostream& out, const FfmpegCase& c) { return out << c.frei0rName; }

std::string quoted(const std::string& text) { return "'" + text + "'"; }

// Runs ffmpeg quietly with the given arguments; returns its exit status.
int ffmpeg(const std::string& environment, const std::string& arguments) {
  const std::string command =
      environment + " " + quoted(QOV_FFMPEG) + " -hide_banner -loglevel error -nostdin -y " + arguments;
  return std::system(command.c_str());
}

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

class ThroughFfmpeg : public ::testing::TestWithParam<FfmpegCase> {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "qov_frei0r_ffmpeg_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
  }
  void TearDown() override {
    for (const char* file : {"/in.raw", "/out.raw"}) std::remove((directory_ + file).c_str());
    std::remove(directory_.c_str());
  }
  std::string directory_;
};

TEST_P(ThroughFfmpeg, GivesTheFreeFrameBytes) {
  const FfmpegCase& c = GetParam();
  const std::string in = directory_ + "/in.raw";
  const std::string out = directory_ + "/out.raw";
  ASSERT_EQ(ffmpeg("", kSource + " " + kRawBgra + " " + quoted(in)), 0);
  const std::string filter = std::string("frei0r=") + c.frei0rName + ":" + c.filterParameters;
  ASSERT_EQ(ffmpeg("FREI0R_PATH=" + quoted(frei0rDirectory()),
                   kSource + " -vf " + quoted(filter) + " " + kRawBgra + " " + quoted(out)),
            0);
  const std::vector<uint8_t> inputs = readFile(in);
  const std::vector<uint8_t> outputs = readFile(out);
  ASSERT_EQ(inputs.size(), kFrames * kFrameBytes);
  ASSERT_EQ(outputs.size(), kFrames * kFrameBytes);

  host::PluginInstance instance(library(c.freeFrameName), kWidth, kHeight, FF_DEPTH_32);
  for (std::size_t i = 0; i < c.freeFrameParameters.size(); ++i)
    ASSERT_EQ(instance.setParameter(static_cast<uint32_t>(i), c.freeFrameParameters[i]).uintValue, 0u);
  for (int f = 0; f < kFrames; ++f) {
    SCOPED_TRACE(f);
    std::vector<uint8_t> input(inputs.begin() + f * kFrameBytes, inputs.begin() + (f + 1) * kFrameBytes);
    const std::vector<uint8_t> output(outputs.begin() + f * kFrameBytes, outputs.begin() + (f + 1) * kFrameBytes);
    std::vector<uint8_t> expected(kFrameBytes);
    ASSERT_EQ(instance.processFrameCopy({input.data()}, expected.data()).uintValue, 0u);
    EXPECT_NE(expected, input) << "the effect changes these frames";
    EXPECT_TRUE(output == expected) << "ffmpeg's output differs from the FreeFrame plug-in's";
    if (c.keepsColour) {
      // The colour bytes that come out are those the filter was fed: these are the frames.
      bool sameColour = true;
      for (std::size_t b = 0; b < kFrameBytes; ++b) sameColour &= b % 4 == 3 || output[b] == input[b];
      EXPECT_TRUE(sameColour) << "the frames ffmpeg fed the filter are not those of in.raw";
    }
  }
}

// The README's command; MLAA at half Strength with switches on; and a matte with red, green
// and alpha weighted unequally and blue not at all: a byte order other than blue
// first would give other masks.
INSTANTIATE_TEST_SUITE_P(
    Filters, ThroughFfmpeg,
    ::testing::Values(FfmpegCase{"qov_mlaa", "QovMLAA1", "1.0|n|n|n|n", {1.0f, 0, 0, 0, 0}, false},
                      FfmpegCase{"qov_mlaa", "QovMLAA1", "0.5|y|y|n|y", {0.5f, 1, 1, 0, 1}, false},
                      FfmpegCase{"qov_setmatte", "QovSetMatte1", "0.00003|0.0001|0.00005|0|n|n|n|n|n",
                                 {0.00003f, 0.0001f, 0.00005f, 0, 0, 0, 0, 0, 0}, true}),
    [](const auto& info) { return std::string(info.param.frei0rName) + "_" + std::to_string(info.index); });

}  // namespace
}  // namespace qov::test
