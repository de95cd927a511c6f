// What each frei0r plug-in supplies to the shared entry points: its name, type, versions,
// explanation and parameter table, and how to create an instance. The entry points
// (frei0r/entry.cpp) are compiled into every frei0r plug-in; each plug-in defines these
// symbols exactly once.
#pragma once

namespace qov::frei0r {

class Instance;

// The most parameters any of the plug-ins has (the two-input matte's ten).
inline constexpr int kMaxParameters = 10;

// One entry of a plug-in's parameter table. `type` is F0R_PARAM_DOUBLE or F0R_PARAM_BOOL;
// the default is the value the plug-in stores at construction (see frei0r/instance.h).
struct ParamDescription {
  const char* name;
  int type;
  float defaultValue;
  const char* explanation;
};

struct PluginDescription {
  const char* name;
  const char* author;
  int pluginType;  // F0R_PLUGIN_TYPE_FILTER or F0R_PLUGIN_TYPE_MIXER2
  int majorVersion;
  int minorVersion;
  const char* explanation;
  const ParamDescription* parameters;
  int numParameters;
};

// Defined by each plug-in.
extern const PluginDescription kPluginDescription;

// A new instance for frames of width x height pixels (both at least 1, and small enough that
// the frame's bytes fit an int), with every buffer it will need and default parameters; or
// null when memory cannot be had. Defined by each plug-in.
Instance* createInstance(int width, int height);

}  // namespace qov::frei0r
