// The antialiasing effect's part of processFrameMulti.
#include "effects/antialias/antialias_parameters.h"
#include "effects/antialias/frame_pipeline.h"
#include "framework/instance.h"
#include "framework/message.h"
#include "framework/plugin_definition.h"

namespace qov {

int effectProcessFrameMulti(PlugObj& obj) {
  const ImageSlot& input = *obj.fMulti->inputs[0];
  // Our own frame calls give 3 or 4 channels; a frame set from a host could say anything.
  if (input.channels != 3 && input.channels != 4) {
    showMessage(kNoValidInputText, kFrameSetTitle);
    return kFailure;
  }
  float values[kMaxParameters];
  for (uint32_t i = 0; i < obj.numParameters(); ++i) values[i] = obj.fParams[i].value;
  const aa::AntialiasSettings settings = aa::antialiasSettingsFrom(values);
  aa::antialiasFrame(input.data, obj.fMulti->outputs[0]->data, obj.fWorkFrame, obj.fScratchFrame,
                     static_cast<int>(obj.fVideoInfo.frameWidth), static_cast<int>(obj.fVideoInfo.frameHeight),
                     static_cast<int>(input.channels), settings, obj.fPool);
  return 0;
}

}  // namespace qov
