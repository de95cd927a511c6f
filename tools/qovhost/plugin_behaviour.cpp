// Test frames through a plug-in: a small piece of the bundled scene (hard edges of every
// angle, so that an antialiasing effect has work to do) with a varying alpha (so that a
// new alpha shows), and its complement (every byte inverted, so that any mask made from
// it differs). A plug-in's defaults may make an effect constant (a matte whose weights
// saturate every mask), so each question is asked with a few settings: the given ones,
// then each parameter in turn at 0 and at 1.
#include "tools/qovhost/plugin_behaviour.h"

#include <algorithm>

#include "tools/qovhost/command_error.h"
#include "tools/qovhost/frame_conversion.h"
#include "tools/qovhost/scene.h"

namespace qov::qovhost {
namespace {

constexpr uint32_t kCodeMaximumInputs = 11;
constexpr uint32_t kTestWidth = 96;
constexpr uint32_t kTestHeight = 54;
constexpr uint32_t kBits24 = 24;
constexpr uint32_t kBits32 = 32;

constexpr uint32_t kAlphaStepX = 7;
constexpr uint32_t kAlphaStepY = 13;

RgbaImage testPicture() {
  RgbaImage picture = aliasedScene(kTestWidth, kTestHeight);
  for (uint32_t y = 0; y < kTestHeight; ++y)
    for (uint32_t x = 0; x < kTestWidth; ++x) picture.at(x, y)[3] = static_cast<uint8_t>(kAlphaStepX * x + kAlphaStepY * y);
  return picture;
}

std::vector<std::vector<ParameterSetting>> settingVariants(const host::PluginLibrary& library,
                                                           const std::vector<ParameterSetting>& given) {
  std::vector<std::vector<ParameterSetting>> variants = {given};
  for (uint32_t i = 0; i < library.numParameters(); ++i)
    for (float value : {0.0f, 1.0f}) {
      variants.push_back(given);
      variants.back().push_back({i, value});
    }
  return variants;
}

RgbaImage complement(RgbaImage picture) {
  for (uint8_t& byte : picture.pixels) byte = static_cast<uint8_t>(~byte);
  return picture;
}

// Runs the pictures (one or two) through a new instance and returns the output frame.
// Throws CommandError when the plug-in refuses the format or the frame.
std::vector<uint8_t> run(const host::PluginLibrary& library, const std::vector<ParameterSetting>& settings,
                         CallMode mode, uint32_t bitDepth, const std::vector<std::vector<uint8_t>>& frames) {
  FrameProcessor processor(library, kTestWidth, kTestHeight, bitDepth, mode);
  applySettings(processor.instance(), settings);
  std::vector<const uint8_t*> inputs;
  for (const std::vector<uint8_t>& frame : frames) inputs.push_back(frame.data());
  std::vector<uint8_t> output(processor.frameBytes());
  processor.process(inputs, output.data());
  return output;
}

// True when the call did something: the output is neither the input nor, for the calls
// with a separate output, the black frame it started as.
bool changes(const host::PluginLibrary& library, const std::vector<ParameterSetting>& settings, CallMode mode,
             uint32_t bitDepth, const std::vector<std::vector<uint8_t>>& frames) {
  const std::vector<uint8_t> output = run(library, settings, mode, bitDepth, frames);
  if (output == frames[0]) return false;
  return mode == CallMode::kFrame || std::any_of(output.begin(), output.end(), [](uint8_t byte) { return byte != 0; });
}

std::vector<std::vector<uint8_t>> testFrames(std::size_t count, uint32_t bytesPerPixel) {
  const RgbaImage picture = testPicture();
  std::vector<std::vector<uint8_t>> frames = {toFrame(picture, bytesPerPixel)};
  if (count > 1) frames.push_back(toFrame(complement(picture), bytesPerPixel));
  return frames;
}

}  // namespace

bool readsSecondInput(const host::PluginLibrary& library) {
  if (library.capability(kCodeMaximumInputs) > 1) return true;
  const RgbaImage picture = testPicture();
  const std::vector<uint8_t> first = toFrame(picture, kBytesPerPixel32);
  const std::vector<uint8_t> other = toFrame(complement(picture), kBytesPerPixel32);
  try {
    for (const std::vector<ParameterSetting>& settings : settingVariants(library, {}))
      if (run(library, settings, CallMode::kMulti, kBits32, {first, first}) !=
          run(library, settings, CallMode::kMulti, kBits32, {first, other}))
        return true;
  } catch (const CommandError&) {
    return true;
  }
  return false;
}

void warnWhen24BitFramesPassUnchanged(const host::PluginLibrary& library, const std::vector<ParameterSetting>& settings,
                                      CallMode mode, std::size_t inputs) {
  const std::vector<std::vector<uint8_t>> frames24 = testFrames(inputs, kBytesPerPixel24);
  const std::vector<std::vector<uint8_t>> frames32 = testFrames(inputs, kBytesPerPixel32);
  bool changes32 = false;
  try {
    for (const std::vector<ParameterSetting>& variant : settingVariants(library, settings)) {
      if (changes(library, variant, mode, kBits24, frames24)) return;
      changes32 = changes32 || changes(library, variant, mode, kBits32, frames32);
    }
  } catch (const CommandError&) {
    return;  // a plug-in that refuses one of the depths says so itself
  }
  if (changes32)
    warn(library.name() + " does nothing to 24-bit frames (it changes 32-bit frames only); use --depth 32");
}

}  // namespace qov::qovhost
