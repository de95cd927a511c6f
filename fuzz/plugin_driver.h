// A host for the fuzz targets: every plugMain call a host can make, with arguments taken
// from the fuzzer's bytes, and after each call a check of the answer against the plug-in's
// documented behaviour (result codes, what may be written, parameters clamped by frame
// calls, display texts inside their field). Buffers are always of the size they claim.
#pragma once

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"

namespace qov::fuzz {

struct LiveInstance {
  FFInstanceID id = nullptr;
  VideoInfo info{};
  std::size_t frameBytes = 0;
};

class PluginDriver {
 public:
  static constexpr uint32_t kNumFunctionCodes = 17;
  static constexpr uint32_t kNumCapabilityCodes = 22;

  PluginDriver() {
    const auto* info = static_cast<const PlugInfo*>(plugMain(FF_GET_INFO, mixedUInt(0), nullptr).pointerValue);
    name_.assign(info->pluginName, strnlen(info->pluginName, kNameSize));
    numParameters_ = plugMain(FF_GET_NUM_PARAMETERS, mixedUInt(0), nullptr).uintValue;
  }

  const std::string& name() const { return name_; }
  uint32_t numParameters() const { return numParameters_; }

  // Code 11: must succeed exactly for supported formats. Returns false when refused.
  bool instantiate(const VideoInfo& info, LiveInstance& instance) {
    const FFMixed result = plugMain(FF_INSTANTIATE, mixedPointer(&info), nullptr);
    QOV_FUZZ_CHECK(failed(result) != acceptableFormat(info));
    if (failed(result)) return false;
    instance.id = result.pointerValue;
    instance.info = info;
    instance.frameBytes = pixelsOf(info) * bytesPerPixelOf(info);
    return true;
  }

  void deInstantiate(LiveInstance& instance) {
    QOV_FUZZ_CHECK(plugMain(FF_DEINSTANTIATE, mixedUInt(0), instance.id).uintValue == FF_SUCCESS);
    instance.id = nullptr;
  }

  // Code 8, then code 9: stored exactly as given, or refused for an index beyond the table.
  void setParameter(ByteReader& in, const LiveInstance* instance) {
    SetParameterRecord record{};
    record.index = pickIndex(in, numParameters_);
    record.value.uintValue = pickFloatBits(in);
    const FFInstanceID id = instance != nullptr ? instance->id : nullptr;
    const FFMixed result = plugMain(FF_SET_PARAMETER, mixedPointer(in.flag() ? &record : nullptr), id);
    if (failed(result)) return;
    QOV_FUZZ_CHECK(id != nullptr && record.index < numParameters_);
    const FFMixed back = plugMain(FF_GET_PARAMETER, mixedUInt(record.index), id);
    QOV_FUZZ_CHECK(std::isnan(back.floatValue) ? std::isnan(record.value.floatValue)
                                               : back.uintValue == record.value.uintValue);
  }

  // Codes 5, 6, 7, 9 and 15 for one index.
  void readParameter(ByteReader& in, const LiveInstance* instance) {
    const uint32_t index = pickIndex(in, numParameters_);
    const bool valid = index < numParameters_;
    const FFInstanceID id = instance != nullptr ? instance->id : nullptr;

    const FFMixed name = plugMain(FF_GET_PARAMETER_NAME, mixedUInt(index), nullptr);
    QOV_FUZZ_CHECK(failed(name) != valid);
    if (valid) QOV_FUZZ_CHECK(std::memchr(name.pointerValue, '\0', kNameSize) != nullptr);
    QOV_FUZZ_CHECK(failed(plugMain(FF_GET_PARAMETER_DEFAULT, mixedUInt(index), nullptr)) != valid);
    QOV_FUZZ_CHECK(plugMain(FF_GET_PARAMETER_TYPE, mixedUInt(index), nullptr).uintValue == FF_TYPE_STANDARD);

    // A stored NaN may have the failure's bit pattern, so only refusals are checked.
    const FFMixed value = plugMain(FF_GET_PARAMETER, mixedUInt(index), id);
    if (!valid || id == nullptr) QOV_FUZZ_CHECK(failed(value));
    const FFMixed display = plugMain(FF_GET_PARAMETER_DISPLAY, mixedUInt(index), id);
    QOV_FUZZ_CHECK(failed(display) != (valid && id != nullptr));
    if (!failed(display)) {
      const char* text = static_cast<const char*>(display.pointerValue);
      QOV_FUZZ_CHECK(std::memchr(text, '\0', kNameSize) != nullptr);
      QOV_FUZZ_CHECK(text[0] != '\0');
    }
  }

  // Calls that need no instance: descriptors, capabilities, unknown function codes.
  void libraryCall(ByteReader& in) {
    const uint8_t choice = in.byte() % 5;
    if (choice == 0) {
      QOV_FUZZ_CHECK(!failed(plugMain(FF_GET_INFO, mixedUInt(in.u32()), nullptr)));
    } else if (choice == 1) {
      const auto* info = static_cast<const ExtendedInfo*>(
          plugMain(FF_GET_EXTENDED_INFO, mixedUInt(in.u32()), nullptr).pointerValue);
      QOV_FUZZ_CHECK(info != nullptr && info->description != nullptr && info->about != nullptr);
    } else if (choice == 2) {
      plugMain(FF_GET_PLUGIN_CAPS, mixedUInt(in.flag() ? in.below(kNumCapabilityCodes + 2) : in.u32()), nullptr);
    } else if (choice == 3) {
      QOV_FUZZ_CHECK(plugMain(in.flag() ? FF_INITIALISE : FF_DEINITIALISE, mixedUInt(in.u32()), nullptr).uintValue ==
                     FF_SUCCESS);
    } else {
      uint32_t code = in.u32();
      if (code < kNumFunctionCodes) code += kNumFunctionCodes;
      QOV_FUZZ_CHECK(failed(plugMain(code, mixedUInt(in.u32()), nullptr)));
    }
  }

  // Code 3 with a frame of the instance's size (or no frame): the frame is processed and
  // nothing after it is touched.
  void processFrame(ByteReader& in, const LiveInstance& instance) {
    HostFrame frame(in, instance.frameBytes, instance.info.frameWidth);
    const HostFrame before = frame;
    const bool noFrame = in.below(16) == 0;
    const FFMixed result = plugMain(FF_PROCESS_FRAME, mixedPointer(noFrame ? nullptr : frame.data()), instance.id);
    QOV_FUZZ_CHECK(failed(result) == noFrame);
    QOV_FUZZ_CHECK(frame.tailEquals(before));
    if (!noFrame) checkClamped(instance);
  }

  // Code 14 with any number of input frames, missing frames or arrays, and the output
  // possibly being the input.
  void processFrameCopy(ByteReader& in, const LiveInstance& instance) {
    const std::size_t bytes = instance.frameBytes;
    const uint32_t width = instance.info.frameWidth;
    HostFrame frames[3] = {HostFrame(in, bytes, width), HostFrame(in, bytes, width), HostFrame(in, bytes, width)};
    HostFrame output(in, bytes, width);

    ProcessFrameCopyRecord record{};
    record.numInputFrames = in.below(4);
    void* inputs[3] = {frames[0].data(), frames[1].data(), frames[2].data()};
    if (in.below(16) == 0) inputs[0] = nullptr;
    const bool aliased = in.below(8) == 0;
    record.inputFrames = in.below(16) == 0 ? nullptr : inputs;
    record.outputFrame = aliased ? frames[0].data() : (in.below(16) == 0 ? nullptr : output.data());

    const HostFrame inputBefore = frames[0];
    const HostFrame outputBefore = output;
    const bool noRecord = in.below(32) == 0;
    const FFMixed result = plugMain(FF_PROCESS_FRAME_COPY, mixedPointer(noRecord ? nullptr : &record), instance.id);
    const bool refused = noRecord || record.numInputFrames == 0 || record.inputFrames == nullptr ||
                         inputs[0] == nullptr || record.outputFrame == nullptr;
    QOV_FUZZ_CHECK(failed(result) == refused);
    QOV_FUZZ_CHECK(output.tailEquals(outputBefore) && frames[0].tailEquals(inputBefore));
    if (refused) {
      QOV_FUZZ_CHECK(output.bytes == outputBefore.bytes && frames[0].bytes == inputBefore.bytes);
      return;
    }
    if (!aliased) QOV_FUZZ_CHECK(frames[0].bytes == inputBefore.bytes);
    checkClamped(instance);
  }

  // Code 16 with a host frame set (or none): the answer the set calls for, and writes only
  // into the output buffer. The instance must not keep using the set after the call (it is
  // released right away; the sanitizers see any later use).
  void processFrameMulti(ByteReader& in, const LiveInstance& instance) {
    if (in.below(32) == 0) {
      QOV_FUZZ_CHECK(failed(plugMain(FF_PROCESS_FRAME_MULTI, mixedPointer(nullptr), instance.id)));
      checkClamped(instance);
      return;
    }
    auto set = std::make_unique<HostFrameSet>(in, instance.info);
    const auto before = set->snapshot();
    ImageSlot poolBefore[HostFrameSet::kPoolSize];
    std::memcpy(poolBefore, set->pool, sizeof poolBefore);
    const Qov_Multi multiBefore = set->multi;

    const FFMixed result = plugMain(FF_PROCESS_FRAME_MULTI, mixedPointer(&set->multi), instance.id);
    const bool succeeded = !failed(result);
    QOV_FUZZ_CHECK(succeeded == set->mustSucceed(name_));
    QOV_FUZZ_CHECK(std::memcmp(&multiBefore, &set->multi, sizeof(Qov_Multi)) == 0);
    set->checkWrites(before, poolBefore, succeeded);
    checkClamped(instance);
  }

  // After any frame call every parameter lies in [0, 1] or is NaN.
  void checkClamped(const LiveInstance& instance) const {
    for (uint32_t i = 0; i < numParameters_; ++i) {
      const float value = plugMain(FF_GET_PARAMETER, mixedUInt(i), instance.id).floatValue;
      QOV_FUZZ_CHECK(std::isnan(value) || (value >= 0.0f && value <= 1.0f));
    }
  }

 private:
  std::string name_;
  uint32_t numParameters_ = 0;
};

}  // namespace qov::fuzz
