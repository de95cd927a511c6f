// The parameter table both matte plug-ins start with; QovMISetMatte1 adds "Switch Inputs".
// Parameter indices are the matte effect's own (effects/matte/matte_settings.h).
#pragma once

#include "effects/matte/matte_settings.h"
#include "framework/instance.h"

namespace qov::matte_params {

// The amounts' and inversions' default: the float nearest to 0.9 (bits 0x3F666666).
inline constexpr float kDefaultAmount = 0.9f;
inline constexpr int kNumMultiInputParameters = matte::matteParameterCount + 1;

// The matte rule's weights and flags from an instance's (clamped) parameters.
inline matte::MatteSettings settingsOf(const PlugObj& obj) {
  float values[matte::matteParameterCount];
  for (int i = 0; i < matte::matteParameterCount; ++i) values[i] = obj.fParams[i].value;
  return matte::matteSettingsFromParameters(values);
}

}  // namespace qov::matte_params

// The nine shared entries, in index order.
#define QOV_MATTE_PARAMETER_TABLE                                                            \
  {1.0f, "Alpha Amount"}, {qov::matte_params::kDefaultAmount, "Red Amount"},                \
      {qov::matte_params::kDefaultAmount, "Green Amount"},                                   \
      {qov::matte_params::kDefaultAmount, "Blue Amount"},                                    \
      {qov::matte_params::kDefaultAmount, "Invert All"},                                     \
      {qov::matte_params::kDefaultAmount, "Invert Alpha"},                                   \
      {qov::matte_params::kDefaultAmount, "Invert Red"},                                     \
      {qov::matte_params::kDefaultAmount, "Invert Green"},                                   \
      {qov::matte_params::kDefaultAmount, "Invert Blue"}
