// What the FreeFrame and frei0r editions of the single-input matte plug-in share: its
// version and its parameter list.
#pragma once

#include "effects/matte/matte_parameters.h"

namespace qov::setmatte1 {

inline constexpr int kMajorVersion = 3;
inline constexpr int kMinorVersion = 861;
inline constexpr const auto& kParameterSpecs = matte::kMatteParameterSpecs;

}  // namespace qov::setmatte1
