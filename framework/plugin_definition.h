// What each plug-in supplies to the shared framework: its descriptor values, its
// parameter table and the effect behind processFrameMulti. The framework is compiled
// into every plug-in library; each library defines these symbols exactly once.
#pragma once

#include <cstdint>

#include "framework/boundary.h"

namespace qov {

struct PlugObj;

// One entry of a plug-in's static parameter table.
struct ParamDef {
  float defaultValue;
  char name[kNameSize];  // NUL-padded
};

struct PluginDefinition {
  char uniqueId[kUniqueIdSize];
  char name[kNameSize];
  uint32_t majorVersion;
  uint32_t minorVersion;
  const char* description;
  const char* about;
  const ParamDef* parameters;
  uint32_t numParameters;
  // The antialiasing plug-in keeps two 4-byte-per-pixel working images per instance.
  bool needsWorkFrames;
};

// Defined by each plug-in.
extern const PluginDefinition kPluginDefinition;

// The plug-in's own work of processFrameMulti, called once the common entry steps have
// passed: parameters are clamped and `obj.fMulti` holds at least one input and one output
// with pixel memory in slot 0. Returns 0 on success or -1 after showing a message.
int effectProcessFrameMulti(PlugObj& obj);

}  // namespace qov
