// Instance calls of a loaded plug-in.
#include "host/plugin_instance.h"

#include <cstring>
#include <utility>

namespace qov::host {

PluginInstance::PluginInstance(const PluginLibrary& library, const VideoInfo& videoInfo)
    : library_(&library), videoInfo_(videoInfo) {
  FFMixed result = library.callPointer(FF_INSTANTIATE, &videoInfo_);
  if (failed(result))
    throw InstantiateError(library.path() + ": the plug-in refused a " + std::to_string(videoInfo.frameWidth) +
                           "x" + std::to_string(videoInfo.frameHeight) + " frame of depth code " +
                           std::to_string(videoInfo.bitDepth));
  id_ = result.pointerValue;
}

PluginInstance::PluginInstance(const PluginLibrary& library, uint32_t width, uint32_t height, uint32_t bitDepth)
    : PluginInstance(library, VideoInfo{width, height, bitDepth, 0}) {}

PluginInstance::~PluginInstance() { release(); }

PluginInstance::PluginInstance(PluginInstance&& other) noexcept
    : library_(other.library_), videoInfo_(other.videoInfo_), id_(std::exchange(other.id_, nullptr)) {}

std::size_t PluginInstance::frameBytes() const {
  return std::size_t{videoInfo_.frameWidth} * videoInfo_.frameHeight * bytesPerPixel();
}

FFMixed PluginInstance::setParameter(uint32_t index, float value) const {
  SetParameterRecord record;
  std::memset(&record, 0, sizeof record);
  record.index = index;
  record.value.floatValue = value;
  return library_->callPointer(FF_SET_PARAMETER, &record, id_);
}

float PluginInstance::parameter(uint32_t index) const {
  return library_->call(FF_GET_PARAMETER, index, id_).floatValue;
}

std::string PluginInstance::parameterDisplay(uint32_t index) const {
  FFMixed result = library_->call(FF_GET_PARAMETER_DISPLAY, index, id_);
  if (failed(result) || result.pointerValue == nullptr) return std::string();
  const char* field = static_cast<const char*>(result.pointerValue);
  const void* nul = std::memchr(field, '\0', kNameSize);
  return std::string(field, nul != nullptr ? static_cast<const char*>(nul) - field : kNameSize);
}

FFMixed PluginInstance::processFrame(void* frame) const {
  return library_->callPointer(FF_PROCESS_FRAME, frame, id_);
}

FFMixed PluginInstance::processFrameCopy(const std::vector<void*>& inputs, void* output) const {
  ProcessFrameCopyRecord record;
  record.numInputFrames = static_cast<uint32_t>(inputs.size());
  record.inputFrames = const_cast<void**>(inputs.data());
  record.outputFrame = output;
  return library_->callPointer(FF_PROCESS_FRAME_COPY, &record, id_);
}

FFMixed PluginInstance::processFrameMulti(Qov_Multi* frameSet) const {
  return library_->callPointer(FF_PROCESS_FRAME_MULTI, frameSet, id_);
}

FFMixed PluginInstance::release() {
  FFMixed result;
  result.pointerValue = nullptr;
  if (id_ != nullptr) {
    result = library_->call(FF_DEINSTANTIATE, 0u, id_);
    id_ = nullptr;
  }
  return result;
}

}  // namespace qov::host
