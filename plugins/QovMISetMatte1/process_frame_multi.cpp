// The two-input matte effect's part of processFrameMulti: the colour of one input with
// the mask computed from the other. A host passes two inputs through function code 16;
// with one input, that input is both.
//
// A counted second input is read as a full frame of 4-byte pixels: one without pixel
// memory, with fewer than 4 channels or declaring another size than the instance's is
// refused (its buffer is only as large as its slot says).
#include "effects/matte/matte_frame.h"
#include "effects/matte/matte_parameters.h"
#include "framework/instance.h"
#include "framework/message.h"
#include "framework/plugin_definition.h"

namespace qov {
namespace {

// The matte reads four bytes per pixel of either input: colour and alpha.
inline constexpr uint32_t kMaskChannels = 4;

}  // namespace

int effectProcessFrameMulti(PlugObj& obj) {
  const Qov_Multi& frameSet = *obj.fMulti;
  const ImageSlot* first = frameSet.inputs[0];
  const ImageSlot* second = frameSet.numInputs >= 2 ? frameSet.inputs[1] : first;

  float values[kMaxParameters];
  for (uint32_t i = 0; i < obj.numParameters(); ++i) values[i] = obj.fParams[i].value;
  const matte::TwoInputMatteSettings settings = matte::twoInputMatteSettingsFrom(values);

  if (first->channels != kMaskChannels) return 0;
  if (second == nullptr || second->data == nullptr || second->channels < kMaskChannels ||
      !declaresInstanceSize(*second, obj)) {
    showMessage(kNoValidInputText, kFrameSetTitle);
    return kFailure;
  }
  const uint8_t* colourSource = settings.switchInputs ? second->data : first->data;
  const uint8_t* maskSource = settings.switchInputs ? first->data : second->data;
  matte::matteFrame(colourSource, maskSource, frameSet.outputs[0]->data,
                    static_cast<int>(obj.fVideoInfo.frameWidth), static_cast<int>(obj.fVideoInfo.frameHeight),
                    settings.matte, obj.fPool);
  return 0;
}

}  // namespace qov
