// Probing instances. The heap is counted by glibc's allocator statistics (mallinfo2): the
// plug-in allocates on the thread that instantiates it, from the same allocator.
#include "tools/qovhost/instance_memory.h"

#include <malloc.h>

#include "host/plugin_instance.h"

namespace qov::qovhost {
namespace {

constexpr uint32_t kSmallSide = 64;
// The measuring instance has a quarter of the frame's rows, or less when even that cannot
// be had. Large enough that the allocator's rounding of big blocks (to 2 MiB for the
// plug-ins' frame-sized images) is small beside them; a few bands of rows at least, so
// that what a plug-in keeps per band rather than per row is measured at its full size.
constexpr uint32_t kFirstFraction = 4;
constexpr uint32_t kLastFraction = 64;
constexpr uint32_t kFewestRows = 64;

uint64_t heapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;  // small blocks in use + blocks mapped on their own
}

// The heap one instance takes, or nothing when the plug-in refuses it.
std::optional<uint64_t> measuredInstance(const host::PluginLibrary& library, uint32_t width, uint32_t height,
                                         uint32_t depthCode) {
  const uint64_t before = heapInUse();
  try {
    const host::PluginInstance instance(library, width, height, depthCode);
    const uint64_t after = heapInUse();
    return after > before ? after - before : 0;
  } catch (const host::InstantiateError&) {
    return std::nullopt;
  }
}

}  // namespace

bool takesDepthAtSmallSize(const host::PluginLibrary& library, uint32_t depthCode) {
  try {
    host::PluginInstance instance(library, kSmallSide, kSmallSide, depthCode);
    return true;
  } catch (const host::InstantiateError&) {
    return false;
  }
}

std::optional<uint64_t> instanceHeapBytes(const host::PluginLibrary& library, uint32_t width, uint32_t height,
                                          uint32_t depthCode) {
  for (uint32_t fraction = kFirstFraction; fraction <= kLastFraction; fraction *= 2) {
    const uint32_t rows = (height + fraction - 1) / fraction;
    if (rows < kFewestRows) break;
    const std::optional<uint64_t> bytes = measuredInstance(library, width, rows, depthCode);
    if (bytes) return *bytes == 0 ? std::nullopt : std::optional<uint64_t>(*bytes * height / rows);
  }
  return std::nullopt;
}

}  // namespace qov::qovhost
