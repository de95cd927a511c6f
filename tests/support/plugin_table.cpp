// Expected descriptors of the three plug-ins.
#include "tests/support/plugin_table.h"

#include <cstring>
#include <map>
#include <mutex>
#include <memory>
#include <random>
#include <stdexcept>

namespace qov::test {
namespace {

constexpr uint32_t kOne = 0x3F800000u;
constexpr uint32_t kZero = 0x00000000u;
constexpr uint32_t kPointNine = 0x3F666666u;

std::vector<ExpectedParameter> matteParameters() {
  return {{"Alpha Amount", kOne},     {"Red Amount", kPointNine},   {"Green Amount", kPointNine},
          {"Blue Amount", kPointNine}, {"Invert All", kPointNine},   {"Invert Alpha", kPointNine},
          {"Invert Red", kPointNine},  {"Invert Green", kPointNine}, {"Invert Blue", kPointNine}};
}

}  // namespace

const std::vector<ExpectedPlugin>& expectedPlugins() {
  static const std::vector<ExpectedPlugin> plugins = [] {
    std::vector<ExpectedPlugin> list;
    list.push_back({QOV_MLAA1_PATH, "zq4q", "QovMLAA1", 1, 891, "MLAA Post Processing (Morphological Antialiasing)",
                    "QovMLAA1",
                    {{"Strength", kOne}, {"Use Half", kZero}, {"Thin Lines", kZero}, {"Visualize", kZero},
                     {"Use Alpha", kZero}}});
    list.push_back({QOV_MISETMATTE1_PATH, "zq17", "QovMISetMatte1", 3, 996,
                    "2 inputs: uses one input as alpha/transparency for the other", "QovMISetMatte1 - Version 2.8",
                    matteParameters()});
    list.back().parameters.push_back({"Switch Inputs", kZero});
    list.push_back({QOV_SETMATTE1_PATH, "zq2b", "QovSetMatte1", 3, 861,
                    "Input is turned into alpha channel (transparency) mask", "QovSetMatte1 - Version 3.x",
                    matteParameters()});
    return list;
  }();
  return plugins;
}

const ExpectedPlugin& expectedPlugin(const std::string& name) {
  for (const ExpectedPlugin& plugin : expectedPlugins())
    if (name == plugin.name) return plugin;
  throw std::out_of_range(name);
}

const host::PluginLibrary& library(const std::string& name) {
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  // Never unloaded, as in a host that keeps its plug-ins until it exits.
  static auto* loaded = new std::map<std::string, std::unique_ptr<host::PluginLibrary>>;
  auto& slot = (*loaded)[name];
  if (!slot) slot = std::make_unique<host::PluginLibrary>(expectedPlugin(name).path);
  return *slot;
}

uint32_t floatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

float bitsToFloat(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::vector<uint8_t> randomBytes(std::size_t count, uint32_t seed) {
  std::mt19937 engine(seed);
  std::vector<uint8_t> bytes(count);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(engine());
  return bytes;
}

}  // namespace qov::test
