// The antialiasing effect's part of processFrameMulti.
#include "effects/antialias/frame_pipeline.h"
#include "framework/instance.h"
#include "framework/message.h"
#include "framework/plugin_definition.h"
#include "plugins/QovMLAA1/parameters.h"

namespace qov {
namespace {

// A switch is on strictly above one half; NaN is off.
bool switchOn(float value) { return value > 0.5f; }

}  // namespace

int effectProcessFrameMulti(PlugObj& obj) {
  const ImageSlot& input = *obj.fMulti->inputs[0];
  // Our own frame calls give 3 or 4 channels; a frame set from a host could say anything.
  if (input.channels != 3 && input.channels != 4) {
    showMessage(kNoValidInputText, kFrameSetTitle);
    return kFailure;
  }
  aa::AntialiasSettings settings;
  settings.strength = obj.fParams[mlaa1::kStrength].value;
  settings.useHalf = switchOn(obj.fParams[mlaa1::kUseHalf].value);
  settings.thinLines = switchOn(obj.fParams[mlaa1::kThinLines].value);
  settings.visualize = switchOn(obj.fParams[mlaa1::kVisualize].value);
  settings.useAlpha = switchOn(obj.fParams[mlaa1::kUseAlpha].value);
  aa::antialiasFrame(input.data, obj.fMulti->outputs[0]->data, obj.fWorkFrame, obj.fScratchFrame,
                     static_cast<int>(obj.fVideoInfo.frameWidth), static_cast<int>(obj.fVideoInfo.frameHeight),
                     static_cast<int>(input.channels), settings, obj.fPool);
  return 0;
}

}  // namespace qov
