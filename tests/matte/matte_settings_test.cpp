// Tests of the matte parameters' conversions: weights from amounts, and the settings of
// both matte effects from their parameter lists.
#include "effects/matte/matte_parameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace qov::matte {
namespace {

constexpr float inf = std::numeric_limits<float>::infinity();
constexpr float nan = std::numeric_limits<float>::quiet_NaN();

TEST(WeightFromAmount, TruncatesTheSinglePrecisionProductAndClamps) {
  const struct {
    float amount;
    int32_t weight;
  } cases[] = {
      {0.0f, 0},
      {1.0f, 65536},
      {0.5f, 32768},
      {0.9f, 58982},
      {0.3f, 19660},
      {0.8f, 52428},
      {0.001f, 65},
      {1.0f / 65536, 1},
      {-0.0f, 0},
      {-0.25f, 0},
      {2.0f, 65536},
      {inf, 65536},
      {-inf, 0},
      {nan, 0},
      {-nan, 0},
      {std::nextafter(1.0f, 0.0f), 65535},
      {std::nextafter(1.0f / 65536, 0.0f), 0},
      {std::numeric_limits<float>::denorm_min(), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(weightFromAmount(c.amount), c.weight) << c.amount;
}

// A sweep over float bit patterns against the same rule worked out in double precision.
TEST(WeightFromAmount, AgreesWithDoublePrecisionOverBitPatterns) {
  constexpr uint32_t stride = 4099;  // prime, so every exponent and many mantissas are hit
  for (uint64_t bits = 0; bits <= 0xFFFFFFFFu; bits += stride) {
    const uint32_t pattern = static_cast<uint32_t>(bits);
    float amount;
    std::memcpy(&amount, &pattern, sizeof amount);
    const double clamped = std::isnan(amount) ? 0.0 : std::fmin(std::fmax(amount, 0.0), 1.0);
    ASSERT_EQ(weightFromAmount(amount), static_cast<int32_t>(std::trunc(clamped * 65536.0)))
        << "bits " << std::hex << pattern;
  }
}

constexpr std::size_t invertAllIndex = parameters::indexOf(kMatteParameterSpecs, "Invert All");
constexpr std::size_t invertBlueIndex = parameters::indexOf(kMatteParameterSpecs, "Invert Blue");

TEST(MatteSettingsFromParameters, ReadsEachParameterFromItsIndex) {
  const float defaults[matteParameterCount] = {1.0f, 0.9f, 0.9f, 0.9f, 0.9f,
                                               0.9f, 0.9f, 0.9f, 0.9f};
  const MatteSettings d = matteSettingsFromParameters(defaults);
  EXPECT_EQ(d.alphaWeight, 65536);
  EXPECT_EQ(d.redWeight, 58982);
  EXPECT_EQ(d.greenWeight, 58982);
  EXPECT_EQ(d.blueWeight, 58982);
  EXPECT_TRUE(d.invertAll && d.invertAlpha && d.invertRed && d.invertGreen && d.invertBlue);

  const float amounts[matteParameterCount] = {0.1f, 0.2f, 0.3f, 0.4f, 0, 0, 0, 0, nan};
  const MatteSettings a = matteSettingsFromParameters(amounts);
  EXPECT_EQ(a.alphaWeight, 6553);
  EXPECT_EQ(a.redWeight, 13107);
  EXPECT_EQ(a.greenWeight, 19660);
  EXPECT_EQ(a.blueWeight, 26214);
  EXPECT_FALSE(a.invertAll || a.invertAlpha || a.invertRed || a.invertGreen || a.invertBlue);

  const bool MatteSettings::*flags[] = {&MatteSettings::invertAll, &MatteSettings::invertAlpha,
                                        &MatteSettings::invertRed, &MatteSettings::invertGreen,
                                        &MatteSettings::invertBlue};
  for (std::size_t on = invertAllIndex; on <= invertBlueIndex; ++on) {
    float values[matteParameterCount] = {nan, 0, 0, 0, 0, 0, 0, 0, 0};
    values[on] = 0.75f;
    const MatteSettings s = matteSettingsFromParameters(values);
    EXPECT_EQ(s.alphaWeight, 0);
    for (std::size_t f = invertAllIndex; f <= invertBlueIndex; ++f)
      EXPECT_EQ(s.*flags[f - invertAllIndex], f == on) << "parameter " << on << ", flag " << f;
  }
}

TEST(TwoInputMatteSettings, AddSwitchInputsAfterTheNine) {
  static_assert(kTwoInputMatteParameterSpecs.size() == matteParameterCount + 1);
  constexpr std::size_t switchIndex = parameters::indexOf(kTwoInputMatteParameterSpecs, "Switch Inputs");
  static_assert(switchIndex == matteParameterCount);
  for (std::size_t i = 0; i < matteParameterCount; ++i)
    EXPECT_STREQ(kTwoInputMatteParameterSpecs[i].name, kMatteParameterSpecs[i].name) << i;

  float values[matteParameterCount + 1] = {0.5f, 0.25f, 0, 0, 1, 0, 0, 0, 0, 0};
  TwoInputMatteSettings s = twoInputMatteSettingsFrom(values);
  EXPECT_EQ(s.matte.alphaWeight, 32768);
  EXPECT_EQ(s.matte.redWeight, 16384);
  EXPECT_TRUE(s.matte.invertAll);
  EXPECT_FALSE(s.switchInputs);
  values[switchIndex] = 0.75f;
  s = twoInputMatteSettingsFrom(values);
  EXPECT_TRUE(s.switchInputs);
  EXPECT_EQ(s.matte.alphaWeight, 32768) << "the nine are read the same";
}

}  // namespace
}  // namespace qov::matte
