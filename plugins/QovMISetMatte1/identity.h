// What the FreeFrame and frei0r editions of the two-input matte plug-in share: its
// version and its parameter list.
#pragma once

#include "effects/matte/matte_parameters.h"

namespace qov::misetmatte1 {

inline constexpr int kMajorVersion = 3;
inline constexpr int kMinorVersion = 996;
inline constexpr const auto& kParameterSpecs = matte::kTwoInputMatteParameterSpecs;

}  // namespace qov::misetmatte1
