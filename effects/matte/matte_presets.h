// Named settings of the nine matte parameters for what the mattes are for: one table that
// qovhost, the GStreamer elements and the MLT preset files of the frei0r editions all read.
//
// A preset's amounts are whole weights divided by 65536, which a float holds exactly, so
// each amount turns back into that same weight (weightFromAmount) in every edition. The
// rule adds byte x weight for each byte and divides the sum by 8, so weights that add up to
// 8 give a mask that spans 0 to 255 without saturating.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "effects/matte/matte_parameters.h"
#include "effects/matte/matte_settings.h"

namespace qov::matte {

// The amount whose weight is exactly `weight`.
constexpr float amountOfWeight(int32_t weight) { return static_cast<float>(weight) / static_cast<float>(maxWeight); }

inline constexpr float kPresetOff = 0.0f;
inline constexpr float kPresetOn = 1.0f;

struct MattePreset {
  const char* name;
  const char* summary;  // one line: what the mask becomes
  // The nine values in kMatteParameters order: four amounts, then the five switches.
  std::array<float, matteParameterCount> values;
};

namespace presets {

// A mask that is the byte's own value: 8 x byte / 8.
inline constexpr int32_t kWholeByte = 8;
// Brightness as 2 x red + 5 x green + 1 x blue over 8: close to the usual weights of a
// picture's luma (0.30, 0.59, 0.11) in eighths, and white gives exactly 255.
inline constexpr int32_t kLumaRed = 2;
inline constexpr int32_t kLumaGreen = 5;
inline constexpr int32_t kLumaBlue = 1;
// An inverted term is 65536 - weight x byte: with weight 512 it falls from 65536 at byte 0
// to 0 at byte 128, and the mask (the term over 8, at most 255) is 255 up to byte 124 and 0
// from byte 128, with three steps in between. "Invert All" then turns that round, so the
// channel's bright half is opaque.
inline constexpr int32_t kHalfThreshold = 512;

// Which terms are inverted, and whether the finished mask is.
struct Inversions {
  bool all = false;
  bool alpha = false;
  bool red = false;
  bool green = false;
  bool blue = false;
};

// The nine values for four whole weights and the inversions.
constexpr std::array<float, matteParameterCount> fromWeights(int32_t alpha, int32_t red, int32_t green, int32_t blue,
                                                             Inversions inverted = {}) {
  auto flag = [](bool on) { return on ? kPresetOn : kPresetOff; };
  return {amountOfWeight(alpha), amountOfWeight(red), amountOfWeight(green), amountOfWeight(blue),
          flag(inverted.all),    flag(inverted.alpha), flag(inverted.red),   flag(inverted.green),
          flag(inverted.blue)};
}

constexpr std::array<float, matteParameterCount> defaults() {
  std::array<float, matteParameterCount> values{};
  for (std::size_t i = 0; i < matteParameterCount; ++i) values[i] = kMatteParameterSpecs[i].defaultValue;
  return values;
}

}  // namespace presets

inline constexpr MattePreset kMattePresets[] = {
    {"defaults", "the parameters' defaults: alpha 255 for nearly every pixel (0 only where black and transparent)",
     presets::defaults()},
    {"luma-key", "alpha from brightness, (2 x red + 5 x green + blue) / 8: black transparent, white opaque",
     presets::fromWeights(0, presets::kLumaRed, presets::kLumaGreen, presets::kLumaBlue)},
    {"inverse-luma-key", "255 minus the luma key: black opaque, white transparent",
     presets::fromWeights(0, presets::kLumaRed, presets::kLumaGreen, presets::kLumaBlue, {/*all=*/true})},
    {"alpha-from-red", "alpha = red", presets::fromWeights(0, presets::kWholeByte, 0, 0)},
    {"alpha-from-green", "alpha = green", presets::fromWeights(0, 0, presets::kWholeByte, 0)},
    {"alpha-from-blue", "alpha = blue", presets::fromWeights(0, 0, 0, presets::kWholeByte)},
    {"alpha-from-alpha", "alpha = the (mask) input's own alpha",
     presets::fromWeights(presets::kWholeByte, 0, 0, 0)},
    {"threshold-red", "opaque where red is 128 or more, transparent where it is 124 or less",
     presets::fromWeights(0, presets::kHalfThreshold, 0, 0, {/*all=*/true, /*alpha=*/false, /*red=*/true})},
    {"threshold-green", "opaque where green is 128 or more, transparent where it is 124 or less",
     presets::fromWeights(0, 0, presets::kHalfThreshold, 0,
                          {/*all=*/true, /*alpha=*/false, /*red=*/false, /*green=*/true})},
    {"threshold-blue", "opaque where blue is 128 or more, transparent where it is 124 or less",
     presets::fromWeights(0, 0, 0, presets::kHalfThreshold,
                          {/*all=*/true, /*alpha=*/false, /*red=*/false, /*green=*/false, /*blue=*/true})},
};

inline constexpr std::size_t mattePresetCount = std::size(kMattePresets);

// The preset called `name` (exactly as listed), or null.
constexpr const MattePreset* findMattePreset(std::string_view name) {
  for (const MattePreset& preset : kMattePresets)
    if (name == preset.name) return &preset;
  return nullptr;
}

}  // namespace qov::matte
