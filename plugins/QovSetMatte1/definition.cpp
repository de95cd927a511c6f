// Descriptor values and parameter table of QovSetMatte1, the single-input matte plug-in.
#include "framework/plugin_definition.h"
#include "plugins/matte_parameters.h"

namespace qov {
namespace {

const ParamDef kParameters[matte::matteParameterCount] = {QOV_MATTE_PARAMETER_TABLE};

}  // namespace

const PluginDefinition kPluginDefinition = {
    {kApiMajorVersion, kApiMinorVersion, {'z', 'q', '2', 'b'}, "QovSetMatte1", FF_EFFECT},
    {3, 861,
     "Input is turned into alpha channel (transparency) mask",
     "QovSetMatte1 - Version 3.x\nBy the Qov team. Free to use in performances and recordings.",
     0, nullptr},
    kParameters,
    matte::matteParameterCount,
    false,
    // Each output pixel comes from the same pixel of the input alone.
    {true, false, false},
};

}  // namespace qov
