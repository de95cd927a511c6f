// The shared parameter rules (the clamp, the switch threshold), the antialiasing effect's
// settings from its list, and the FreeFrame table built from a list.
#include "effects/parameters/parameter_schema.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "effects/antialias/antialias_parameters.h"
#include "framework/plugin_definition.h"

namespace qov::parameters {
namespace {

constexpr float inf = std::numeric_limits<float>::infinity();
constexpr float nan = std::numeric_limits<float>::quiet_NaN();

TEST(SwitchRule, OnlyStrictlyAboveOneHalfIsOn) {
  EXPECT_FALSE(switchOn(0.5f));
  EXPECT_TRUE(switchOn(std::nextafter(0.5f, 1.0f)));
  EXPECT_FALSE(switchOn(std::nextafter(0.5f, 0.0f)));
  EXPECT_FALSE(switchOn(nan));
  EXPECT_FALSE(switchOn(-inf));
  EXPECT_TRUE(switchOn(inf));
  EXPECT_TRUE(switchOn(1.0f));
  EXPECT_FALSE(switchOn(0.0f));
}

TEST(ClampToUnit, LimitsToZeroAndOneAndKeepsNaNAndNegativeZero) {
  EXPECT_EQ(clampToUnit(2.0f), 1.0f);
  EXPECT_EQ(clampToUnit(inf), 1.0f);
  EXPECT_EQ(clampToUnit(-0.5f), 0.0f);
  EXPECT_EQ(clampToUnit(0.25f), 0.25f);
  EXPECT_TRUE(std::isnan(clampToUnit(nan)));
  EXPECT_TRUE(std::signbit(clampToUnit(-0.0f)));
  // The frei0r editions clamp the host's double before it becomes a float.
  EXPECT_EQ(clampToUnit(1e300), 1.0);
  EXPECT_EQ(clampToUnit(-1e300), 0.0);
  EXPECT_TRUE(std::isnan(clampToUnit(std::numeric_limits<double>::quiet_NaN())));
}

TEST(AntialiasSettingsFrom, ReadsEachParameterIntoItsSetting) {
  using aa::AntialiasSettings;
  constexpr const auto& specs = aa::kAntialiasParameterSpecs;
  float values[specs.size()] = {};
  values[indexOf(specs, "Strength")] = 0.375f;
  AntialiasSettings s = aa::antialiasSettingsFrom(values);
  EXPECT_EQ(s.strength, 0.375f);
  EXPECT_FALSE(s.useHalf || s.thinLines || s.visualize || s.useAlpha);

  const struct {
    const char* name;
    bool AntialiasSettings::*flag;
  } switches[] = {{"Use Half", &AntialiasSettings::useHalf},
                  {"Thin Lines", &AntialiasSettings::thinLines},
                  {"Visualize", &AntialiasSettings::visualize},
                  {"Use Alpha", &AntialiasSettings::useAlpha}};
  for (const auto& on : switches) {
    SCOPED_TRACE(on.name);
    float set[specs.size()] = {};
    set[indexOf(specs, on.name)] = 0.75f;
    s = aa::antialiasSettingsFrom(set);
    EXPECT_EQ(s.strength, 0.0f);
    for (const auto& other : switches) EXPECT_EQ(s.*other.flag, other.flag == on.flag) << other.name;
  }

  for (std::size_t i = 0; i < specs.size(); ++i) values[i] = specs[i].defaultValue;
  s = aa::antialiasSettingsFrom(values);
  EXPECT_EQ(s.strength, 1.0f);
  EXPECT_FALSE(s.useHalf || s.thinLines || s.visualize || s.useAlpha) << "every switch starts off";
}

TEST(ParameterTable, NamesFillTheirFieldWithNULsAndDefaultsCarryOver) {
  constexpr std::array<ParameterSpec, 2> specs = {
      {{"A", 0.25f, Kind::kAmount, ""}, {"Fifteen chars..", 0.9f, Kind::kSwitch, ""}}};
  constexpr auto table = parameterTable(specs);
  EXPECT_EQ(std::memcmp(table[0].name, "A\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", kNameSize), 0);
  EXPECT_EQ(std::memcmp(table[1].name, "Fifteen chars..\0", kNameSize), 0);
  EXPECT_EQ(table[0].defaultValue, 0.25f);
  EXPECT_EQ(table[1].defaultValue, 0.9f) << "FreeFrame hosts see a switch's default as written";
}

}  // namespace
}  // namespace qov::parameters
