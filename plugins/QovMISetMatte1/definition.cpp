// Descriptor values and parameter table of QovMISetMatte1, the two-input matte plug-in.
#include "framework/plugin_definition.h"
#include "plugins/matte_parameters.h"

namespace qov {
namespace {

const ParamDef kParameters[matte_params::kNumMultiInputParameters] = {
    QOV_MATTE_PARAMETER_TABLE,
    {0.0f, "Switch Inputs"},
};

}  // namespace

const PluginDefinition kPluginDefinition = {
    {kApiMajorVersion, kApiMinorVersion, {'z', 'q', '1', '7'}, "QovMISetMatte1", FF_EFFECT},
    {3, 996,
     "2 inputs: uses one input as alpha/transparency for the other",
     "QovMISetMatte1 - Version 2.8\nBy the Qov team. Free to use in performances and recordings.",
     0, nullptr},
    kParameters,
    matte_params::kNumMultiInputParameters,
    false,
    // Each output pixel comes from the same pixel of the two inputs alone.
    {true, true, true},
};

}  // namespace qov
