// What each frei0r plug-in supplies to the shared entry points: its name, type, versions,
// explanation and parameter list, and how to create an instance. The entry points
// (frei0r/entry.cpp) are compiled into every frei0r plug-in; each plug-in defines these
// symbols exactly once.
#pragma once

#include "effects/parameters/parameter_schema.h"

namespace qov::frei0r {

class Instance;

// The most parameters a plug-in may have, as in the FreeFrame editions.
inline constexpr int kMaxParameters = parameters::kMaxParameters;

struct PluginDescription {
  const char* name;
  const char* author;
  int pluginType;  // F0R_PLUGIN_TYPE_FILTER or F0R_PLUGIN_TYPE_MIXER2
  int majorVersion;
  int minorVersion;
  const char* explanation;
  // The effect's parameter list: an amount is a frei0r double, a switch a frei0r bool.
  const parameters::ParameterSpec* parameters;
  int numParameters;
};

// Defined by each plug-in.
extern const PluginDescription kPluginDescription;

// A new instance for frames of width x height pixels (both at least 1, and small enough that
// the frame's bytes fit an int), with every buffer it will need and default parameters; or
// null when memory cannot be had. Defined by each plug-in.
Instance* createInstance(int width, int height);

}  // namespace qov::frei0r
