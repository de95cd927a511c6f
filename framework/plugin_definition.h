// What each plug-in supplies to the shared framework: its descriptor values, its
// parameter table and the effect behind processFrameMulti. The framework is compiled
// into every plug-in library; each library defines these symbols exactly once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "effects/parameters/parameter_schema.h"
#include "framework/boundary.h"

namespace qov {

struct PlugObj;

// What an effect allows of the buffers it is handed. Function codes 3 and 14 give it the
// host's frames directly where these allow it, and a copy of the input otherwise.
struct BufferSharing {
  // Output slot 0 may be input slot 0's memory (in place): each output byte is written
  // only after every input byte it depends on has been read.
  bool outputMayBeInput;
  // The effect reads a second input (input slot 1, or input slot 0 when one is counted)...
  bool readsSecondInput;
  // ...and the output may be that input's memory too.
  bool outputMayBeSecondInput;
};

// One entry of a plug-in's parameter table as hosts read it: the name is returned by
// address, as a NUL-padded field.
struct ParamDef {
  float defaultValue;
  char name[kNameSize];
};

// The table of an effect's parameter list, built at compile time; a name that does not
// leave room for its NUL does not compile.
template <std::size_t N>
constexpr std::array<ParamDef, N> parameterTable(const std::array<parameters::ParameterSpec, N>& specs) {
  std::array<ParamDef, N> table{};
  for (std::size_t i = 0; i < N; ++i) {
    table[i].defaultValue = specs[i].defaultValue;
    std::size_t length = 0;
    for (const char* c = specs[i].name; *c != '\0'; ++c) {
      if (length + 1 >= kNameSize) throw "parameter name longer than its field";
      table[i].name[length++] = *c;
    }
  }
  return table;
}

// The API version every plug-in reports in its PlugInfo record.
inline constexpr uint32_t kApiMajorVersion = 1;
inline constexpr uint32_t kApiMinorVersion = 0;

struct PluginDefinition {
  // The two descriptor records, returned by address (function codes 0 and 13). Constant
  // and initialised at compile time, never written: any number of host threads may read
  // them at once.
  PlugInfo info;
  ExtendedInfo extendedInfo;
  const ParamDef* parameters;
  uint32_t numParameters;
  // The antialiasing plug-in keeps two 4-byte-per-pixel working images per instance.
  bool needsWorkFrames;
  BufferSharing sharing;
};

// Defined by each plug-in.
extern const PluginDefinition kPluginDefinition;

// The plug-in's own work of processFrameMulti, called once the common entry steps have
// passed: parameters are clamped and `obj.fMulti` holds at least one input and one output
// with pixel memory in slot 0, both declaring the instance's size and the same channel
// count. Returns 0 on success or -1 after showing a message; an effect refuses before it
// writes anything, so that a refused frame is left as the host gave it.
int effectProcessFrameMulti(PlugObj& obj);

}  // namespace qov
