// End to end through ffmpeg's frei0r filter: ffmpeg finds the plug-ins by name through
// FREI0R_PATH, and what comes out equals the FreeFrame plug-ins' output on the frames that
// ffmpeg feeds the filter. Those frames are taken from ffmpeg itself: the test source
// converted to bgra, the same conversion ffmpeg puts in front of a BGRA8888 frei0r filter.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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

class FfmpegScratch : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "qov_frei0r_ffmpeg_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
  }
  void TearDown() override {
    for (const char* file : {"/in.raw", "/padded.raw", "/out.raw"}) std::remove((directory_ + file).c_str());
    std::remove(directory_.c_str());
  }
  std::string directory_;
};

class ThroughFfmpeg : public FfmpegScratch, public ::testing::WithParamInterface<FfmpegCase> {};

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

// ffmpeg hands a frei0r filter padded rows when a row's bytes are not a multiple of its
// line alignment (854 x 4 bytes is not a multiple of 16), and the filter cannot tell. The
// README's recipe pads the width to a multiple of 16 pixels (64 bytes) with the edge
// column repeated, filters and crops back. What the plug-in then sees is exactly the
// padded frame: the output equals the FreeFrame plug-in's on that frame. Against the
// unpadded frame it differs only where an edge runs into the right border, whose run the
// repeated columns lengthen: a blend weight may move by one level (1 byte of these
// 4.9 million).
TEST_F(FfmpegScratch, PaddingRecipeAtAnOddWidth) {
  constexpr uint32_t kOddWidth = 854;
  constexpr uint32_t kPaddedWidth = 864;
  constexpr uint32_t kOddHeight = 480;
  constexpr int kMaxLevelChange = 1;
  const std::string source = "-f lavfi -i testsrc=size=854x480 -frames:v " + std::to_string(kFrames);
  const std::string pad = "format=bgra,pad=ceil(iw/16)*16:ih,fillborders=right=10:mode=smear";
  const std::string recipe = pad + ",frei0r=qov_mlaa:1.0|n|n|n|n,crop=854:480:0:0";
  const std::string in = directory_ + "/in.raw";
  const std::string padded = directory_ + "/padded.raw";
  const std::string out = directory_ + "/out.raw";
  ASSERT_EQ(ffmpeg("", source + " " + kRawBgra + " " + quoted(in)), 0);
  ASSERT_EQ(ffmpeg("", source + " -vf " + quoted(pad) + " " + kRawBgra + " " + quoted(padded)), 0);
  ASSERT_EQ(ffmpeg("FREI0R_PATH=" + quoted(frei0rDirectory()),
                   source + " -vf " + quoted(recipe) + " " + kRawBgra + " " + quoted(out)),
            0);
  const std::size_t row = std::size_t{kOddWidth} * 4;
  const std::size_t paddedRow = std::size_t{kPaddedWidth} * 4;
  const std::size_t frameBytes = row * kOddHeight;
  const std::size_t paddedFrameBytes = paddedRow * kOddHeight;
  const std::vector<uint8_t> inputs = readFile(in);
  std::vector<uint8_t> paddedInputs = readFile(padded);
  const std::vector<uint8_t> outputs = readFile(out);
  ASSERT_EQ(inputs.size(), kFrames * frameBytes);
  ASSERT_EQ(paddedInputs.size(), kFrames * paddedFrameBytes);
  ASSERT_EQ(outputs.size(), kFrames * frameBytes);

  host::PluginInstance unpaddedInstance(library("QovMLAA1"), kOddWidth, kOddHeight, FF_DEPTH_32);
  host::PluginInstance paddedInstance(library("QovMLAA1"), kPaddedWidth, kOddHeight, FF_DEPTH_32);
  std::size_t changed = 0;
  for (int f = 0; f < kFrames; ++f) {
    SCOPED_TRACE(f);
    std::vector<uint8_t> input(inputs.begin() + f * frameBytes, inputs.begin() + (f + 1) * frameBytes);
    std::vector<uint8_t> unpadded(frameBytes);
    std::vector<uint8_t> paddedResult(paddedFrameBytes);
    ASSERT_EQ(unpaddedInstance.processFrameCopy({input.data()}, unpadded.data()).uintValue, 0u);
    ASSERT_EQ(paddedInstance.processFrame(paddedInputs.data() + f * paddedFrameBytes).uintValue, 0u);
    std::copy_n(paddedInputs.begin() + f * paddedFrameBytes, paddedFrameBytes, paddedResult.begin());
    int worst = 0;
    bool asPadded = true;
    for (uint32_t y = 0; y < kOddHeight; ++y)
      for (std::size_t b = 0; b < row; ++b) {
        const int got = outputs[f * frameBytes + y * row + b];
        asPadded &= got == paddedResult[y * paddedRow + b];
        const int level = std::abs(got - unpadded[y * row + b]);
        worst = std::max(worst, level);
        changed += input[y * row + b] != unpadded[y * row + b];
      }
    EXPECT_TRUE(asPadded) << "the filter did not see the padded frame as the FreeFrame plug-in does";
    EXPECT_LE(worst, kMaxLevelChange) << "the recipe's result is not the unpadded frame's";
  }
  EXPECT_GT(changed, 0u) << "the effect changes these frames";
}

}  // namespace
}  // namespace qov::test
