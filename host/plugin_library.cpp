// Loading a plug-in library: dlopen on POSIX systems, LoadLibraryA on Windows.
#include "host/plugin_library.h"

#include <cstring>
#include <utility>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace qov::host {
namespace {

#if defined(_WIN32)
void* openLibrary(const std::string& path, std::string& error) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) error = "cannot load library (error " + std::to_string(GetLastError()) + ")";
  return reinterpret_cast<void*>(module);
}
void* findSymbol(void* handle, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle), name));
}
void closeLibrary(void* handle) { FreeLibrary(reinterpret_cast<HMODULE>(handle)); }
#else
void* openLibrary(const std::string& path, std::string& error) {
  // A bare file name would make dlopen search the library path instead of the file.
  const std::string target = path.find('/') == std::string::npos ? "./" + path : path;
  void* handle = dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "cannot load library";
    // dlerror names the file first; the caller names it already.
    const std::string prefix = target + ": ";
    if (error.compare(0, prefix.size(), prefix) == 0) error.erase(0, prefix.size());
  }
  return handle;
}
void* findSymbol(void* handle, const char* name) { return dlsym(handle, name); }
void closeLibrary(void* handle) { dlclose(handle); }
#endif

std::string fixedText(const char* field, std::size_t size) {
  const void* nul = std::memchr(field, '\0', size);
  return std::string(field, nul != nullptr ? static_cast<const char*>(nul) - field : size);
}

}  // namespace

bool failed(FFMixed result) { return result.uintValue == FF_FAIL; }

PluginLibrary::PluginLibrary(const std::string& path) : path_(path) {
  std::string error;
  handle_ = openLibrary(path, error);
  if (handle_ == nullptr) throw LoadError(path + ": not a loadable plug-in library (" + error + ")");
  plugMain_ = reinterpret_cast<PlugMainFunction>(findSymbol(handle_, "plugMain"));
  if (plugMain_ == nullptr) {
    close();
    throw LoadError(path + ": not a FreeFrame plug-in (it exports no plugMain)");
  }
}

PluginLibrary::~PluginLibrary() { close(); }

PluginLibrary::PluginLibrary(PluginLibrary&& other) noexcept
    : path_(std::move(other.path_)),
      handle_(std::exchange(other.handle_, nullptr)),
      plugMain_(std::exchange(other.plugMain_, nullptr)) {}

PluginLibrary& PluginLibrary::operator=(PluginLibrary&& other) noexcept {
  if (this != &other) {
    close();
    path_ = std::move(other.path_);
    handle_ = std::exchange(other.handle_, nullptr);
    plugMain_ = std::exchange(other.plugMain_, nullptr);
  }
  return *this;
}

void PluginLibrary::close() {
  if (handle_ != nullptr) closeLibrary(handle_);
  handle_ = nullptr;
  plugMain_ = nullptr;
}

FFMixed PluginLibrary::call(uint32_t functionCode, FFMixed inputValue, FFInstanceID instanceId) const {
  return plugMain_(functionCode, inputValue, instanceId);
}

FFMixed PluginLibrary::call(uint32_t functionCode, uint32_t value, FFInstanceID instanceId) const {
  FFMixed input;
  input.pointerValue = nullptr;
  input.uintValue = value;
  return call(functionCode, input, instanceId);
}

FFMixed PluginLibrary::callPointer(uint32_t functionCode, const void* address, FFInstanceID instanceId) const {
  FFMixed input;
  input.pointerValue = const_cast<void*>(address);
  return call(functionCode, input, instanceId);
}

const PlugInfo* PluginLibrary::info() const {
  FFMixed result = call(FF_GET_INFO, 0u);
  return failed(result) ? nullptr : static_cast<const PlugInfo*>(result.pointerValue);
}

const ExtendedInfo* PluginLibrary::extendedInfo() const {
  FFMixed result = call(FF_GET_EXTENDED_INFO, 0u);
  return failed(result) ? nullptr : static_cast<const ExtendedInfo*>(result.pointerValue);
}

uint32_t PluginLibrary::numParameters() const {
  const FFMixed result = call(FF_GET_NUM_PARAMETERS, 0u);
  return failed(result) ? 0 : result.uintValue;
}

std::string PluginLibrary::parameterName(uint32_t index) const {
  FFMixed result = call(FF_GET_PARAMETER_NAME, index);
  if (failed(result) || result.pointerValue == nullptr) return std::string();
  return fixedText(static_cast<const char*>(result.pointerValue), kNameSize);
}

float PluginLibrary::parameterDefault(uint32_t index) const {
  return call(FF_GET_PARAMETER_DEFAULT, index).floatValue;
}

uint32_t PluginLibrary::parameterType(uint32_t index) const {
  return call(FF_GET_PARAMETER_TYPE, index).uintValue;
}

uint32_t PluginLibrary::capability(uint32_t code) const { return call(FF_GET_PLUGIN_CAPS, code).uintValue; }

std::string PluginLibrary::name() const {
  const PlugInfo* plugInfo = info();
  return plugInfo != nullptr ? fixedText(plugInfo->pluginName, kNameSize) : std::string();
}

std::string PluginLibrary::uniqueId() const {
  const PlugInfo* plugInfo = info();
  return plugInfo != nullptr ? std::string(plugInfo->uniqueId, kUniqueIdSize) : std::string();
}

}  // namespace qov::host
