// The antialiasing effect's part of processFrameMulti, with the working images each
// instance keeps.
#include <new>

#include "effects/antialias/antialias_parameters.h"
#include "effects/antialias/frame_pipeline.h"
#include "framework/message.h"
#include "framework/plugin_effect.h"
#include "plugins/QovMLAA1/working_images.h"

namespace qov {
namespace {

class AntialiasEffect final : public PluginEffect {
 public:
  int processFrameMulti(const FrameCall& call) override {
    const ImageSlot& input = *call.frameSet.inputs[0];
    // Our own frame calls give 3 or 4 channels; a frame set from a host could say anything.
    if (input.channels != 3 && input.channels != 4) {
      showMessage(kNoValidInputText, kFrameSetTitle);
      return kFailure;
    }
    const aa::AntialiasSettings settings = aa::antialiasSettingsFrom(call.parameters);
    aa::antialiasFrame(input.data, call.frameSet.outputs[0]->data, images.workFrame(), images.edgeBuffer(),
                       static_cast<int>(call.width), static_cast<int>(call.height), static_cast<int>(input.channels),
                       settings, call.pool);
    return 0;
  }

  mlaa1::WorkingImages images;
};

}  // namespace

PluginEffect* createAntialiasEffect(const VideoInfo& videoInfo) {
  AntialiasEffect* effect = new (std::nothrow) AntialiasEffect;
  if (effect != nullptr && !effect->images.allocate(videoInfo.frameWidth, videoInfo.frameHeight)) {
    delete effect;
    return nullptr;
  }
  return effect;
}

}  // namespace qov
