// One instance of a loaded plug-in, created by instantiate and released by deInstantiate
// when the object goes away.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/boundary.h"
#include "host/plugin_library.h"

namespace qov::host {

class InstantiateError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class PluginInstance {
 public:
  // Throws InstantiateError when the plug-in refuses the format.
  PluginInstance(const PluginLibrary& library, const VideoInfo& videoInfo);
  PluginInstance(const PluginLibrary& library, uint32_t width, uint32_t height, uint32_t bitDepth);
  ~PluginInstance();
  PluginInstance(PluginInstance&& other) noexcept;
  PluginInstance& operator=(PluginInstance&&) = delete;
  PluginInstance(const PluginInstance&) = delete;
  PluginInstance& operator=(const PluginInstance&) = delete;

  FFInstanceID id() const { return id_; }
  const VideoInfo& videoInfo() const { return videoInfo_; }
  uint32_t bytesPerPixel() const { return videoInfo_.bitDepth == FF_DEPTH_32 ? 4u : 3u; }
  std::size_t frameBytes() const;

  // Results as plugMain returns them (check with failed()).
  FFMixed setParameter(uint32_t index, float value) const;
  float parameter(uint32_t index) const;
  // The 16-byte display field (up to its first NUL), or "" on failure.
  std::string parameterDisplay(uint32_t index) const;
  FFMixed processFrame(void* frame) const;
  FFMixed processFrameCopy(const std::vector<void*>& inputs, void* output) const;
  FFMixed processFrameMulti(Qov_Multi* frameSet) const;

  // Calls deInstantiate now and returns its result; the object is then empty.
  FFMixed release();

 private:
  const PluginLibrary* library_;
  VideoInfo videoInfo_;
  FFInstanceID id_ = nullptr;
};

}  // namespace qov::host
