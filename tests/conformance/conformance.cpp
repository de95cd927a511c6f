// Output checksums of the three built plug-ins over generated frames and parameter sets, so
// that different builds (native, sanitizer, 32-bit, Windows under Wine) can be shown to
// produce the same bytes.
//
//   qov_conformance --write FILE   computes every case and writes "CASE CHECKSUM" lines
//   qov_conformance --check FILE   computes every case and compares with FILE
//
// Both modes also check that each case gives the same bytes on a second, fresh instance
// (no dependence on uninitialised memory or thread timing) and that every call succeeds.
// The last line is "conformance: N passed, N failed"; the exit code is 0 only when
// nothing failed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "host/frame_set.h"
#include "host/plugin_instance.h"
#include "tests/support/plugin_table.h"

namespace qov::test {
namespace {

using host::PluginInstance;

struct FrameSize {
  uint32_t width;
  uint32_t height;
};

// Odd widths reach the scalar row tails of the vector kernels; the largest frames are big
// enough for the passes to split them across threads, where they do.
constexpr FrameSize kSizes[] = {{1, 1}, {3, 2}, {17, 5}, {64, 48}, {203, 61}, {320, 181}};
constexpr uint32_t kDepths[] = {FF_DEPTH_24, FF_DEPTH_32};
constexpr uint32_t kFrameCodes[] = {FF_PROCESS_FRAME, FF_PROCESS_FRAME_COPY, FF_PROCESS_FRAME_MULTI};
constexpr int kRandomParameterSets = 6;  // besides the defaults
constexpr int kShapesPerFrame = 8;

constexpr uint64_t kFnvOffset = 0xCBF29CE484222325ull;
constexpr uint64_t kFnvPrime = 0x100000001B3ull;

uint64_t fnv1a(const std::vector<uint8_t>& bytes, uint64_t hash = kFnvOffset) {
  for (uint8_t byte : bytes) hash = (hash ^ byte) * kFnvPrime;
  return hash;
}

// A float in [0, 1) from the engine's top 24 bits: the same on every platform (unlike the
// standard distributions, whose algorithms are left to the library).
float unitFloat(std::mt19937& engine) { return static_cast<float>(engine() >> 8) * (1.0f / 16777216.0f); }

uint32_t below(std::mt19937& engine, uint32_t bound) { return engine() % bound; }

// A frame with content for every effect: a flat background, rectangles and slanted lines
// (edges of many slopes and lengths for the antialiasing), and scattered single pixels.
std::vector<uint8_t> makeFrame(FrameSize size, uint32_t bytesPerPixel, uint32_t seed) {
  std::mt19937 engine(seed);
  const std::size_t pixels = std::size_t{size.width} * size.height;
  std::vector<uint8_t> frame(pixels * bytesPerPixel);
  auto colour = [&] {
    std::vector<uint8_t> c(bytesPerPixel);
    for (uint8_t& byte : c) byte = static_cast<uint8_t>(engine());
    return c;
  };
  auto paint = [&](uint32_t x, uint32_t y, const std::vector<uint8_t>& c) {
    std::memcpy(&frame[(std::size_t{y} * size.width + x) * bytesPerPixel], c.data(), bytesPerPixel);
  };
  const std::vector<uint8_t> background = colour();
  for (std::size_t i = 0; i < pixels; ++i) std::memcpy(&frame[i * bytesPerPixel], background.data(), bytesPerPixel);
  for (int shape = 0; shape < kShapesPerFrame; ++shape) {
    const std::vector<uint8_t> c = colour();
    const uint32_t x0 = below(engine, size.width), y0 = below(engine, size.height);
    const uint32_t x1 = below(engine, size.width), y1 = below(engine, size.height);
    if (shape % 2 == 0) {
      for (uint32_t y = std::min(y0, y1); y <= std::max(y0, y1); ++y)
        for (uint32_t x = std::min(x0, x1); x <= std::max(x0, x1); ++x) paint(x, y, c);
    } else {
      const int steps = static_cast<int>(std::max(size.width, size.height));
      for (int step = 0; step <= steps; ++step) {
        const auto x = static_cast<uint32_t>(x0 + (int64_t{x1} - x0) * step / std::max(steps, 1));
        const auto y = static_cast<uint32_t>(y0 + (int64_t{y1} - y0) * step / std::max(steps, 1));
        paint(x, y, c);
      }
    }
  }
  // One draw a statement: the order in which a call's arguments are evaluated differs
  // between compilers (GCC and clang), and the frames must not.
  for (std::size_t i = 0; i < pixels / 16; ++i) {
    const std::vector<uint8_t> c = colour();
    const uint32_t y = below(engine, size.height);
    const uint32_t x = below(engine, size.width);
    paint(x, y, c);
  }
  return frame;
}

// The defaults, then parameter sets that mix switch values around 0.5, the ends of the
// range, values outside it (clamped at the frame call) and arbitrary amounts.
std::vector<std::vector<float>> parameterSets(const ExpectedPlugin& plugin, uint32_t seed) {
  std::vector<std::vector<float>> sets;
  std::vector<float> defaults;
  for (const ExpectedParameter& parameter : plugin.parameters) defaults.push_back(bitsToFloat(parameter.defaultBits));
  sets.push_back(defaults);
  std::mt19937 engine(seed);
  const float special[] = {0.0f, 1.0f, 0.5f, 0.50001f, -0.5f, 1.5f, 0.002f};
  constexpr uint32_t kSpecialCount = sizeof special / sizeof special[0];
  for (int set = 0; set < kRandomParameterSets; ++set) {
    std::vector<float> values;
    for (std::size_t i = 0; i < plugin.parameters.size(); ++i) {
      const uint32_t pick = below(engine, kSpecialCount + 3);
      values.push_back(pick < kSpecialCount ? special[pick] : unitFloat(engine));
    }
    sets.push_back(values);
  }
  return sets;
}

struct Case {
  const ExpectedPlugin* plugin;
  uint32_t depth;
  FrameSize size;
  int parameterSet;
  std::vector<float> parameters;
  uint32_t code;
  uint32_t seed;

  std::string key() const {
    std::ostringstream text;
    text << plugin->name << " depth" << depth << ' ' << size.width << 'x' << size.height << " parameters"
         << parameterSet << " code" << code;
    return text.str();
  }
};

// One frame call of a fresh instance; the checksum covers the call's result and every
// byte the host sees afterwards in its output (and, for code 16, its input) buffers.
uint64_t run(const Case& c, std::string& error) {
  PluginInstance instance(library(c.plugin->name), c.size.width, c.size.height, c.depth);
  for (uint32_t i = 0; i < c.parameters.size(); ++i)
    if (instance.setParameter(i, c.parameters[i]).uintValue != FF_SUCCESS) error = "setParameter failed";
  const uint32_t bytesPerPixel = instance.bytesPerPixel();
  std::vector<uint8_t> input = makeFrame(c.size, bytesPerPixel, c.seed);
  // What the host's output buffer held before the call, which an effect may leave as it is.
  std::vector<uint8_t> output = makeFrame(c.size, bytesPerPixel, c.seed + 1);
  std::vector<uint8_t> second = makeFrame(c.size, bytesPerPixel, c.seed + 2);

  FFMixed result{};
  switch (c.code) {
    case FF_PROCESS_FRAME:
      output = input;
      result = instance.processFrame(output.data());
      break;
    case FF_PROCESS_FRAME_COPY:
      result = instance.processFrameCopy({input.data()}, output.data());
      break;
    default: {
      // Two inputs: the two-input matte uses both; the others read only the first.
      host::FrameSet frameSet(c.size.width, c.size.height, bytesPerPixel, {input.data(), second.data()},
                              output.data());
      result = instance.processFrameMulti(frameSet.get());
      break;
    }
  }
  if (result.uintValue != FF_SUCCESS) error = "frame call failed";
  const std::vector<uint8_t> resultBytes = {static_cast<uint8_t>(result.uintValue)};
  return fnv1a(input, fnv1a(output, fnv1a(resultBytes)));
}

std::vector<Case> allCases() {
  std::vector<Case> cases;
  uint32_t seed = 1;
  for (const ExpectedPlugin& plugin : expectedPlugins()) {
    const std::vector<std::vector<float>> sets = parameterSets(plugin, seed++);
    for (uint32_t depth : kDepths)
      for (FrameSize size : kSizes)
        for (int set = 0; set < static_cast<int>(sets.size()); ++set) {
          ++seed;
          for (uint32_t code : kFrameCodes) cases.push_back({&plugin, depth, size, set, sets[set], code, seed * 7});
        }
  }
  return cases;
}

std::string hex(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

int runAll(bool write, const std::string& path) {
  std::map<std::string, std::string> reference;
  if (!write) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      std::cout << "cannot read the reference checksums " << path << "\n";
      return 1;
    }
    std::string line;
    while (std::getline(in, line)) {
      while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
      const std::size_t space = line.rfind(' ');
      if (space != std::string::npos) reference[line.substr(0, space)] = line.substr(space + 1);
    }
  }

  int passed = 0;
  int failed = 0;
  auto fail = [&](const std::string& what) {
    ++failed;
    std::cout << "FAILED " << what << "\n";
  };
  std::ostringstream written;
  for (const Case& c : allCases()) {
    std::string error;
    const uint64_t first = run(c, error);
    const uint64_t again = run(c, error);
    const std::string key = c.key();
    written << key << ' ' << hex(first) << '\n';
    if (!error.empty()) {
      fail(key + ": " + error);
    } else if (first != again) {
      fail(key + ": a second instance gave other bytes");
    } else if (!write) {
      auto found = reference.find(key);
      if (found == reference.end()) {
        fail(key + ": not in the reference");
      } else {
        if (found->second == hex(first))
          ++passed;
        else
          fail(key + ": " + hex(first) + ", reference " + found->second);
        reference.erase(found);
      }
    } else {
      ++passed;
    }
  }
  for (const auto& missing : reference) fail(missing.first + ": in the reference but not computed here");

  if (write) {
    std::ofstream out(path, std::ios::binary);
    out << written.str();
    if (!out) fail("cannot write " + path);
  }
  std::cout << "conformance: " << passed << " passed, " << failed << " failed\n";
  return failed == 0 ? 0 : 1;
}

}  // namespace
}  // namespace qov::test

int main(int argc, char** argv) {
  const std::string mode = argc == 3 ? argv[1] : "";
  if (mode != "--write" && mode != "--check") {
    std::cerr << "usage: qov_conformance --write FILE | --check FILE\n";
    return 2;
  }
  try {
    return qov::test::runAll(mode == "--write", argv[2]);
  } catch (const std::exception& error) {
    std::cout << "error: " << error.what() << "\n";
    return 1;
  }
}
