// QovTestProbe: a small FreeFrame-style plug-in written without the Qov framework, so
// that the qovhost tests see a library whose every output byte is predictable and that
// does not share code with the plug-ins qovhost is meant to host.
//
// It takes 32-bit frames only. Output pixel from the inputs of one call:
//   byte 0 (blue)  = the low 8 bits of "Blue" x 255, truncated (values are not clamped,
//                    so a host's 1.5 shows as 382 & 255 = 126; negative values are refused)
//   byte 1 (green) = green of the last input
//   byte 2 (red)   = red of the first input
//   byte 3 (alpha) = 255 - alpha of the first input
// With "Fail" above 0.5 every frame call fails.
#include <cstdio>
#include <cstring>
#include <new>

#include "framework/boundary.h"

namespace {

using namespace qov;

constexpr uint32_t kBytesPerPixel = 4;
constexpr uint32_t kBlueParameter = 0;
constexpr uint32_t kFailParameter = 1;
constexpr uint32_t kNumParameters = 2;
constexpr uint32_t kCapabilities[] = {0, 0, 1, 1};  // 16-bit no, 24-bit no, 32-bit yes, copy yes
constexpr uint32_t kNumCapabilities = sizeof kCapabilities / sizeof kCapabilities[0];
constexpr float kSwitchThreshold = 0.5f;
constexpr float kByteScale = 255.0f;
constexpr float kMaxBlue = 1000.0f;
constexpr uint32_t kLowByte = 0xFF;

const char kNames[kNumParameters][kNameSize] = {"Blue", "Fail"};
const float kDefaults[kNumParameters] = {0.0f, 0.0f};

PlugInfo gInfo = {1, 0, {'z', 'q', 'p', 'r'}, "QovTestProbe", FF_EFFECT};
ExtendedInfo gExtended = {2, 5, "Test probe: predictable bytes", "QovTestProbe\nfor the qovhost tests", 0, nullptr};

struct Instance {
  VideoInfo video;
  float values[kNumParameters];
  char display[kNumParameters][kNameSize];
};

std::size_t pixels(const Instance& instance) {
  return std::size_t{instance.video.frameWidth} * instance.video.frameHeight;
}

FFMixed integer(uint32_t value) {
  FFMixed result;
  result.pointerValue = nullptr;
  result.uintValue = value;
  return result;
}

FFMixed address(const void* pointer) {
  FFMixed result;
  result.pointerValue = const_cast<void*>(pointer);
  return result;
}

FFMixed real(float value) {
  FFMixed result = integer(0);
  result.floatValue = value;
  return result;
}

uint32_t process(const Instance& instance, const uint8_t* const* inputs, uint32_t numInputs, uint8_t* output) {
  const float blueValue = instance.values[kBlueParameter];
  if (instance.values[kFailParameter] > kSwitchThreshold || !(blueValue >= 0.0f) || blueValue > kMaxBlue)
    return FF_FAIL;
  const uint8_t blue = static_cast<uint8_t>(static_cast<uint32_t>(blueValue * kByteScale) & kLowByte);
  const uint8_t* first = inputs[0];
  const uint8_t* last = inputs[numInputs - 1];
  for (std::size_t i = 0; i < pixels(instance) * kBytesPerPixel; i += kBytesPerPixel) {
    const uint8_t green = last[i + 1];
    const uint8_t red = first[i + 2];
    const uint8_t alpha = static_cast<uint8_t>(255 - first[i + 3]);
    output[i] = blue;
    output[i + 1] = green;
    output[i + 2] = red;
    output[i + 3] = alpha;
  }
  return FF_SUCCESS;
}

FFMixed instanceCall(uint32_t code, FFMixed input, Instance& instance) {
  switch (code) {
    case FF_PROCESS_FRAME: {
      const uint8_t* frames[] = {static_cast<uint8_t*>(input.pointerValue)};
      return integer(process(instance, frames, 1, static_cast<uint8_t*>(input.pointerValue)));
    }
    case FF_PROCESS_FRAME_COPY: {
      const auto* record = static_cast<const ProcessFrameCopyRecord*>(input.pointerValue);
      if (record->numInputFrames == 0) return integer(FF_FAIL);
      const uint8_t* frames[] = {static_cast<const uint8_t*>(record->inputFrames[0])};
      return integer(process(instance, frames, 1, static_cast<uint8_t*>(record->outputFrame)));
    }
    case FF_PROCESS_FRAME_MULTI: {
      const auto* set = static_cast<const Qov_Multi*>(input.pointerValue);
      if (set == nullptr || set->numInputs == 0 || set->numInputs > kMaxSlots || set->numOutputs == 0)
        return integer(FF_FAIL);
      const uint8_t* frames[kMaxSlots];
      for (uint32_t i = 0; i < set->numInputs; ++i) {
        const ImageSlot* slot = set->inputs[i];
        if (slot->channels != kBytesPerPixel || slot->width != instance.video.frameWidth ||
            slot->height != instance.video.frameHeight)
          return integer(FF_FAIL);
        frames[i] = slot->data;
      }
      return integer(process(instance, frames, set->numInputs, set->outputs[0]->data));
    }
    case FF_GET_PARAMETER_DISPLAY:
      if (input.uintValue >= kNumParameters) return integer(FF_FAIL);
      std::snprintf(instance.display[input.uintValue], kNameSize, "%.2f", instance.values[input.uintValue]);
      return address(instance.display[input.uintValue]);
    case FF_SET_PARAMETER: {
      const auto* record = static_cast<const SetParameterRecord*>(input.pointerValue);
      if (record->index >= kNumParameters) return integer(FF_FAIL);
      instance.values[record->index] = record->value.floatValue;
      return integer(FF_SUCCESS);
    }
    case FF_GET_PARAMETER:
      return input.uintValue < kNumParameters ? real(instance.values[input.uintValue]) : integer(FF_FAIL);
    case FF_DEINSTANTIATE:
      delete &instance;
      return integer(FF_SUCCESS);
    default:
      return integer(FF_FAIL);
  }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) FFMixed plugMain(uint32_t functionCode, FFMixed inputValue,
                                                                   FFInstanceID instanceId) {
  switch (functionCode) {
    case FF_GET_INFO:
      return address(&gInfo);
    case FF_INITIALISE:
    case FF_DEINITIALISE:
      return integer(FF_SUCCESS);
    case FF_GET_NUM_PARAMETERS:
      return integer(kNumParameters);
    case FF_GET_PARAMETER_NAME:
      return inputValue.uintValue < kNumParameters ? address(kNames[inputValue.uintValue]) : integer(FF_FAIL);
    case FF_GET_PARAMETER_DEFAULT:
      return inputValue.uintValue < kNumParameters ? real(kDefaults[inputValue.uintValue]) : integer(FF_FAIL);
    case FF_GET_PARAMETER_TYPE:
      return integer(FF_TYPE_STANDARD);
    case FF_GET_PLUGIN_CAPS:
      return integer(inputValue.uintValue < kNumCapabilities ? kCapabilities[inputValue.uintValue] : 0);
    case FF_GET_EXTENDED_INFO:
      return address(&gExtended);
    case FF_INSTANTIATE: {
      const auto* video = static_cast<const VideoInfo*>(inputValue.pointerValue);
      if (video->bitDepth != FF_DEPTH_32) return integer(FF_FAIL);
      auto* instance = new (std::nothrow) Instance{*video, {kDefaults[0], kDefaults[1]}, {}};
      return instance != nullptr ? address(instance) : integer(FF_FAIL);
    }
    default:
      if (instanceId == nullptr) return integer(FF_FAIL);
      return instanceCall(functionCode, inputValue, *static_cast<Instance*>(instanceId));
  }
}
