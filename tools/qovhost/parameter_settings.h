// --preset NAME and --set NAME=VALUE: a preset's values, then a parameter chosen by name (any letter case) or index, and a value
// that must be a number, or for a switch a word for on or off (yes/no, y/n, on/off,
// true/false); values outside 0..1 are passed on with a warning, since the plug-ins clamp
// them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/plugin_instance.h"
#include "host/plugin_library.h"

namespace qov::qovhost {

struct ParameterSetting {
  uint32_t index;
  float value;
};

// Throws CommandError (an unknown name lists the valid ones); warns on standard error.
ParameterSetting parseSetting(const host::PluginLibrary& library, const std::string& text);

// The values of a named preset (any letter case) of one of our matte plug-ins. Throws
// CommandError for a plug-in without presets or an unknown name (with the nearest one).
std::vector<ParameterSetting> presetSettings(const host::PluginLibrary& library, const std::string& name);

// The preset's values (none when `preset` is empty), then each --set in order, so that a
// --set overrides what the preset set.
std::vector<ParameterSetting> parseSettings(const host::PluginLibrary& library, const std::string& preset,
                                            const std::vector<std::string>& texts);

// Throws CommandError when the plug-in refuses a value.
void applySettings(const host::PluginInstance& instance, const std::vector<ParameterSetting>& settings);

}  // namespace qov::qovhost
