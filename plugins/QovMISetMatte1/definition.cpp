// Descriptor values and parameter table of QovMISetMatte1, the two-input matte plug-in.
#include "framework/plugin_definition.h"
#include "plugins/QovMISetMatte1/identity.h"

namespace qov {

PluginEffect* createTwoInputMatteEffect(const VideoInfo& videoInfo);

namespace {

constexpr auto kParameters = parameterTable(misetmatte1::kParameterSpecs);

}  // namespace

const PluginDefinition kPluginDefinition = {
    {kApiMajorVersion, kApiMinorVersion, {'z', 'q', '1', '7'}, "QovMISetMatte1", FF_EFFECT},
    {misetmatte1::kMajorVersion, misetmatte1::kMinorVersion,
     "2 inputs: uses one input as alpha/transparency for the other",
     "QovMISetMatte1 - Version 2.8\nBy the Qov team. Free to use in performances and recordings.",
     0, nullptr},
    kParameters.data(),
    kParameters.size(),
    // Each output pixel comes from the same pixel of the two inputs alone.
    {true, true, true},
    createTwoInputMatteEffect,
};

}  // namespace qov
