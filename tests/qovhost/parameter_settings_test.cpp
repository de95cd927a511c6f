// --set parsing against a loaded plug-in's parameter table.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/stderr_capture.h"
#include "tools/qovhost/command_error.h"
#include "tools/qovhost/parameter_settings.h"

namespace qov::test {
namespace {

using qovhost::CommandError;
using qovhost::parseSetting;

const host::PluginLibrary& mlaa() {
  static const host::PluginLibrary library(QOV_MLAA1_PATH);
  return library;
}

std::string errorOf(const std::string& text) {
  try {
    parseSetting(mlaa(), text);
  } catch (const CommandError& error) {
    return error.what();
  }
  return "(no error)";
}

TEST(ParameterSettings, NamesInAnyCaseOrIndicesWithNumbers) {
  struct Case {
    const char* text;
    uint32_t index;
    float value;
  };
  for (const Case& test : {Case{"Strength=0.25", 0, 0.25f}, Case{"use half=1", 1, 1.0f},
                           Case{"  THIN LINES  =  0.75 ", 2, 0.75f}, Case{"3=1e-1", 3, 0.1f},
                           Case{"use alpha=.5", 4, 0.5f}, Case{"Strength=0", 0, 0.0f}, Case{"Strength=+1", 0, 1.0f},
                           Case{"Strength=1e-50", 0, 0.0f}, Case{"Strength=0x1p-2", 0, 0.25f}}) {
    SCOPED_TRACE(test.text);
    StderrCapture capture;
    const qovhost::ParameterSetting setting = parseSetting(mlaa(), test.text);
    EXPECT_EQ(capture.finish(), "");
    EXPECT_EQ(setting.index, test.index);
    EXPECT_EQ(setting.value, test.value);
  }
}

TEST(ParameterSettings, ValuesOutsideTheRangeAreKeptWithAWarning) {
  for (const auto& [text, value, clamped] :
       {std::tuple{"Strength=1.5", 1.5f, "1"}, std::tuple{"Visualize=-2", -2.0f, "0"}}) {
    StderrCapture capture;
    EXPECT_EQ(parseSetting(mlaa(), text).value, value);
    const std::string warning = capture.finish();
    EXPECT_EQ(warning.rfind("qovhost: warning: ", 0), 0u) << warning;
    EXPECT_NE(warning.find(std::string("clamps it to ") + clamped), std::string::npos) << warning;
  }
}

TEST(ParameterSettings, MistakesAreExplained) {
  const std::string names = "valid names: \"Strength\", \"Use Half\", \"Thin Lines\", \"Visualize\", \"Use Alpha\"";
  EXPECT_EQ(errorOf("Sharpness=1"), "unknown parameter \"Sharpness\" for QovMLAA1; " + names + " (or an index 0..4)");
  EXPECT_EQ(errorOf("5=1"), "parameter index 5 is out of range for QovMLAA1; " + names + " (or an index 0..4)");
  EXPECT_EQ(errorOf("99999999999999999999=1").rfind("parameter index 99999999999999999999 is out of range", 0), 0u);
  EXPECT_EQ(errorOf("Strength"), "--set takes NAME=VALUE, not \"Strength\"; " + names + " (or an index 0..4)");
  for (const char* value : {"", "half", "0.5x", "nan", "inf", "-inf", "0,5", "1 0", "++1"})
    EXPECT_EQ(errorOf(std::string("Strength=") + value),
              std::string("the value of \"Strength\" must be a number from 0 to 1, not \"") + value + "\"")
        << value;
  for (const char* value : {"1e999", "-1e40"})
    EXPECT_EQ(errorOf(std::string("Strength=") + value),
              std::string("the value of \"Strength\" is out of range: ") + value +
                  " lies beyond what the plug-in's number (a 32-bit float) holds; the plug-ins take 0 to 1")
        << value;
  EXPECT_EQ(errorOf("Strength=yes"),
            "\"Strength\" is an amount: give a number from 0 to 1, not \"yes\" (words such as yes and no are for "
            "switches)");
}

// Switches take the words that people, and ffmpeg's frei0r filter, use for yes and no.
TEST(ParameterSettings, SwitchesTakeYesAndNoWords) {
  for (const char* on : {"y", "yes", "on", "true", "Y", "YES", "On", "TRUE"})
    EXPECT_EQ(parseSetting(mlaa(), std::string("Use Half=") + on).value, 1.0f) << on;
  for (const char* off : {"n", "no", "off", "false", "N", "No", "OFF", "False"})
    EXPECT_EQ(parseSetting(mlaa(), std::string("Visualize=") + off).value, 0.0f) << off;
}

}  // namespace
}  // namespace qov::test
