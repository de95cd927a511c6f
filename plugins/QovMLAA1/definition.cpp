// Descriptor values and parameter table of QovMLAA1, the antialiasing plug-in.
#include "framework/plugin_definition.h"
#include "plugins/QovMLAA1/identity.h"

namespace qov {

PluginEffect* createAntialiasEffect(const VideoInfo& videoInfo);

namespace {

constexpr auto kParameters = parameterTable(mlaa1::kParameterSpecs);

}  // namespace

const PluginDefinition kPluginDefinition = {
    {kApiMajorVersion, kApiMinorVersion, {'z', 'q', '4', 'q'}, "QovMLAA1", FF_EFFECT},
    {mlaa1::kMajorVersion, mlaa1::kMinorVersion,
     "MLAA Post Processing (Morphological Antialiasing). After the published method of "
     "morphological antialiasing by its original authors; plug-in by the Qov team.",
     "QovMLAA1\nFreeFrame plug-in integration by the Qov team.",
     0, nullptr},
    kParameters.data(),
    kParameters.size(),
    // The working copy holds every input pixel before the Strength mix writes the output,
    // one pixel from the same pixel of both.
    {true, false, false},
    createAntialiasEffect,
};

}  // namespace qov
