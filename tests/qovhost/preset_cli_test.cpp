// The matte presets through the command line: each gives the mask its name promises, the
// luma key the same bytes as its recipe in amounts, a --set after a preset changes one
// parameter, and info lists them. Also the places where qovhost looks for plug-ins, and
// what it says about the pictures and numbers it is given.
#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>

#include "tests/qovhost/cli_test_support.h"
#include "tools/qovhost/png_io.h"

namespace qov::test {
namespace {

using qovhost::readPng;
using qovhost::RgbaImage;

constexpr uint32_t kSide = 256;
constexpr std::size_t kRed = 0, kGreen = 1, kBlue = 2, kAlpha = 3;

// Every red value 0 to 255 along x, every green along y, blue and alpha mixed from both,
// so that every preset meets every value of the channel it reads.
RgbaImage rampPicture() {
  RgbaImage picture(kSide, kSide);
  for (uint32_t y = 0; y < kSide; ++y)
    for (uint32_t x = 0; x < kSide; ++x)
      picture.set(x, y,
                  {static_cast<uint8_t>(x), static_cast<uint8_t>(y), static_cast<uint8_t>(x * 7 + y * 3),
                   static_cast<uint8_t>(x * 5 + y * 11)});
  return picture;
}

using MaskOf = std::function<int(const uint8_t* rgba)>;

int luma(const uint8_t* p) { return (2 * p[kRed] + 5 * p[kGreen] + p[kBlue]) / 8; }

// Opaque from 128 up, transparent up to 124; the three values in between are left out.
int threshold(uint8_t value) { return value >= 128 ? 255 : value <= 124 ? 0 : -1; }

class Presets : public ScratchDirectory {
 protected:
  void SetUp() override {
    ScratchDirectory::SetUp();
    input_ = rampPicture();
    in_ = writePicture("in.png", input_);
  }

  RgbaImage run(const std::vector<std::string>& options, const std::string& plugin = kSetMatte1) {
    std::vector<std::string> arguments = {"apply", plugin, in_, path("out.png")};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const CommandResult result = qovhost(arguments);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    return readPng(path("out.png"));
  }

  RgbaImage input_;
  std::string in_;
};

TEST_F(Presets, EachGivesTheMaskItsNameSays) {
  const std::vector<std::pair<std::string, MaskOf>> presets = {
      {"luma-key", luma},
      {"inverse-luma-key", [](const uint8_t* p) { return 255 - luma(p); }},
      {"alpha-from-red", [](const uint8_t* p) { return int{p[kRed]}; }},
      {"alpha-from-green", [](const uint8_t* p) { return int{p[kGreen]}; }},
      {"alpha-from-blue", [](const uint8_t* p) { return int{p[kBlue]}; }},
      {"alpha-from-alpha", [](const uint8_t* p) { return int{p[kAlpha]}; }},
      {"threshold-red", [](const uint8_t* p) { return threshold(p[kRed]); }},
      {"threshold-green", [](const uint8_t* p) { return threshold(p[kGreen]); }},
      {"threshold-blue", [](const uint8_t* p) { return threshold(p[kBlue]); }},
  };
  for (const auto& [name, mask] : presets) {
    SCOPED_TRACE(name);
    const RgbaImage output = run({"--preset", name});
    std::size_t wrong = 0;
    for (uint32_t y = 0; y < kSide; ++y)
      for (uint32_t x = 0; x < kSide; ++x) {
        const uint8_t* in = input_.at(x, y);
        const uint8_t* out = output.at(x, y);
        const int expected = mask(in);
        const bool colourKept = out[kRed] == in[kRed] && out[kGreen] == in[kGreen] && out[kBlue] == in[kBlue];
        if (!colourKept || (expected >= 0 && out[kAlpha] != expected)) ++wrong;
      }
    EXPECT_EQ(wrong, 0u);
  }
}

// The recipe in amounts that the user's guide gives for a luma key, and the presets: the
// same bytes, for both matte plug-ins, and letter case does not matter.
TEST_F(Presets, LumaKeyIsTheRecipeInAmounts) {
  const std::vector<std::string> recipe = {
      "--set", "alpha amount=0",  "--set", "red amount=0.0000381", "--set", "green amount=0.0000839",
      "--set", "blue amount=0.0000229", "--set", "invert all=no", "--set", "invert alpha=no",
      "--set", "invert red=no",   "--set", "invert green=no",      "--set", "invert blue=no"};
  EXPECT_EQ(run({"--preset", "luma-key"}).pixels, run(recipe).pixels);
  EXPECT_EQ(run({"-p", "Luma-Key"}).pixels, run(recipe).pixels);
  const std::string mask = writePicture("mask.png", patternPicture(kSide, kSide, 5));
  std::vector<std::string> twoInputs = recipe;
  twoInputs.insert(twoInputs.end(), {"--second", mask});
  EXPECT_EQ(run({"--preset", "luma-key", "--second", mask}, kMISetMatte1).pixels,
            run(twoInputs, kMISetMatte1).pixels);
}

TEST_F(Presets, SetAfterPresetChangesOneParameterAndDefaultsAreTheDefaults) {
  EXPECT_EQ(run({"--preset", "luma-key", "--set", "invert all=on"}).pixels,
            run({"--preset", "inverse-luma-key"}).pixels);
  EXPECT_EQ(run({"--preset", "defaults"}).pixels, run({}).pixels);
  // The preset leaves "Switch Inputs" as it is set.
  const std::string mask = writePicture("mask.png", patternPicture(kSide, kSide, 9));
  EXPECT_EQ(run({"--set", "switch inputs=on", "--preset", "alpha-from-red", "--second", mask}, kMISetMatte1).pixels,
            run({"--preset", "alpha-from-red", "--set", "switch inputs=on", "--second", mask}, kMISetMatte1).pixels);
}

TEST(PresetInfo, InfoListsThePresetsWithTheirWeights) {
  const CommandResult text = qovhost({"info", kMISetMatte1});
  ASSERT_EQ(text.exitCode, 0) << text.err;
  for (const char* expected :
       {"Presets (--preset NAME", "  luma-key           alpha from brightness",
        "Red Amount 3.0517578e-05 (weight 2), Green Amount 7.6293945e-05 (weight 5)", "  threshold-blue     "})
    EXPECT_NE(text.out.find(expected), std::string::npos) << expected << "\n" << text.out;
  EXPECT_EQ(qovhost({"info", kMlaa1}).out.find("Presets"), std::string::npos);

  const CommandResult json = qovhost({"info", kSetMatte1, "--json"});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  // Defaults as the table shows them: 0.9, not the float's exact 0.8999999761581421.
  EXPECT_NE(json.out.find("\"default\": 0.9,"), std::string::npos) << json.out;
  const nlohmann::json parsed = nlohmann::json::parse(json.out);
  ASSERT_EQ(parsed["presets"].size(), 10u);
  EXPECT_EQ(parsed["presets"][1]["name"], "luma-key");
  // Printed as the shortest decimal of the float, which reads back as that float: weight 5.
  EXPECT_EQ(static_cast<float>(parsed["presets"][1]["values"]["Green Amount"].get<double>()) * 65536.0f, 5.0f);
}

// A 16-bit picture is read at 8 bits a channel, with a warning.
TEST_F(Presets, SixteenBitPictureIsReadWithAWarning) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = 2;
  image.height = 1;
  image.format = PNG_FORMAT_LINEAR_RGB_ALPHA;
  const std::vector<png_uint_16> pixels = {65535, 0, 0, 65535, 0, 65535, 0, 65535};
  ASSERT_TRUE(png_image_write_to_file(&image, path("deep.png").c_str(), 0, pixels.data(), 0, nullptr));
  const CommandResult result = qovhost({"apply", kSetMatte1, path("deep.png"), path("out.png")});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("qovhost: warning: " + path("deep.png") + " has 16 bits per channel"), std::string::npos)
      << result.err;
  EXPECT_EQ(readPng(path("out.png")).width, 2u);
}

// Installed (a bin folder beside lib/freeframe), qovhost lists only the plug-in folder, and
// not the unrelated libraries and programs beside it.
TEST_F(Presets, InstalledQovhostListsTheFreeFrameFolderOnly) {
  namespace fs = std::filesystem;
  fs::create_directories(path("usr/bin"));
  fs::create_directories(path("usr/lib/freeframe"));
  fs::copy_file(kQovhost, path("usr/bin/qovhost"));
  fs::copy_file(kNoEntryPoint, path("usr/bin/unrelated.so"));
  fs::copy_file(kNoEntryPoint, path("usr/lib/freeframe/unrelated.so"));
  fs::copy_file(kSetMatte1, path("usr/lib/freeframe/QovSetMatte1.so"));
  const CommandResult list = runCommand(path("usr/bin/qovhost"), {"list"});
  ASSERT_EQ(list.exitCode, 0) << list.err;
  EXPECT_EQ(list.out, path("usr/lib/freeframe") + " (the installed plug-ins)\n" +
                          "  QovSetMatte1      zq2b  3.861     QovSetMatte1.so\n");
  const CommandResult info = runCommand(path("usr/bin/qovhost"), {"info", "qovsetmatte1"});
  EXPECT_EQ(info.out.rfind("QovSetMatte1 (" + path("usr/lib/freeframe/QovSetMatte1.so") + ")\n", 0), 0u) << info.out;
}

}  // namespace
}  // namespace qov::test
