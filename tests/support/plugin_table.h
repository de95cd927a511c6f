// What a host should find in each of the three plug-ins, and helpers the host-contract
// tests share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/plugin_library.h"

namespace qov::test {

struct ExpectedParameter {
  const char* name;
  uint32_t defaultBits;
};

struct ExpectedPlugin {
  const char* path;
  const char* uniqueId;
  const char* name;
  uint32_t majorVersion;
  uint32_t minorVersion;
  const char* descriptionStart;
  const char* aboutStart;
  std::vector<ExpectedParameter> parameters;
};

const std::vector<ExpectedPlugin>& expectedPlugins();
const ExpectedPlugin& expectedPlugin(const std::string& name);

// Libraries stay loaded for the whole test run, as in a host.
const host::PluginLibrary& library(const std::string& name);

uint32_t floatBits(float value);
float bitsToFloat(uint32_t bits);

// Deterministic pseudo-random bytes.
std::vector<uint8_t> randomBytes(std::size_t count, uint32_t seed);

}  // namespace qov::test
