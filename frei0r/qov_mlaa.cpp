// qov_mlaa, the frei0r filter form of QovMLAA1: the whole antialiasing frame pipeline on
// 32-bit frames (working copy, MLAA, Strength mix), with the instance's working images
// allocated and zero-filled once at construction, and more of them for calls that come
// while another call has them (MLT's slice threads).
#include <new>

#include "effects/antialias/antialias_parameters.h"
#include "effects/antialias/frame_pipeline.h"
#include "frei0r/frei0r_api.h"
#include "frei0r/instance.h"
#include "frei0r/plugin_description.h"
#include "frei0r/workspace_set.h"
#include "plugins/QovMLAA1/identity.h"
#include "plugins/QovMLAA1/working_images.h"

namespace qov::frei0r {
namespace {

inline constexpr int kChannels = 4;  // frei0r frames always have four bytes per pixel
static_assert(mlaa1::kParameterSpecs.size() <= kMaxParameters);

mlaa1::WorkingImages* makeWorkingImages(uint32_t width, uint32_t height) {
  auto* images = new (std::nothrow) mlaa1::WorkingImages;
  if (images != nullptr && !images->allocate(width, height)) {
    delete images;
    return nullptr;
  }
  return images;
}

class AntialiasInstance final : public Instance {
 public:
  AntialiasInstance(int width, int height)
      : Instance(width, height), images(makeWorkingImages, static_cast<uint32_t>(width), static_cast<uint32_t>(height)) {}

  void update(const uint8_t* first, const uint8_t* /*second*/, uint8_t* output) override {
    const auto held = images.take();
    aa::antialiasFrame(first, output, held->workFrame(), held->edgeBuffer(), width(), height(), kChannels,
                       aa::antialiasSettingsFrom(values()), pool());
  }

  WorkspaceSet<mlaa1::WorkingImages> images;
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
  if (instance != nullptr && !instance->images.ready()) {
    delete instance;
    return nullptr;
  }
  return instance;
}

}  // namespace qov::frei0r
