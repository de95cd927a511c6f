// The antialiasing effect's part of processFrameMulti, with the working memory each
// instance keeps.
#include <cstddef>
#include <new>

#include "effects/antialias/antialias_parameters.h"
#include "effects/antialias/frame_pipeline.h"
#include "framework/message.h"
#include "framework/plugin_effect.h"

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
    // Host frames are in the effect's own byte order, rows packed.
    const int width = static_cast<int>(call.width), height = static_cast<int>(call.height);
    const auto channels = static_cast<int>(input.channels);
    const std::ptrdiff_t stride = std::ptrdiff_t{width} * channels;
    const auto frame = call.wakeWorkers();
    if (!aa::antialiasFrame(input.data, stride, call.frameSet.outputs[0]->data, stride, width, height,
                            aa::nativeLayout(channels), aa::antialiasSettingsFrom(call.parameters), workspace,
                            call.pool)) {
      showMessage(kNoValidInputText, kFrameSetTitle);
      return kFailure;
    }
    return 0;
  }

  aa::AntialiasWorkspace workspace;
};

}  // namespace

PluginEffect* createAntialiasEffect(const VideoInfo& videoInfo) {
  AntialiasEffect* effect = new (std::nothrow) AntialiasEffect;
  // The instance has checked that the frame's bytes fit an int. A frame of no pixels (either
  // side 0, the other anything) needs no working memory: its frame calls do nothing.
  const bool noPixels = videoInfo.frameWidth == 0 || videoInfo.frameHeight == 0;
  if (effect != nullptr && !noPixels &&
      !effect->workspace.allocate(static_cast<int>(videoInfo.frameWidth), static_cast<int>(videoInfo.frameHeight))) {
    delete effect;
    return nullptr;
  }
  return effect;
}

}  // namespace qov
