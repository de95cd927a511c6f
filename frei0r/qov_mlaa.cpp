// qov_mlaa, the frei0r filter form of QovMLAA1: the whole antialiasing frame pipeline on
// 32-bit frames (working copy, MLAA, Strength mix), with the instance's working memory
// taken once at construction, and more of it for calls that come while another call has it
// (MLT's slice threads).
#include <cstddef>
#include <new>

#include "effects/antialias/antialias_parameters.h"
#include "effects/antialias/frame_pipeline.h"
#include "frei0r/frei0r_api.h"
#include "frei0r/instance.h"
#include "frei0r/plugin_description.h"
#include "frei0r/workspace_set.h"
#include "plugins/QovMLAA1/identity.h"

namespace qov::frei0r {
namespace {

// frei0r frames always have four bytes per pixel, blue first (the plug-in declares BGRA8888),
// rows packed.
inline constexpr aa::PixelLayout kLayout = aa::kLayoutBGRA;
static_assert(mlaa1::kParameterSpecs.size() <= kMaxParameters);

aa::AntialiasWorkspace* makeWorkspace(uint32_t width, uint32_t height) {
  auto* workspace = new (std::nothrow) aa::AntialiasWorkspace;
  if (workspace != nullptr && !workspace->allocate(static_cast<int>(width), static_cast<int>(height))) {
    delete workspace;
    return nullptr;
  }
  return workspace;
}

class AntialiasInstance final : public Instance {
 public:
  AntialiasInstance(int width, int height)
      : Instance(width, height), workspaces(makeWorkspace, static_cast<uint32_t>(width), static_cast<uint32_t>(height)) {}

  void update(const uint8_t* first, const uint8_t* /*second*/, uint8_t* output) override {
    const std::ptrdiff_t stride = std::ptrdiff_t{width()} * kLayout.channels;
    const auto workspace = workspaces.take();
    // frei0r has no way to report a failure; the sizes were checked at construction.
    aa::antialiasFrame(first, stride, output, stride, width(), height(), kLayout, aa::antialiasSettingsFrom(values()),
                       *workspace, pool());
  }

  WorkspaceSet<aa::AntialiasWorkspace> workspaces;
};

}  // namespace

const PluginDescription kPluginDescription = {
    "Qov MLAA",
    "Qov team",
    F0R_PLUGIN_TYPE_FILTER,
    mlaa1::kMajorVersion,
    mlaa1::kMinorVersion,
    "Morphological antialiasing: finds the colour edges of the picture, follows each edge along its run "
    "and blends the pixels on both sides by the shape of its ends, smoothing jagged staircases; then "
    "mixes the result with the original by Strength.",
    mlaa1::kParameterSpecs.data(),
    static_cast<int>(mlaa1::kParameterSpecs.size()),
};

Instance* createInstance(int width, int height) {
  AntialiasInstance* instance = new (std::nothrow) AntialiasInstance(width, height);
  if (instance != nullptr && !instance->workspaces.ready()) {
    delete instance;
    return nullptr;
  }
  return instance;
}

}  // namespace qov::frei0r
