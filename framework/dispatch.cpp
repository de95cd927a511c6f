// The frame calls: processFrame (code 3) and processFrameCopy (code 14) copy host frames
// into the instance's frame set, run the effect and copy its output back;
// processFrameMulti (code 16, and the effect step of the other two) performs the entry
// steps every effect shares and then hands over to the plug-in's effect.
#include <cstring>

#include "framework/instance.h"
#include "framework/message.h"
#include "framework/plugin_definition.h"

namespace qov {
namespace {

constexpr const char* kNotReadyText = "pPlugObj->fMultiReady is false, setup for processing hasn't been done.";
constexpr const char* kProcessFrameTitle = "processFrame Error";
constexpr const char* kProcessFrameCopyTitle = "processFrameCopy Error";

// Sets up a frame set of one input and one output, filled from the host's buffers, with
// every other slot emptied. A slot whose buffer cannot be had stays empty, which the
// entry steps then refuse.
void prepareFrameSet(PlugObj& obj, const void* input, const void* output) {
  obj.restoreOwnFrameSet();
  Qov_Multi& multi = *obj.fMulti;
  multi.numInputs = 1;
  fillSlot(*multi.inputs[0], obj, input);
  for (uint32_t i = 1; i < kMaxSlots; ++i) emptySlot(*multi.inputs[i]);
  multi.numOutputs = 1;
  fillSlot(*multi.outputs[0], obj, output);
  for (uint32_t i = 1; i < kMaxSlots; ++i) emptySlot(*multi.outputs[i]);
}

bool hasPixels(const ImageSlot* slot) { return slot != nullptr && slot->data != nullptr; }

// A plug-in cannot know how large a host's buffer is, only what its slot declares; the
// effect reads input slot 0 and writes output slot 0 with input slot 0's channel count
// at the instance's size, so both slots must declare exactly that.
bool firstSlotsAgree(const PlugObj& obj, const ImageSlot& input, const ImageSlot& output) {
  return output.channels == input.channels && declaresInstanceSize(input, obj) && declaresInstanceSize(output, obj);
}

}  // namespace

int PlugObj::processFrame(void* pFrameData) {
  if (!fMultiReady) {
    showMessage(kNotReadyText, kProcessFrameTitle);
    return kFailure;
  }
  clampParameters();
  prepareFrameSet(*this, pFrameData, pFrameData);
  const int result = processFrameMulti(fMulti);
  if (result != 0) return result;
  const ImageSlot& output = *fMulti->outputs[0];
  if (output.data != nullptr)
    std::memcpy(pFrameData, output.data, frameBytes());
  else
    std::memset(pFrameData, 0, frameBytes());
  return 0;
}

int PlugObj::processFrameCopy(const ProcessFrameCopyRecord& record) {
  if (!fMultiReady) {
    showMessage(kNotReadyText, kProcessFrameCopyTitle);
    return kFailure;
  }
  if (record.numInputFrames == 0) return kFailure;
  clampParameters();
  // Only the first input frame is used: the plug-ins declare one input as both the
  // minimum and the maximum.
  prepareFrameSet(*this, record.inputFrames[0], record.outputFrame);
  const int result = processFrameMulti(fMulti);
  const ImageSlot& output = *fMulti->outputs[0];
  if (result == 0 && output.data != nullptr)
    std::memcpy(record.outputFrame, output.data, frameBytes());
  else
    std::memset(record.outputFrame, 0, frameBytes());
  return result;
}

int PlugObj::processFrameMulti(Qov_Multi* pFrameData) {
  // Clamping comes first, so even a refused call leaves the parameters clamped.
  clampParameters();
  if (!fMultiReady) {
    showMessage("Error: fMultiReady == false", kFrameSetTitle);
    return kFailure;
  }
  if (fMulti == nullptr) {
    showMessage("Error: fMulti == NULL", kFrameSetTitle);
    return kFailure;
  }
  if (pFrameData == nullptr) {
    showMessage("Error: pFrameData == NULL", kFrameSetTitle);
    return kFailure;
  }
  if (pFrameData != fMulti) std::memcpy(fMulti, pFrameData, sizeof(Qov_Multi));
  const Qov_Multi& multi = *fMulti;
  if (multi.numInputs == 0 || multi.numOutputs == 0 || multi.numInputs > kMaxSlots ||
      multi.numOutputs > kMaxSlots || !hasPixels(multi.inputs[0]) || !hasPixels(multi.outputs[0])) {
    showMessage(kNoValidInputText, kFrameSetTitle);
    return kFailure;
  }
  if (!firstSlotsAgree(*this, *multi.inputs[0], *multi.outputs[0])) {
    showMessage(kNoValidInputText, kFrameSetTitle);
    return kFailure;
  }
  return effectProcessFrameMulti(*this);
}

}  // namespace qov
