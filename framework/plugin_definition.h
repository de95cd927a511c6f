// What each plug-in supplies to the shared framework: its descriptor values, its
// parameter table and the factory of the effect behind processFrameMulti. The framework is
// compiled into every plug-in library; each library defines kPluginDefinition exactly once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "effects/parameters/parameter_schema.h"
#include "framework/boundary.h"
#include "framework/plugin_effect.h"

namespace qov {

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
  static_assert(N <= kMaxParameters, "more parameters than an instance stores");
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
  BufferSharing sharing;
  // The effect of a new instance for frames of this format (whose size in bytes fits, at
  // four bytes per pixel, both size_t and int32_t), or null when memory cannot be had.
  // Must not throw.
  PluginEffect* (*createEffect)(const VideoInfo& videoInfo);
};

// Defined by each plug-in.
extern const PluginDefinition kPluginDefinition;

}  // namespace qov
