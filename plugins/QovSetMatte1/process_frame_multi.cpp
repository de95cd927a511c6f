// The single-input matte effect's part of processFrameMulti: each output pixel keeps its
// colour bytes and gets the mask of its own four bytes as alpha.
#include "effects/matte/matte_frame.h"
#include "effects/matte/matte_parameters.h"
#include "framework/instance.h"
#include "framework/plugin_definition.h"

namespace qov {

int effectProcessFrameMulti(PlugObj& obj) {
  float values[kMaxParameters];
  for (uint32_t i = 0; i < obj.numParameters(); ++i) values[i] = obj.fParams[i].value;
  const matte::MatteSettings settings = matte::matteSettingsFromParameters(values);

  const ImageSlot& input = *obj.fMulti->inputs[0];
  // The mask needs an alpha byte: other frames are left as the caller prepared them.
  if (input.channels != 4) return 0;
  matte::matteFrame(input.data, input.data, obj.fMulti->outputs[0]->data,
                    static_cast<int>(obj.fVideoInfo.frameWidth), static_cast<int>(obj.fVideoInfo.frameHeight),
                    settings, obj.fPool);
  return 0;
}

}  // namespace qov
