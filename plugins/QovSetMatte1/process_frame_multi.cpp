// The single-input matte effect's part of processFrameMulti: each output pixel keeps its
// colour bytes and gets the mask of its own four bytes as alpha. It keeps nothing from
// frame to frame.
#include <new>

#include "effects/matte/matte_frame.h"
#include "effects/matte/matte_parameters.h"
#include "framework/plugin_effect.h"

namespace qov {
namespace {

class SetMatteEffect final : public PluginEffect {
 public:
  int processFrameMulti(const FrameCall& call) override {
    const matte::MatteSettings settings = matte::matteSettingsFromParameters(call.parameters);
    const ImageSlot& input = *call.frameSet.inputs[0];
    // The mask needs an alpha byte: other frames are left as the caller prepared them.
    if (input.channels != 4) return 0;
    const auto frame = call.wakeWorkers();
    matte::matteFrame(input.data, input.data, call.frameSet.outputs[0]->data, static_cast<int>(call.width),
                      static_cast<int>(call.height), settings, call.pool);
    return 0;
  }
};

}  // namespace

PluginEffect* createSetMatteEffect(const VideoInfo& /*videoInfo*/) { return new (std::nothrow) SetMatteEffect; }

}  // namespace qov
