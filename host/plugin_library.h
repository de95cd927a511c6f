// A plug-in library loaded by path, and typed access to its function codes.
//
// Used by qovhost, the tests and the benchmarks: they talk to a plug-in only through
// plugMain, as any host does.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "framework/boundary.h"

namespace qov::host {

class LoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

bool failed(FFMixed result);

class PluginLibrary {
 public:
  // Loads the library and finds plugMain; throws LoadError with a readable reason.
  explicit PluginLibrary(const std::string& path);
  ~PluginLibrary();
  PluginLibrary(PluginLibrary&& other) noexcept;
  PluginLibrary& operator=(PluginLibrary&& other) noexcept;
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  const std::string& path() const { return path_; }

  // The raw entry point.
  FFMixed call(uint32_t functionCode, FFMixed inputValue, FFInstanceID instanceId = nullptr) const;
  FFMixed call(uint32_t functionCode, uint32_t value, FFInstanceID instanceId = nullptr) const;
  FFMixed callPointer(uint32_t functionCode, const void* address, FFInstanceID instanceId = nullptr) const;

  // Descriptor calls. They return null / throw nothing on failure; check with failed().
  const PlugInfo* info() const;
  const ExtendedInfo* extendedInfo() const;
  // 0 when the plug-in does not answer.
  uint32_t numParameters() const;
  // The parameter's 16-byte name as text (up to its first NUL).
  std::string parameterName(uint32_t index) const;
  float parameterDefault(uint32_t index) const;
  uint32_t parameterType(uint32_t index) const;
  uint32_t capability(uint32_t code) const;
  // The plug-in's name and unique ID as text.
  std::string name() const;
  std::string uniqueId() const;

 private:
  void close();

  std::string path_;
  void* handle_ = nullptr;
  PlugMainFunction plugMain_ = nullptr;
};

}  // namespace qov::host
