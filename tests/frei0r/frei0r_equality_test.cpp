// The frei0r plug-ins and the FreeFrame plug-ins give the same bytes for the same frames and
// parameters: the FreeFrame side through the host loader (codes 3, 14 and, for two inputs,
// 16), the frei0r side through f0r_update and f0r_update2.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "host/frame_set.h"
#include "host/plugin_instance.h"
#include "tests/frei0r/frei0r_library.h"
#include "tests/support/plugin_table.h"

namespace qov::test {
namespace {

using host::PluginInstance;

struct Pairing {
  const char* frei0rName;
  const char* freeFrameName;
};

std::ostream& operator<<(std::ostream& out, const Pairing& pairing) {
  return out << pairing.frei0rName << " / " << pairing.freeFrameName;
}

// A frame of a few flat colours (with their own alphas) split by slanted lines: long edges
// with staircases, as the antialiasing is made for.
std::vector<uint8_t> shapesFrame(unsigned width, unsigned height, std::mt19937& engine) {
  constexpr int kLines = 4;
  struct Line {
    int a, b, c;
  } lines[kLines];
  for (Line& line : lines)
    line = {static_cast<int>(engine() % 9) - 4, static_cast<int>(engine() % 9) - 4,
            static_cast<int>(engine() % (width + height + 1))};
  uint32_t palette[1 << kLines];
  for (uint32_t& colour : palette) colour = static_cast<uint32_t>(engine());
  std::vector<uint8_t> frame(std::size_t{width} * height * 4);
  for (unsigned y = 0; y < height; ++y)
    for (unsigned x = 0; x < width; ++x) {
      unsigned side = 0;
      for (int i = 0; i < kLines; ++i)
        side |= (lines[i].a * static_cast<int>(x) + lines[i].b * static_cast<int>(y) > lines[i].c ? 1u : 0u) << i;
      std::memcpy(&frame[(std::size_t{y} * width + x) * 4], &palette[side], 4);
    }
  return frame;
}

// A parameter as both hosts are given it: frei0r as a double, FreeFrame as a float.
std::vector<double> randomParameters(const Frei0rLibrary& library, std::mt19937& engine) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // Switch values away from 0.5, where frei0r's "from 0.5 up" and FreeFrame's "above 0.5" part.
  const double switches[] = {0.0, 1.0, 0.2, 0.8};
  // Small amounts keep the matte masks unsaturated; the others reach the clamps and NaN.
  const double amounts[] = {0.0, 0.003, 0.5, 1.0, 7.0, -3.0, nan, 0.0001, 0.0004, 0.02, 0.9};
  std::vector<double> values;
  for (int i = 0; i < library.info().num_params; ++i) {
    if (library.paramInfo(i).type == F0R_PARAM_BOOL)
      values.push_back(switches[engine() % 4]);
    else
      values.push_back(amounts[engine() % (sizeof amounts / sizeof amounts[0])]);
  }
  return values;
}

void configure(const Frei0rInstance& frei0r, const PluginInstance& freeFrame, const std::vector<double>& values) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    frei0r.set(static_cast<int>(i), values[i]);
    ASSERT_EQ(freeFrame.setParameter(static_cast<uint32_t>(i), static_cast<float>(values[i])).uintValue, 0u);
  }
}

// One frame through FreeFrame code 16 with two inputs.
std::vector<uint8_t> twoInputsThroughFreeFrame(const PluginInstance& instance, std::vector<uint8_t> first,
                                               std::vector<uint8_t> second) {
  const VideoInfo& info = instance.videoInfo();
  std::vector<uint8_t> output(first.size(), 0);
  host::FrameSet frameSet(info.frameWidth, info.frameHeight, 4, {first.data(), second.data()}, output.data());
  EXPECT_EQ(instance.processFrameMulti(frameSet.get()).uintValue, 0u);
  return output;
}

class Frei0rEqualsFreeFrame : public ::testing::TestWithParam<Pairing> {};

TEST_P(Frei0rEqualsFreeFrame, SameBytesForTheSameFramesAndParameters) {
  const Frei0rLibrary& frei0r = frei0rLibrary(GetParam().frei0rName);
  const host::PluginLibrary& freeFrame = library(GetParam().freeFrameName);
  const bool twoInputs = frei0r.info().plugin_type == F0R_PLUGIN_TYPE_MIXER2;
  const unsigned sizes[][2] = {{1, 1}, {7, 3}, {64, 48}, {321, 17}, {2, 90}, {160, 120}};
  std::mt19937 engine(GetParam().frei0rName[5]);
  int round = 0;
  for (const auto& size : sizes) {
    for (int repeat = 0; repeat < 4; ++repeat, ++round) {
      SCOPED_TRACE(::testing::Message() << size[0] << "x" << size[1] << " round " << round);
      Frei0rInstance frei0rInstance(frei0r, size[0], size[1]);
      PluginInstance freeFrameInstance(freeFrame, size[0], size[1], FF_DEPTH_32);
      const std::vector<double> values = randomParameters(frei0r, engine);
      configure(frei0rInstance, freeFrameInstance, values);

      const std::vector<uint8_t> first = repeat < 2 ? shapesFrame(size[0], size[1], engine)
                                                    : randomBytes(freeFrameInstance.frameBytes(), 500 + round);
      std::vector<uint8_t> expected = first;
      if (repeat % 2 == 0) {
        ASSERT_EQ(freeFrameInstance.processFrame(expected.data()).uintValue, 0u);
      } else {
        std::vector<uint8_t> input = first;
        ASSERT_EQ(freeFrameInstance.processFrameCopy({input.data()}, expected.data()).uintValue, 0u);
      }
      EXPECT_EQ(frei0rInstance.update(first), expected) << "one input";

      if (twoInputs) {
        const std::vector<uint8_t> second = randomBytes(freeFrameInstance.frameBytes(), 900 + round);
        EXPECT_EQ(frei0rInstance.update2(first, &second), twoInputsThroughFreeFrame(freeFrameInstance, first, second))
            << "two inputs";
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(All, Frei0rEqualsFreeFrame,
                         ::testing::Values(Pairing{"qov_mlaa", "QovMLAA1"}, Pairing{"qov_setmatte", "QovSetMatte1"},
                                           Pairing{"qov_misetmatte", "QovMISetMatte1"}),
                         [](const auto& info) { return std::string(info.param.frei0rName); });

}  // namespace
}  // namespace qov::test
