// The parameters of the antialiasing effect, in the order hosts list them, and the
// setting each one fills.
#pragma once

#include "effects/antialias/frame_pipeline.h"
#include "effects/parameters/parameter_schema.h"

namespace qov::aa {

inline constexpr parameters::Parameter<AntialiasSettings> kAntialiasParameters[] = {
    parameters::amount<&AntialiasSettings::strength>(
        "Strength", 1.0f,
        "How much of the antialiased picture is mixed over the original: 0 leaves the picture unchanged, 1 "
        "shows the antialiased picture alone."),
    parameters::onOff<&AntialiasSettings::useHalf>(
        "Use Half", 0.0f,
        "Take every end of an edge as turning halfway between pixels, instead of estimating where from the "
        "colours: a steadier, more even smoothing."),
    parameters::onOff<&AntialiasSettings::thinLines>(
        "Thin Lines", 0.0f, "Also soften lines that are one pixel thick, before the edges are smoothed."),
    parameters::onOff<&AntialiasSettings::visualize>(
        "Visualize", 0.0f,
        "Paint the edges that were found instead of smoothing them, to see what the effect works on: green "
        "where a pixel differs from the one below, red where it differs from the one to its right."),
    parameters::onOff<&AntialiasSettings::useAlpha>(
        "Use Alpha", 0.0f,
        "Let differences in transparency count as edges, as well as differences in colour. The output keeps "
        "the input's alpha either way."),
};

inline constexpr auto kAntialiasParameterSpecs = parameters::specsOf(kAntialiasParameters);

// The settings for the parameter values, in kAntialiasParameters order.
inline AntialiasSettings antialiasSettingsFrom(const float* values) {
  return parameters::settingsFrom(kAntialiasParameters, values);
}

}  // namespace qov::aa
