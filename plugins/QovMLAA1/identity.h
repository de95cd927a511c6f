// What the FreeFrame and frei0r editions of the antialiasing plug-in share: its version
// and its parameter list.
#pragma once

#include "effects/antialias/antialias_parameters.h"

namespace qov::mlaa1 {

inline constexpr int kMajorVersion = 1;
inline constexpr int kMinorVersion = 891;
inline constexpr const auto& kParameterSpecs = aa::kAntialiasParameterSpecs;

}  // namespace qov::mlaa1
