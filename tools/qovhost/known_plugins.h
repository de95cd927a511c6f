// The Qov plug-ins as qovhost knows them from the inside: FreeFrame tells a host only each
// parameter's name, default and type code, so the kind (amount or switch) and the
// explanation of every parameter come from the parameter list each effect declares once,
// the same one the plug-ins themselves and their frei0r editions are built from. A loaded
// library counts as one of ours only when its name, unique ID and parameter names all
// match.
#pragma once

#include <cstddef>
#include <string>

#include "effects/matte/matte_presets.h"
#include "effects/parameters/parameter_schema.h"
#include "host/plugin_library.h"

namespace qov::qovhost {

struct KnownPlugin {
  const char* name;         // the FreeFrame plug-in name (and library file name)
  const char* uniqueId;     // the four characters of its unique ID
  const char* frei0rName;   // the file name of its frei0r edition, without ".so"
  const parameters::ParameterSpec* parameters;
  std::size_t parameterCount;
  // Named settings of its first parameters (the nine of the matte rule); none for others.
  const matte::MattePreset* presets;
  std::size_t presetCount;
};

// Our plug-in that `library` is, or null.
const KnownPlugin* knownPlugin(const host::PluginLibrary& library);

// Our plug-in whose frei0r edition has this file name (without directory or ".so"), or null.
const KnownPlugin* knownFrei0rEdition(const std::string& fileName);

}  // namespace qov::qovhost
