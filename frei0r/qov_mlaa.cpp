// qov_mlaa, the frei0r filter form of QovMLAA1: the whole antialiasing frame pipeline on
// 32-bit frames (working copy, MLAA, Strength mix), with the instance's working memory
// taken once at construction.
#include <cstddef>
#include <new>

#include "effects/antialias/antialias_parameters.h"
#include "effects/antialias/frame_pipeline.h"
#include "frei0r/frei0r_api.h"
#include "frei0r/instance.h"
#include "frei0r/plugin_description.h"
#include "plugins/QovMLAA1/identity.h"

namespace qov::frei0r {
namespace {

// frei0r frames always have four bytes per pixel, blue first (the plug-in declares BGRA8888),
// rows packed.
inline constexpr aa::PixelLayout kLayout = aa::kLayoutBGRA;
static_assert(mlaa1::kParameterSpecs.size() <= kMaxParameters);

class AntialiasInstance final : public Instance {
 public:
  AntialiasInstance(int width, int height) : Instance(width, height) {}

  void update(const uint8_t* first, const uint8_t* /*second*/, uint8_t* output) override {
    const std::ptrdiff_t stride = std::ptrdiff_t{width()} * kLayout.channels;
    // frei0r has no way to report a failure; the sizes were checked at construction.
    aa::antialiasFrame(first, stride, output, stride, width(), height(), kLayout, aa::antialiasSettingsFrom(values()),
                       workspace, pool());
  }

  aa::AntialiasWorkspace workspace;
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
  if (instance != nullptr && !instance->workspace.allocate(width, height)) {
    delete instance;
    return nullptr;
  }
  return instance;
}

}  // namespace qov::frei0r
