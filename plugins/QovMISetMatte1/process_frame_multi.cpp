// The two-input matte effect's part of processFrameMulti: the colour of one input with
// the mask computed from the other. A host passes two inputs through function code 16;
// with one input, that input is both.
//
// Hosts that count a second input must give it a full frame of 4-byte pixels: its size
// cannot be checked here. A counted second input without pixel memory is refused.
#include "effects/matte/matte_frame.h"
#include "effects/matte/matte_settings.h"
#include "framework/instance.h"
#include "framework/message.h"
#include "framework/plugin_definition.h"
#include "plugins/matte_parameters.h"

namespace qov {

int effectProcessFrameMulti(PlugObj& obj) {
  const Qov_Multi& frameSet = *obj.fMulti;
  const ImageSlot* first = frameSet.inputs[0];
  const ImageSlot* second = frameSet.numInputs >= 2 ? frameSet.inputs[1] : first;

  const matte::MatteSettings settings = matte_params::settingsOf(obj);
  const bool switchInputs = matte::flagFromValue(obj.fParams[matte::switchInputsIndex].value);

  if (first->channels != 4) return 0;
  if (second == nullptr || second->data == nullptr) {
    showMessage(kNoValidInputText, kFrameSetTitle);
    return kFailure;
  }
  const uint8_t* colourSource = switchInputs ? second->data : first->data;
  const uint8_t* maskSource = switchInputs ? first->data : second->data;
  matte::matteFrame(colourSource, maskSource, frameSet.outputs[0]->data,
                    static_cast<int>(obj.fVideoInfo.frameWidth), static_cast<int>(obj.fVideoInfo.frameHeight),
                    settings, obj.fPool);
  return 0;
}

}  // namespace qov
