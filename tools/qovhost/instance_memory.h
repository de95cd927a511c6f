// Why a plug-in refused a frame format, told apart by trying it again: a depth it refuses
// at every size, or a size it cannot get the memory for. For the second, the heap a new
// instance takes is measured at a fraction of the frame's height and scaled up, since
// working images grow with the rows of the frame.
#pragma once

#include <cstdint>
#include <optional>

#include "host/plugin_library.h"

namespace qov::qovhost {

// True when the plug-in takes `depthCode` frames of a small size.
bool takesDepthAtSmallSize(const host::PluginLibrary& library, uint32_t depthCode);

// About how many bytes of heap an instance for width x height frames of `depthCode` takes;
// nothing when it cannot be measured.
std::optional<uint64_t> instanceHeapBytes(const host::PluginLibrary& library, uint32_t width, uint32_t height,
                                          uint32_t depthCode);

}  // namespace qov::qovhost
