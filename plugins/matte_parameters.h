// Parameter indices shared by the two matte plug-ins; QovMISetMatte1 adds "Switch Inputs".
#pragma once

#include <cstdint>

namespace qov::matte_params {

enum Parameter : uint32_t {
  kAlphaAmount = 0,
  kRedAmount = 1,
  kGreenAmount = 2,
  kBlueAmount = 3,
  kInvertAll = 4,
  kInvertAlpha = 5,
  kInvertRed = 6,
  kInvertGreen = 7,
  kInvertBlue = 8,
  kNumMatteParameters = 9,
  kSwitchInputs = 9,
  kNumMultiInputParameters = 10,
};

// 0.9 as a float: 0x3F666666, the float nearest to 0.9.
inline constexpr float kDefaultAmount = 0.9f;

}  // namespace qov::matte_params

// The nine parameters both matte plug-ins start with, in index order.
#define QOV_MATTE_PARAMETER_TABLE                                                            \
  {1.0f, "Alpha Amount"}, {qov::matte_params::kDefaultAmount, "Red Amount"},                \
      {qov::matte_params::kDefaultAmount, "Green Amount"},                                   \
      {qov::matte_params::kDefaultAmount, "Blue Amount"},                                    \
      {qov::matte_params::kDefaultAmount, "Invert All"},                                     \
      {qov::matte_params::kDefaultAmount, "Invert Alpha"},                                   \
      {qov::matte_params::kDefaultAmount, "Invert Red"},                                     \
      {qov::matte_params::kDefaultAmount, "Invert Green"},                                   \
      {qov::matte_params::kDefaultAmount, "Invert Blue"}
