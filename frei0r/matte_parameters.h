// The parameter table both frei0r matte plug-ins start with, in the matte effect's own index
// order (effects/matte/matte_settings.h); the two-input plug-in adds "Switch Inputs".
// Defaults are those of the FreeFrame matte plug-ins, the inversions' 0.9 stored as "on".
#pragma once

#include "frei0r/frei0r_api.h"

namespace qov::frei0r::matte_params {

// The float nearest to 0.9, the default of the colour amounts.
inline constexpr float kDefaultAmount = 0.9f;
inline constexpr float kDefaultAlphaAmount = 1.0f;
inline constexpr float kOn = 1.0f;
inline constexpr float kOff = 0.0f;

}  // namespace qov::frei0r::matte_params

#define QOV_F0R_MATTE_AMOUNT_TEXT(byte)                                                              \
  "How much the pixel's " byte " adds to the mask, its new alpha (0: nothing). The mask saturates " \
  "quickly: 0.000123 adds the byte's own value, and from 0.032 up any non-zero " byte               \
  " makes the pixel fully opaque."
#define QOV_F0R_MATTE_INVERT_TEXT(byte)                                                               \
  "Count the " byte " term as (1 - " byte " x amount) instead of " byte " x amount, so that little " \
  byte " makes the pixel opaque."

// The nine shared entries, in index order.
#define QOV_F0R_MATTE_PARAMETER_TABLE                                                                      \
  {"Alpha Amount", F0R_PARAM_DOUBLE, qov::frei0r::matte_params::kDefaultAlphaAmount,                      \
   QOV_F0R_MATTE_AMOUNT_TEXT("alpha")},                                                                    \
      {"Red Amount", F0R_PARAM_DOUBLE, qov::frei0r::matte_params::kDefaultAmount,                          \
       QOV_F0R_MATTE_AMOUNT_TEXT("red")},                                                                  \
      {"Green Amount", F0R_PARAM_DOUBLE, qov::frei0r::matte_params::kDefaultAmount,                        \
       QOV_F0R_MATTE_AMOUNT_TEXT("green")},                                                                \
      {"Blue Amount", F0R_PARAM_DOUBLE, qov::frei0r::matte_params::kDefaultAmount,                         \
       QOV_F0R_MATTE_AMOUNT_TEXT("blue")},                                                                 \
      {"Invert All", F0R_PARAM_BOOL, qov::frei0r::matte_params::kOn,                                       \
       "Invert the finished mask (255 - mask): what would be opaque becomes transparent and the other way " \
       "round."},                                                                                          \
      {"Invert Alpha", F0R_PARAM_BOOL, qov::frei0r::matte_params::kOn, QOV_F0R_MATTE_INVERT_TEXT("alpha")}, \
      {"Invert Red", F0R_PARAM_BOOL, qov::frei0r::matte_params::kOn, QOV_F0R_MATTE_INVERT_TEXT("red")},     \
      {"Invert Green", F0R_PARAM_BOOL, qov::frei0r::matte_params::kOn, QOV_F0R_MATTE_INVERT_TEXT("green")}, \
      {"Invert Blue", F0R_PARAM_BOOL, qov::frei0r::matte_params::kOn, QOV_F0R_MATTE_INVERT_TEXT("blue")}
