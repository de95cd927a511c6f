// Descriptor values and parameter table of QovMLAA1, the antialiasing plug-in.
#include "framework/plugin_definition.h"
#include "plugins/QovMLAA1/parameters.h"

namespace qov {
namespace {

const ParamDef kParameters[mlaa1::kNumParameters] = {
    {1.0f, "Strength"},
    {0.0f, "Use Half"},
    {0.0f, "Thin Lines"},
    {0.0f, "Visualize"},
    {0.0f, "Use Alpha"},
};

}  // namespace

const PluginDefinition kPluginDefinition = {
    {kApiMajorVersion, kApiMinorVersion, {'z', 'q', '4', 'q'}, "QovMLAA1", FF_EFFECT},
    {1, 891,
     "MLAA Post Processing (Morphological Antialiasing). After the published method of "
     "morphological antialiasing by its original authors; plug-in by the Qov team.",
     "QovMLAA1\nFreeFrame plug-in integration by the Qov team.",
     0, nullptr},
    kParameters,
    mlaa1::kNumParameters,
    true,
    // The working copy holds every input pixel before the Strength mix writes the output,
    // one pixel from the same pixel of both.
    {true, false, false},
};

}  // namespace qov
