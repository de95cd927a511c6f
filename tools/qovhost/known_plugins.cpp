// The table of our plug-ins.
#include "tools/qovhost/known_plugins.h"

#include <iterator>

#include "plugins/QovMISetMatte1/identity.h"
#include "plugins/QovMLAA1/identity.h"
#include "plugins/QovSetMatte1/identity.h"

namespace qov::qovhost {
namespace {

const KnownPlugin kKnownPlugins[] = {
    {"QovMLAA1", "zq4q", "qov_mlaa", mlaa1::kParameterSpecs.data(), mlaa1::kParameterSpecs.size(), nullptr, 0},
    {"QovSetMatte1", "zq2b", "qov_setmatte", setmatte1::kParameterSpecs.data(), setmatte1::kParameterSpecs.size(),
     matte::kMattePresets, matte::mattePresetCount},
    {"QovMISetMatte1", "zq17", "qov_misetmatte", misetmatte1::kParameterSpecs.data(),
     misetmatte1::kParameterSpecs.size(), matte::kMattePresets, matte::mattePresetCount},
};

bool parametersMatch(const host::PluginLibrary& library, const KnownPlugin& plugin) {
  if (library.numParameters() != plugin.parameterCount) return false;
  for (std::size_t i = 0; i < plugin.parameterCount; ++i)
    if (library.parameterName(static_cast<uint32_t>(i)) != plugin.parameters[i].name) return false;
  return true;
}

}  // namespace

const KnownPlugin* knownPlugin(const host::PluginLibrary& library) {
  for (const KnownPlugin& plugin : kKnownPlugins)
    if (library.name() == plugin.name && library.uniqueId() == plugin.uniqueId && parametersMatch(library, plugin))
      return &plugin;
  return nullptr;
}

const KnownPlugin* knownFrei0rEdition(const std::string& fileName) {
  for (const KnownPlugin& plugin : kKnownPlugins)
    if (fileName == plugin.frei0rName) return &plugin;
  return nullptr;
}

}  // namespace qov::qovhost
