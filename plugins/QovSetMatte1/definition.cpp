// Descriptor values and parameter table of QovSetMatte1, the single-input matte plug-in.
#include "framework/plugin_definition.h"
#include "plugins/QovSetMatte1/identity.h"

namespace qov {

PluginEffect* createSetMatteEffect(const VideoInfo& videoInfo);

namespace {

constexpr auto kParameters = parameterTable(setmatte1::kParameterSpecs);

}  // namespace

const PluginDefinition kPluginDefinition = {
    {kApiMajorVersion, kApiMinorVersion, {'z', 'q', '2', 'b'}, "QovSetMatte1", FF_EFFECT},
    {setmatte1::kMajorVersion, setmatte1::kMinorVersion,
     "Input is turned into alpha channel (transparency) mask",
     "QovSetMatte1 - Version 3.x\nBy the Qov team. Free to use in performances and recordings.",
     0, nullptr},
    kParameters.data(),
    kParameters.size(),
    // Each output pixel comes from the same pixel of the input alone.
    {true, false, false},
    createSetMatteEffect,
};

}  // namespace qov
