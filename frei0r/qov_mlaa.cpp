// qov_mlaa, the frei0r filter form of QovMLAA1: the whole antialiasing frame pipeline on
// 32-bit frames (working copy, MLAA, Strength mix), with the instance's working images
// allocated and zero-filled once at construction.
#include <cstring>
#include <new>

#include "effects/antialias/antialias_parameters.h"
#include "effects/antialias/frame_pipeline.h"
#include "framework/aligned_memory.h"
#include "frei0r/frei0r_api.h"
#include "frei0r/instance.h"
#include "frei0r/plugin_description.h"
#include "plugins/QovMLAA1/identity.h"

namespace qov::frei0r {
namespace {

inline constexpr int kChannels = 4;  // frei0r frames always have four bytes per pixel
static_assert(mlaa1::kParameterSpecs.size() <= kMaxParameters);

class AntialiasInstance final : public Instance {
 public:
  AntialiasInstance(int width, int height, uint8_t* workFrame, uint8_t* edgeBuffer)
      : Instance(width, height), workFrame_(workFrame), edgeBuffer_(edgeBuffer) {}
  ~AntialiasInstance() override {
    alignedFree(workFrame_);
    alignedFree(edgeBuffer_);
  }

  void update(const uint8_t* first, const uint8_t* /*second*/, uint8_t* output) override {
    aa::antialiasFrame(first, output, workFrame_, edgeBuffer_, width(), height(), kChannels,
                       aa::antialiasSettingsFrom(values()), pool());
  }

 private:
  uint8_t* workFrame_;
  uint8_t* edgeBuffer_;
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
  const std::size_t bytes = std::size_t(width) * std::size_t(height) * kChannels;
  uint8_t* workFrame = alignedAlloc(bytes);
  uint8_t* edgeBuffer = alignedAlloc(bytes);
  if (workFrame != nullptr && edgeBuffer != nullptr) {
    std::memset(workFrame, 0, bytes);
    std::memset(edgeBuffer, 0, bytes);
    Instance* instance = new (std::nothrow) AntialiasInstance(width, height, workFrame, edgeBuffer);
    if (instance != nullptr) return instance;
  }
  alignedFree(workFrame);
  alignedFree(edgeBuffer);
  return nullptr;
}

}  // namespace qov::frei0r
