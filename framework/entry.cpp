// plugMain, the plug-in's only export: one switch over the function code. Descriptor
// calls return the plug-in's constant records and tables, which nothing ever writes;
// instance calls go to the instance named by `instanceId`, when it is a live instance of
// this library (any other id is refused like 0).
#include <cstdio>
#include <cstring>

#include "framework/boundary.h"
#include "framework/instance.h"
#include "framework/instance_registry.h"
#include "framework/plugin_definition.h"

namespace qov {
namespace {

// Capability codes 0..21, the same in every plug-in: 24- and 32-bit video, processFrameCopy,
// one input frame, both copy and in-place processing.
inline constexpr uint32_t kCapabilities[] = {
    0, 1, 1, 1, 1, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 3, 1, 2, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF,
};
inline constexpr uint32_t kNumCapabilities = sizeof(kCapabilities) / sizeof(kCapabilities[0]);

FFMixed fromUInt(uint32_t value) {
  FFMixed result;
  result.pointerValue = nullptr;  // zero the whole union first
  result.uintValue = value;
  return result;
}

FFMixed fromFloat(float value) {
  FFMixed result;
  result.pointerValue = nullptr;
  result.floatValue = value;
  return result;
}

FFMixed fromPointer(const void* address) {
  FFMixed result;
  result.pointerValue = const_cast<void*>(address);
  return result;
}

FFMixed fromResult(int result) { return fromUInt(static_cast<uint32_t>(result)); }

const FFMixed kFail = fromUInt(FF_FAIL);

// Writes the value as "%f" text into the 16-byte field: spaces first, then the text and
// its NUL. Values far outside 0..1 (possible between a setParameter and the next frame)
// would need more than 15 characters; they get fewer decimals, or exponent notation, so
// that nothing is ever written past the field.
const char* formatDisplay(ParamState& param) {
  char text[64];
  const double value = param.value;
  int length = std::snprintf(text, sizeof text, "%f", value);
  for (int decimals = 5; (length < 0 || length >= int{kNameSize}) && decimals >= 0; --decimals)
    length = std::snprintf(text, sizeof text, "%.*f", decimals, value);
  if (length < 0 || length >= int{kNameSize}) length = std::snprintf(text, sizeof text, "%.3e", value);
  if (length < 0 || length >= int{kNameSize}) length = 0;
  std::memset(param.displayText, ' ', kNameSize);
  std::memcpy(param.displayText, text, static_cast<std::size_t>(length));
  param.displayText[length] = '\0';
  return param.displayText;
}

bool validParameter(uint32_t index) { return index < kPluginDefinition.numParameters; }

// The instance `instanceId` names, or null when it is no live instance of this library.
PlugObj* liveInstance(FFInstanceID instanceId) {
  return isLiveInstance(instanceId) ? static_cast<PlugObj*>(instanceId) : nullptr;
}

FFMixed dispatch(uint32_t functionCode, FFMixed inputValue, FFInstanceID instanceId) {
  switch (functionCode) {
    case FF_GET_INFO:
      return fromPointer(&kPluginDefinition.info);
    case FF_INITIALISE:
    case FF_DEINITIALISE:
      return fromUInt(FF_SUCCESS);
    case FF_PROCESS_FRAME: {
      PlugObj* obj = liveInstance(instanceId);
      if (obj == nullptr || inputValue.pointerValue == nullptr) return kFail;
      return fromResult(obj->processFrame(inputValue.pointerValue));
    }
    case FF_GET_NUM_PARAMETERS:
      return fromUInt(kPluginDefinition.numParameters);
    case FF_GET_PARAMETER_NAME:
      if (!validParameter(inputValue.uintValue)) return kFail;
      return fromPointer(kPluginDefinition.parameters[inputValue.uintValue].name);
    case FF_GET_PARAMETER_DEFAULT:
      if (!validParameter(inputValue.uintValue)) return kFail;
      return fromFloat(kPluginDefinition.parameters[inputValue.uintValue].defaultValue);
    case FF_GET_PARAMETER_DISPLAY: {
      PlugObj* obj = liveInstance(instanceId);
      if (obj == nullptr || !validParameter(inputValue.uintValue)) return kFail;
      return fromPointer(formatDisplay(obj->fParams[inputValue.uintValue]));
    }
    case FF_SET_PARAMETER: {
      PlugObj* obj = liveInstance(instanceId);
      if (obj == nullptr || inputValue.pointerValue == nullptr) return kFail;
      const auto* record = static_cast<const SetParameterRecord*>(inputValue.pointerValue);
      if (!validParameter(record->index)) return kFail;
      // Stored as given; the next frame call clamps it.
      obj->fParams[record->index].value = record->value.floatValue;
      return fromUInt(FF_SUCCESS);
    }
    case FF_GET_PARAMETER: {
      const PlugObj* obj = liveInstance(instanceId);
      if (obj == nullptr || !validParameter(inputValue.uintValue)) return kFail;
      return fromFloat(obj->fParams[inputValue.uintValue].value);
    }
    case FF_GET_PLUGIN_CAPS:
      return fromUInt(inputValue.uintValue < kNumCapabilities ? kCapabilities[inputValue.uintValue] : 0);
    case FF_INSTANTIATE: {
      if (inputValue.pointerValue == nullptr) return kFail;
      PlugObj* created = instantiate(*static_cast<const VideoInfo*>(inputValue.pointerValue));
      return created != nullptr ? fromPointer(created) : kFail;
    }
    case FF_DEINSTANTIATE: {
      PlugObj* obj = liveInstance(instanceId);
      // Only one of two threads destroying the same instance at once gets to release it.
      if (obj == nullptr || !unregisterInstance(obj)) return kFail;
      deInstantiate(obj);
      return fromUInt(FF_SUCCESS);
    }
    case FF_GET_EXTENDED_INFO:
      return fromPointer(&kPluginDefinition.extendedInfo);
    case FF_PROCESS_FRAME_COPY: {
      PlugObj* obj = liveInstance(instanceId);
      if (obj == nullptr || inputValue.pointerValue == nullptr) return kFail;
      const auto* record = static_cast<const ProcessFrameCopyRecord*>(inputValue.pointerValue);
      if (record->numInputFrames > 0 &&
          (record->inputFrames == nullptr || record->inputFrames[0] == nullptr || record->outputFrame == nullptr))
        return kFail;
      return fromResult(obj->processFrameCopy(*record));
    }
    case FF_GET_PARAMETER_TYPE:
      return fromUInt(FF_TYPE_STANDARD);
    case FF_PROCESS_FRAME_MULTI: {
      PlugObj* obj = liveInstance(instanceId);
      if (obj == nullptr) return kFail;
      return fromResult(obj->processFrameMulti(static_cast<Qov_Multi*>(inputValue.pointerValue)));
    }
    default:
      return kFail;
  }
}

}  // namespace
}  // namespace qov

extern "C" QOV_EXPORT FFMixed QOV_PLUGMAIN_CALL
plugMain(uint32_t functionCode, FFMixed inputValue, FFInstanceID instanceId) {
  // Nothing the calls run is meant to throw; should anything ever, a C host must not die of
  // it. (Free where exceptions are table-driven, as in every build of these libraries.)
  try {
    return qov::dispatch(functionCode, inputValue, instanceId);
  } catch (...) {
    return qov::kFail;
  }
}
