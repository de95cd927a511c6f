// The two-input matte effect's part of processFrameMulti: the colour of one input with
// the mask computed from the other. A host passes two inputs through function code 16;
// with one input, that input is both. It keeps nothing from frame to frame.
//
// A counted second input is read as a full frame of 4-byte pixels: one without pixel
// memory, with fewer than 4 channels or declaring another size than the instance's is
// refused (its buffer is only as large as its slot says).
#include <new>

#include "effects/matte/matte_frame.h"
#include "effects/matte/matte_parameters.h"
#include "framework/message.h"
#include "framework/plugin_effect.h"

namespace qov {
namespace {

// The matte reads four bytes per pixel of either input: colour and alpha.
inline constexpr uint32_t kMaskChannels = 4;

class TwoInputMatteEffect final : public PluginEffect {
 public:
  int processFrameMulti(const FrameCall& call) override {
    const Qov_Multi& frameSet = call.frameSet;
    const ImageSlot* first = frameSet.inputs[0];
    const ImageSlot* second = frameSet.numInputs >= 2 ? frameSet.inputs[1] : first;
    const matte::TwoInputMatteSettings settings = matte::twoInputMatteSettingsFrom(call.parameters);

    if (first->channels != kMaskChannels) return 0;
    if (second == nullptr || second->data == nullptr || second->channels < kMaskChannels ||
        !call.declaresFrameSize(*second)) {
      showMessage(kNoValidInputText, kFrameSetTitle);
      return kFailure;
    }
    const auto frame = call.wakeWorkers();
    const uint8_t* colourSource = settings.switchInputs ? second->data : first->data;
    const uint8_t* maskSource = settings.switchInputs ? first->data : second->data;
    matte::matteFrame(colourSource, maskSource, frameSet.outputs[0]->data, static_cast<int>(call.width),
                      static_cast<int>(call.height), settings.matte, call.pool);
    return 0;
  }
};

}  // namespace

PluginEffect* createTwoInputMatteEffect(const VideoInfo& /*videoInfo*/) {
  return new (std::nothrow) TwoInputMatteEffect;
}

}  // namespace qov
