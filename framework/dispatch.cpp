// The frame calls: processFrame (code 3) and processFrameCopy (code 14) hand the host's
// frames to the effect through the instance's own frame set, without copying them (only
// where the effect cannot take the buffers as the host gave them is the input copied,
// once, into a buffer of the instance); processFrameMulti (code 16, and the effect step
// of the other two) performs the entry steps every effect shares, copies the inputs a
// host's frame set lays over its output in part, and then hands over to the plug-in's
// effect.
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

// Whether the effect may read `inputBytes` at `input` while it writes `outputBytes` at
// `output`: always when they do not share memory, when they begin at the same byte only if
// the effect may write over that input (`inPlace`), and never when they overlap otherwise:
// threads would then read bytes that others have already written.
bool effectTakesAsGiven(const uint8_t* input, std::size_t inputBytes, const uint8_t* output, std::size_t outputBytes,
                        bool inPlace) {
  const auto in = reinterpret_cast<std::uintptr_t>(input);
  const auto out = reinterpret_cast<std::uintptr_t>(output);
  const bool overlap = inputBytes != 0 && outputBytes != 0 && in < out + outputBytes && out < in + inputBytes;
  return !overlap || (in == out && inPlace);
}

// Whether the output may be the frame of codes 3 and 14, which is every input the effect
// reads (with one frame, a second input is the first).
bool takesTheOnlyFrameInPlace() {
  const BufferSharing& sharing = kPluginDefinition.sharing;
  return sharing.outputMayBeInput && (!sharing.readsSecondInput || sharing.outputMayBeSecondInput);
}

// The bytes of a frame-set image the effects read or write: every pixel of the instance's
// size at the slot's channel count, of which they use at most the widest pixel.
std::size_t slotBytes(const ImageSlot& slot, std::size_t pixels) {
  return pixels * (slot.channels < kWidestPixelBytes ? slot.channels : kWidestPixelBytes);
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

uint8_t* PlugObj::inputCopy(uint32_t index, const uint8_t* input, std::size_t bytes) {
  uint8_t*& copy = fInputCopies[index];
  if (copy == nullptr) copy = alignedAlloc(pixelCount() * kWidestPixelBytes);
  if (copy != nullptr) std::memcpy(copy, input, bytes);
  return copy;
}

const Qov_Multi* PlugObj::inputsApartFromOutput(const FrameCall& call, Qov_Multi& separated,
                                                ImageSlot (&copiedSlots)[kCopiedInputs]) {
  const BufferSharing& sharing = kPluginDefinition.sharing;
  const Qov_Multi& multi = call.frameSet;
  const ImageSlot& output = *multi.outputs[0];
  const std::size_t outputBytes = slotBytes(output, pixelCount());
  const Qov_Multi* readable = &multi;
  for (uint32_t i = 0; i < kCopiedInputs && i < multi.numInputs; ++i) {
    const bool read = i == 0 || sharing.readsSecondInput;
    const ImageSlot* input = multi.inputs[i];
    // Input 0 declares the frame's size (checked before); a second input that declares
    // another size is refused by the effect and its buffer may be smaller than the frame.
    if (!read || !hasPixels(input) || (i != 0 && !call.declaresFrameSize(*input))) continue;
    const std::size_t bytes = slotBytes(*input, pixelCount());
    // With one input counted, input 0 is the second input as well.
    const bool alsoSecond = i == 0 && sharing.readsSecondInput && multi.numInputs < kCopiedInputs;
    const bool inPlace = (i == 0 ? sharing.outputMayBeInput : sharing.outputMayBeSecondInput) &&
                         (!alsoSecond || sharing.outputMayBeSecondInput);
    if (effectTakesAsGiven(input->data, bytes, output.data, outputBytes, inPlace)) continue;
    uint8_t* copy = inputCopy(i, input->data, bytes);
    if (copy == nullptr) return nullptr;
    if (readable == &multi) {
      separated = multi;
      readable = &separated;
    }
    copiedSlots[i] = *input;
    copiedSlots[i].data = copy;
    separated.inputs[i] = &copiedSlots[i];
  }
  return readable;
}

int PlugObj::processHostFrames(const uint8_t* input, uint8_t* output) {
  // Without memory for the copy the input slot stays without pixels, which the entry
  // steps refuse with their message.
  const uint8_t* source = effectTakesAsGiven(input, frameBytes(), output, frameBytes(), takesTheOnlyFrameInPlace())
                              ? input
                              : inputCopy(0, input, frameBytes());
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
  // A host's frame set may put the output over part of an input: the effect then reads
  // copies, and the result is what separate buffers give. (The host's records stay as they
  // are; the effect gets a frame set of its own.)
  Qov_Multi separated;
  ImageSlot copiedSlots[kCopiedInputs];
  const Qov_Multi* readableSet = inputsApartFromOutput(call, separated, copiedSlots);
  if (readableSet == nullptr) {
    showMessage(kNoValidInputText, kFrameSetTitle);
    return kFailure;
  }
  const FrameCall readable{*readableSet, call.width, call.height, values, fPool};
  return fEffect->processFrameMulti(readable);
}

}  // namespace qov
