// Writes the matte presets as MLT preset files, one file a preset, for the frei0r editions
// as MLT knows them: the filter frei0r.qov_setmatte and the transition frei0r.qov_misetmatte.
//
//   qov_mlt_presets DIRECTORY
//
// makes DIRECTORY/filter/frei0r.qov_setmatte/NAME and DIRECTORY/transition/
// frei0r.qov_misetmatte/NAME. MLT looks for presets in its data folder's presets/ (or in
// MLT_PRESETS_PATH) under the service's type and name, and loads one when a service's
// "properties" is set to the preset's name: `melt ... -filter frei0r.qov_setmatte
// properties=luma-key`. A file holds one NAME=VALUE line per frei0r parameter, by index.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "effects/matte/matte_presets.h"

namespace {

constexpr std::size_t kNumberChars = 32;

struct Service {
  const char* type;
  const char* name;
};

constexpr Service kServices[] = {{"filter", "frei0r.qov_setmatte"}, {"transition", "frei0r.qov_misetmatte"}};

// A decimal that MLT reads (as a double) and the plug-in then takes (as a float) as exactly
// the table's float: its shortest decimal (0.9) when that survives the detour through a
// double, else the double's own shortest decimal, which is exact.
std::string number(float value) {
  char text[kNumberChars];
  auto result = std::to_chars(text, text + sizeof text, value);
  const std::string shortest(text, result.ptr);
  if (static_cast<float>(std::strtod(shortest.c_str(), nullptr)) == value) return shortest;
  result = std::to_chars(text, text + sizeof text, static_cast<double>(value));
  return std::string(text, result.ptr);
}

bool writePreset(const std::filesystem::path& folder, const Service& service,
                 const qov::matte::MattePreset& preset) {
  std::ofstream file(folder / preset.name);
  file << "# " << preset.name << ": " << preset.summary << "\n# (" << service.type << " " << service.name
       << " properties=" << preset.name << ")\n";
  for (std::size_t i = 0; i < preset.values.size(); ++i) file << i << '=' << number(preset.values[i]) << '\n';
  return static_cast<bool>(file.flush());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: qov_mlt_presets DIRECTORY\n");
    return 2;
  }
  try {
    for (const Service& service : kServices) {
      const std::filesystem::path folder = std::filesystem::path(argv[1]) / service.type / service.name;
      std::filesystem::create_directories(folder);
      for (const qov::matte::MattePreset& preset : qov::matte::kMattePresets)
        if (!writePreset(folder, service, preset)) {
          std::fprintf(stderr, "qov_mlt_presets: cannot write %s\n", (folder / preset.name).c_str());
          return 1;
        }
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qov_mlt_presets: %s\n", error.what());
    return 1;
  }
  return 0;
}
