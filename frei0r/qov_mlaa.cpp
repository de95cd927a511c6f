// qov_mlaa, the frei0r filter form of QovMLAA1: the whole antialiasing frame pipeline on
// 32-bit frames (working copy, MLAA, Strength mix), with the instance's working images
// allocated and zero-filled once at construction.
#include <cstring>
#include <new>

#include "effects/antialias/frame_pipeline.h"
#include "framework/aligned_memory.h"
#include "frei0r/frei0r_api.h"
#include "frei0r/instance.h"
#include "frei0r/plugin_description.h"
#include "plugins/QovMLAA1/parameters.h"

namespace qov::frei0r {
namespace {

inline constexpr int kMajorVersion = 1;
inline constexpr int kMinorVersion = 891;
inline constexpr int kChannels = 4;  // frei0r frames always have four bytes per pixel
inline constexpr float kDefaultStrength = 1.0f;
inline constexpr float kOff = 0.0f;

const ParamDescription kParameters[mlaa1::kNumParameters] = {
    {"Strength", F0R_PARAM_DOUBLE, kDefaultStrength,
     "How much of the antialiased picture is mixed over the original: 0 leaves the picture unchanged, 1 "
     "shows the antialiased picture alone."},
    {"Use Half", F0R_PARAM_BOOL, kOff,
     "Take every end of an edge as turning halfway between pixels, instead of estimating where from the "
     "colours: a steadier, more even smoothing."},
    {"Thin Lines", F0R_PARAM_BOOL, kOff, "Also soften lines that are one pixel thick, before the edges are smoothed."},
    {"Visualize", F0R_PARAM_BOOL, kOff,
     "Paint the edges that were found instead of smoothing them, to see what the effect works on: green "
     "where a pixel differs from the one below, red where it differs from the one to its right."},
    {"Use Alpha", F0R_PARAM_BOOL, kOff,
     "Let differences in transparency count as edges, as well as differences in colour. The output keeps "
     "the input's alpha either way."},
};

class AntialiasInstance final : public Instance {
 public:
  AntialiasInstance(int width, int height, uint8_t* workFrame, uint8_t* edgeBuffer)
      : Instance(width, height), workFrame_(workFrame), edgeBuffer_(edgeBuffer) {}
  ~AntialiasInstance() override {
    alignedFree(workFrame_);
    alignedFree(edgeBuffer_);
  }

  void update(const uint8_t* first, const uint8_t* /*second*/, uint8_t* output) override {
    aa::AntialiasSettings settings;
    settings.strength = value(mlaa1::kStrength);
    settings.useHalf = switchOn(mlaa1::kUseHalf);
    settings.thinLines = switchOn(mlaa1::kThinLines);
    settings.visualize = switchOn(mlaa1::kVisualize);
    settings.useAlpha = switchOn(mlaa1::kUseAlpha);
    aa::antialiasFrame(first, output, workFrame_, edgeBuffer_, width(), height(), kChannels, settings, pool());
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
    kMajorVersion,
    kMinorVersion,
    "Morphological antialiasing: finds the colour edges of the picture, follows each edge along its run "
    "and blends the pixels on both sides by the shape of its ends, smoothing jagged staircases; then "
    "mixes the result with the original by Strength.",
    kParameters,
    mlaa1::kNumParameters,
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
