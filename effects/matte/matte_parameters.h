// The parameters of the matte effects, in the order hosts list them, and the setting each
// one fills: the nine of the matte rule, and the two-input matte's list, which adds
// "Switch Inputs" after them.
#pragma once

#include <cstddef>
#include <iterator>

#include "effects/matte/matte_settings.h"
#include "effects/parameters/parameter_schema.h"

namespace qov::matte {

// The default of the colour amounts and the inversions: the float nearest to 0.9 (bits
// 0x3F666666), which leaves every inversion on.
inline constexpr float kDefaultAmount = 0.9f;

#define QOV_MATTE_AMOUNT_TEXT(byte)                                                                  \
  "How much the pixel's " byte " adds to the mask, its new alpha (0: nothing). The mask saturates " \
  "quickly: 0.000123 adds the byte's own value, and from 0.032 up any non-zero " byte               \
  " makes the pixel fully opaque."
#define QOV_MATTE_INVERT_TEXT(byte)                                                                   \
  "Count the " byte " term as (1 - " byte " x amount) instead of " byte " x amount, so that little " \
  byte " makes the pixel opaque."

inline constexpr parameters::Parameter<MatteSettings> kMatteParameters[] = {
    parameters::amount<&MatteSettings::alphaWeight, weightFromAmount>("Alpha Amount", 1.0f,
                                                                      QOV_MATTE_AMOUNT_TEXT("alpha")),
    parameters::amount<&MatteSettings::redWeight, weightFromAmount>("Red Amount", kDefaultAmount,
                                                                    QOV_MATTE_AMOUNT_TEXT("red")),
    parameters::amount<&MatteSettings::greenWeight, weightFromAmount>("Green Amount", kDefaultAmount,
                                                                      QOV_MATTE_AMOUNT_TEXT("green")),
    parameters::amount<&MatteSettings::blueWeight, weightFromAmount>("Blue Amount", kDefaultAmount,
                                                                     QOV_MATTE_AMOUNT_TEXT("blue")),
    parameters::onOff<&MatteSettings::invertAll>(
        "Invert All", kDefaultAmount,
        "Invert the finished mask (255 - mask): what would be opaque becomes transparent and the other way "
        "round."),
    parameters::onOff<&MatteSettings::invertAlpha>("Invert Alpha", kDefaultAmount, QOV_MATTE_INVERT_TEXT("alpha")),
    parameters::onOff<&MatteSettings::invertRed>("Invert Red", kDefaultAmount, QOV_MATTE_INVERT_TEXT("red")),
    parameters::onOff<&MatteSettings::invertGreen>("Invert Green", kDefaultAmount, QOV_MATTE_INVERT_TEXT("green")),
    parameters::onOff<&MatteSettings::invertBlue>("Invert Blue", kDefaultAmount, QOV_MATTE_INVERT_TEXT("blue")),
};

#undef QOV_MATTE_AMOUNT_TEXT
#undef QOV_MATTE_INVERT_TEXT

// What the two-input matte adds after the nine.
inline constexpr parameters::Parameter<TwoInputMatteSettings> kTwoInputMatteExtraParameters[] = {
    parameters::onOff<&TwoInputMatteSettings::switchInputs>(
        "Switch Inputs", 0.0f,
        "Off: colour from the first input, mask from the second. On: colour from the second, mask from the "
        "first."),
};

inline constexpr std::size_t matteParameterCount = std::size(kMatteParameters);
inline constexpr auto kMatteParameterSpecs = parameters::specsOf(kMatteParameters);
inline constexpr auto kTwoInputMatteParameterSpecs =
    parameters::join(kMatteParameterSpecs, parameters::specsOf(kTwoInputMatteExtraParameters));

// Weights and flags from the nine parameter values, in kMatteParameters order.
inline MatteSettings matteSettingsFromParameters(const float* values) {
  return parameters::settingsFrom(kMatteParameters, values);
}

// The two-input matte's settings from its ten values, in kTwoInputMatteParameterSpecs order.
inline TwoInputMatteSettings twoInputMatteSettingsFrom(const float* values) {
  TwoInputMatteSettings settings = parameters::settingsFrom(kTwoInputMatteExtraParameters, values + matteParameterCount);
  settings.matte = matteSettingsFromParameters(values);
  return settings;
}

}  // namespace qov::matte
