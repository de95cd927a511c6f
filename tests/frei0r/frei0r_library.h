// A frei0r plug-in loaded with dlopen and driven through its f0r_* functions, as a frei0r
// host does; and frames as such a host hands them over (32-bit words, blue in byte 0).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "frei0r/frei0r_api.h"

namespace qov::test {

class Frei0rLibrary {
 public:
  // Loads FILE_NAME.so from the build's frei0r directory and calls f0r_init; throws
  // std::runtime_error naming what is missing.
  explicit Frei0rLibrary(const std::string& fileName);
  ~Frei0rLibrary();
  Frei0rLibrary(const Frei0rLibrary&) = delete;
  Frei0rLibrary& operator=(const Frei0rLibrary&) = delete;

  f0r_plugin_info_t info() const;
  f0r_param_info_t paramInfo(int index) const;

  decltype(&f0r_init) init = nullptr;
  decltype(&f0r_deinit) deinit = nullptr;
  decltype(&f0r_get_plugin_info) getPluginInfo = nullptr;
  decltype(&f0r_get_param_info) getParamInfo = nullptr;
  decltype(&f0r_construct) construct = nullptr;
  decltype(&f0r_destruct) destruct = nullptr;
  decltype(&f0r_set_param_value) setParamValue = nullptr;
  decltype(&f0r_get_param_value) getParamValue = nullptr;
  decltype(&f0r_update) update = nullptr;
  decltype(&f0r_update2) update2 = nullptr;

 private:
  void* handle_ = nullptr;
};

// The loaded plug-in of that file name; loaded once and kept for the whole run, as in a host.
const Frei0rLibrary& frei0rLibrary(const std::string& fileName);

// The directory a frei0r host is to search (FREI0R_PATH) for the built plug-ins.
std::string frei0rDirectory();

// One instance, destructed when the object goes away. Throws when construction fails.
class Frei0rInstance {
 public:
  Frei0rInstance(const Frei0rLibrary& library, unsigned width, unsigned height);
  ~Frei0rInstance();
  Frei0rInstance(const Frei0rInstance&) = delete;
  Frei0rInstance& operator=(const Frei0rInstance&) = delete;

  void set(int index, double value) const;
  double get(int index) const;
  // Frames of width x height pixels as bytes; copied into and out of 32-bit words.
  std::vector<uint8_t> update(const std::vector<uint8_t>& input) const;
  std::vector<uint8_t> updateInPlace(const std::vector<uint8_t>& input) const;
  std::vector<uint8_t> update2(const std::vector<uint8_t>& first, const std::vector<uint8_t>* second) const;

 private:
  const Frei0rLibrary& library_;
  f0r_instance_t instance_ = nullptr;
  std::size_t pixels_;
};

}  // namespace qov::test
