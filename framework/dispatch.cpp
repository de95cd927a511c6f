// The frame calls: processFrame (code 3) and processFrameCopy (code 14) hand the host's
// frames to the effect through the instance's own frame set, without copying them (only
// where the effect cannot take the buffers as the host gave them is the input copied,
// once, into a buffer of the instance); processFrameMulti (code 16, and the effect step
// of the other two) performs the entry steps every effect shares and then hands over to
// the plug-in's effect.
#include <cstdint>
#include <cstring>

#include "effects/memory/aligned_memory.h"
#include "framework/instance.h"
#include "framework/message.h"
#include "framework/plugin_definition.h"
#include "framework/plugin_effect.h"

namespace qov {
namespace {

constexpr const char* kNotReadyText = "pPlugObj->fMultiReady is false, setup for processing hasn't been done.";
constexpr const char* kProcessFrameTitle = "processFrame Error";
constexpr const char* kProcessFrameCopyTitle = "processFrameCopy Error";

bool hasPixels(const ImageSlot* slot) { return slot != nullptr && slot->data != nullptr; }

// A plug-in cannot know how large a host's buffer is, only what its slot declares; the
// effect reads input slot 0 and writes output slot 0 with input slot 0's channel count
// at the instance's size, so both slots must declare exactly that.
bool firstSlotsAgree(const FrameCall& call, const ImageSlot& input, const ImageSlot& output) {
  return output.channels == input.channels && call.declaresFrameSize(input) && call.declaresFrameSize(output);
}

// Whether the effect may read `input` while it writes `output`, both frames of `bytes`
// bytes: always when they do not share memory, when they are the same frame only if the
// effect works in place (on every input it reads: with one frame, a second input is the
// first), and never when they overlap in part.
bool effectTakesAsGiven(const uint8_t* input, const uint8_t* output, std::size_t bytes) {
  const auto in = reinterpret_cast<std::uintptr_t>(input);
  const auto out = reinterpret_cast<std::uintptr_t>(output);
  const bool overlap = bytes != 0 && in < out + bytes && out < in + bytes;
  if (!overlap) return true;
  const BufferSharing& sharing = kPluginDefinition.sharing;
  return in == out && sharing.outputMayBeInput && (!sharing.readsSecondInput || sharing.outputMayBeSecondInput);
}

// An image slot that describes one frame of the instance's format at `pixels`.
void describeFrame(ImageSlot& slot, const PlugObj& obj, const uint8_t* pixels) {
  slot.format = kFormatInterleaved8;
  slot.channels = obj.bytesPerPixel();
  // The effects never write an input slot's pixels.
  slot.data = const_cast<uint8_t*>(pixels);
  slot.width = obj.fVideoInfo.frameWidth;
  slot.height = obj.fVideoInfo.frameHeight;
  slot.data2 = nullptr;
  slot.reserved1 = 0;
  slot.reserved2 = 0;
}

}  // namespace

uint8_t* PlugObj::inputCopy(const uint8_t* input) {
  if (fInputCopy == nullptr) fInputCopy = alignedAlloc(frameBytes());
  if (fInputCopy != nullptr) std::memcpy(fInputCopy, input, frameBytes());
  return fInputCopy;
}

int PlugObj::processHostFrames(const uint8_t* input, uint8_t* output) {
  // Without memory for the copy the input slot stays without pixels, which the entry
  // steps refuse with their message.
  const uint8_t* source = effectTakesAsGiven(input, output, frameBytes()) ? input : inputCopy(input);
  restoreOwnFrameSet();
  fMulti->numInputs = 1;
  fMulti->numOutputs = 1;
  ImageSlot& inputSlot = *fMulti->inputs[0];
  ImageSlot& outputSlot = *fMulti->outputs[0];
  describeFrame(inputSlot, *this, source);
  describeFrame(outputSlot, *this, output);
  const int result = processFrameMulti(fMulti);
  // The host's frames are lent for this call only: the frame set keeps no address of
  // them, so nothing can release or read them later.
  inputSlot.data = nullptr;
  outputSlot.data = nullptr;
  return result;
}

int PlugObj::processFrame(void* pFrameData) {
  if (!fMultiReady) {
    showMessage(kNotReadyText, kProcessFrameTitle);
    return kFailure;
  }
  clampParameters();
  // Effects refuse before they write, so a refused frame is left as it was.
  uint8_t* frame = static_cast<uint8_t*>(pFrameData);
  return processHostFrames(frame, frame);
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
  uint8_t* output = static_cast<uint8_t*>(record.outputFrame);
  const int result = processHostFrames(static_cast<const uint8_t*>(record.inputFrames[0]), output);
  if (result != 0) std::memset(output, 0, frameBytes());
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
  float values[kMaxParameters];
  for (uint32_t i = 0; i < numParameters(); ++i) values[i] = fParams[i].value;
  const FrameCall call{multi, fVideoInfo.frameWidth, fVideoInfo.frameHeight, values, fPool};
  if (!firstSlotsAgree(call, *multi.inputs[0], *multi.outputs[0])) {
    showMessage(kNoValidInputText, kFrameSetTitle);
    return kFailure;
  }
  return fEffect->processFrameMulti(call);
}

}  // namespace qov
