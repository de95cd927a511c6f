// Loading frei0r plug-ins for the tests, and instances that a test drives frame by frame.
#include "tests/frei0r/frei0r_library.h"

#include <dlfcn.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace qov::test {
namespace {

template <typename Function>
void bind(void* handle, const char* symbol, Function& function) {
  function = reinterpret_cast<Function>(dlsym(handle, symbol));
  if (function == nullptr) throw std::runtime_error(std::string("missing ") + symbol);
}

std::vector<uint32_t> toWords(const std::vector<uint8_t>& bytes) {
  std::vector<uint32_t> words(bytes.size() / sizeof(uint32_t));
  std::memcpy(words.data(), bytes.data(), words.size() * sizeof(uint32_t));
  return words;
}

std::vector<uint8_t> toBytes(const std::vector<uint32_t>& words) {
  std::vector<uint8_t> bytes(words.size() * sizeof(uint32_t));
  std::memcpy(bytes.data(), words.data(), bytes.size());
  return bytes;
}

// Filled with a pattern first, so that an output the plug-in leaves unwritten shows.
constexpr uint32_t kUnwritten = 0xA5A5A5A5u;

}  // namespace

std::string frei0rDirectory() { return QOV_FREI0R_DIR; }

Frei0rLibrary::Frei0rLibrary(const std::string& fileName) {
  const std::string path = frei0rDirectory() + "/" + fileName + ".so";
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) throw std::runtime_error(dlerror());
  bind(handle_, "f0r_init", init);
  bind(handle_, "f0r_deinit", deinit);
  bind(handle_, "f0r_get_plugin_info", getPluginInfo);
  bind(handle_, "f0r_get_param_info", getParamInfo);
  bind(handle_, "f0r_construct", construct);
  bind(handle_, "f0r_destruct", destruct);
  bind(handle_, "f0r_set_param_value", setParamValue);
  bind(handle_, "f0r_get_param_value", getParamValue);
  bind(handle_, "f0r_update", update);
  bind(handle_, "f0r_update2", update2);
  if (init() != 1) throw std::runtime_error(path + ": f0r_init failed");
}

Frei0rLibrary::~Frei0rLibrary() {
  deinit();
  dlclose(handle_);
}

f0r_plugin_info_t Frei0rLibrary::info() const {
  f0r_plugin_info_t info{};
  getPluginInfo(&info);
  return info;
}

f0r_param_info_t Frei0rLibrary::paramInfo(int index) const {
  f0r_param_info_t info{};
  getParamInfo(&info, index);
  return info;
}

const Frei0rLibrary& frei0rLibrary(const std::string& fileName) {
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  static auto* loaded = new std::map<std::string, std::unique_ptr<Frei0rLibrary>>;
  auto& slot = (*loaded)[fileName];
  if (!slot) slot = std::make_unique<Frei0rLibrary>(fileName);
  return *slot;
}

Frei0rInstance::Frei0rInstance(const Frei0rLibrary& library, unsigned width, unsigned height)
    : library_(library), instance_(library.construct(width, height)), pixels_(std::size_t{width} * height) {
  if (instance_ == nullptr) throw std::runtime_error("f0r_construct refused the frame size");
}

Frei0rInstance::~Frei0rInstance() { library_.destruct(instance_); }

void Frei0rInstance::set(int index, double value) const { library_.setParamValue(instance_, &value, index); }

double Frei0rInstance::get(int index) const {
  double value = -1.0;
  library_.getParamValue(instance_, &value, index);
  return value;
}

std::vector<uint8_t> Frei0rInstance::update(const std::vector<uint8_t>& input) const {
  const std::vector<uint32_t> in = toWords(input);
  std::vector<uint32_t> out(pixels_, kUnwritten);
  library_.update(instance_, 0.0, in.data(), out.data());
  return toBytes(out);
}

std::vector<uint8_t> Frei0rInstance::updateInPlace(const std::vector<uint8_t>& input) const {
  std::vector<uint32_t> frame = toWords(input);
  library_.update(instance_, 0.0, frame.data(), frame.data());
  return toBytes(frame);
}

std::vector<uint8_t> Frei0rInstance::update2(const std::vector<uint8_t>& first,
                                             const std::vector<uint8_t>* second) const {
  const std::vector<uint32_t> in1 = toWords(first);
  const std::vector<uint32_t> in2 = second != nullptr ? toWords(*second) : std::vector<uint32_t>();
  std::vector<uint32_t> out(pixels_, kUnwritten);
  library_.update2(instance_, 0.0, in1.data(), second != nullptr ? in2.data() : nullptr, nullptr, out.data());
  return toBytes(out);
}

}  // namespace qov::test
