// Each frei0r plug-in driven as a frei0r host drives it: what it tells about itself and its
// parameters, how parameter values come back, which frame sizes it takes, handles that are
// no instance, and its frames through both update calls, in place and on several threads at
// once.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "tests/frei0r/frei0r_library.h"
#include "tests/support/plugin_table.h"

namespace qov::test {
namespace {

struct ExpectedParam {
  const char* name;
  int type;
  double defaultValue;
};

struct ExpectedFrei0r {
  const char* fileName;
  int type;
  int majorVersion;
  int minorVersion;
  std::vector<ExpectedParam> parameters;
  double workingAmount;  // a value of the double parameters at which the effect shows
};

constexpr double kPointNine = 0.9f;  // the float nearest to 0.9, as a double

std::vector<ExpectedParam> matteParameters() {
  return {{"Alpha Amount", F0R_PARAM_DOUBLE, 1.0}, {"Red Amount", F0R_PARAM_DOUBLE, kPointNine},
          {"Green Amount", F0R_PARAM_DOUBLE, kPointNine}, {"Blue Amount", F0R_PARAM_DOUBLE, kPointNine},
          {"Invert All", F0R_PARAM_BOOL, 1.0}, {"Invert Alpha", F0R_PARAM_BOOL, 1.0},
          {"Invert Red", F0R_PARAM_BOOL, 1.0}, {"Invert Green", F0R_PARAM_BOOL, 1.0},
          {"Invert Blue", F0R_PARAM_BOOL, 1.0}};
}

const std::vector<ExpectedFrei0r>& expectedFrei0rPlugins() {
  static const std::vector<ExpectedFrei0r> plugins = [] {
    std::vector<ExpectedFrei0r> list;
    list.push_back({"qov_mlaa", F0R_PLUGIN_TYPE_FILTER, 1, 891,
                    {{"Strength", F0R_PARAM_DOUBLE, 1.0}, {"Use Half", F0R_PARAM_BOOL, 0.0},
                     {"Thin Lines", F0R_PARAM_BOOL, 0.0}, {"Visualize", F0R_PARAM_BOOL, 0.0},
                     {"Use Alpha", F0R_PARAM_BOOL, 0.0}},
                    0.75});
    // Small amounts keep the masks unsaturated.
    list.push_back({"qov_setmatte", F0R_PLUGIN_TYPE_FILTER, 3, 861, matteParameters(), 0.004});
    list.push_back({"qov_misetmatte", F0R_PLUGIN_TYPE_MIXER2, 3, 996, matteParameters(), 0.004});
    list.back().parameters.push_back({"Switch Inputs", F0R_PARAM_BOOL, 0.0});
    return list;
  }();
  return plugins;
}

const ExpectedFrei0r& expected(const std::string& fileName) {
  for (const ExpectedFrei0r& plugin : expectedFrei0rPlugins())
    if (fileName == plugin.fileName) return plugin;
  throw std::out_of_range(fileName);
}

// The index of the plug-in's first parameter of a type, or -1.
int firstOfType(const ExpectedFrei0r& plugin, int type) {
  for (std::size_t i = 0; i < plugin.parameters.size(); ++i)
    if (plugin.parameters[i].type == type) return static_cast<int>(i);
  return -1;
}

class Frei0rHost : public ::testing::TestWithParam<std::string> {
 protected:
  const Frei0rLibrary& library() const { return frei0rLibrary(GetParam()); }
  const ExpectedFrei0r& plugin() const { return expected(GetParam()); }
};

TEST_P(Frei0rHost, DescribesItselfAndItsParameters) {
  const f0r_plugin_info_t info = library().info();
  ASSERT_NE(info.name, nullptr);
  EXPECT_EQ(std::string(info.author), "Qov team");
  EXPECT_EQ(info.plugin_type, plugin().type);
  EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_BGRA8888);
  EXPECT_EQ(info.frei0r_version, FREI0R_MAJOR_VERSION);
  EXPECT_EQ(info.major_version, plugin().majorVersion);
  EXPECT_EQ(info.minor_version, plugin().minorVersion);
  ASSERT_EQ(info.num_params, static_cast<int>(plugin().parameters.size()));
  EXPECT_GT(std::string(info.explanation).size(), 40u);

  for (int i = 0; i < info.num_params; ++i) {
    SCOPED_TRACE(i);
    const f0r_param_info_t param = library().paramInfo(i);
    EXPECT_EQ(std::string(param.name), plugin().parameters[i].name);
    EXPECT_EQ(param.type, plugin().parameters[i].type);
    ASSERT_NE(param.explanation, nullptr);
    EXPECT_GT(std::string(param.explanation).size(), 20u) << "a sentence a person can read";
  }
  for (int outside : {-1, info.num_params}) {
    const f0r_param_info_t untouched = library().paramInfo(outside);
    EXPECT_EQ(untouched.name, nullptr) << outside;
  }
}

TEST_P(Frei0rHost, ParameterValuesComeBackAsTheEffectSeesThem) {
  Frei0rInstance instance(library(), 16, 8);
  for (std::size_t i = 0; i < plugin().parameters.size(); ++i)
    EXPECT_EQ(instance.get(static_cast<int>(i)), plugin().parameters[i].defaultValue) << "default of " << i;

  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    int type;
    double given;
    double readBack;
  };
  const Case cases[] = {
      {F0R_PARAM_DOUBLE, 0.25, 0.25},         {F0R_PARAM_DOUBLE, 0.1, double{0.1f}},
      {F0R_PARAM_DOUBLE, 7.0, 1.0},           {F0R_PARAM_DOUBLE, -3.0, 0.0},
      {F0R_PARAM_DOUBLE, 1e300, 1.0},         {F0R_PARAM_DOUBLE, -1e300, 0.0},
      {F0R_PARAM_DOUBLE, 0.0, 0.0},           {F0R_PARAM_BOOL, 1.0, 1.0},
      {F0R_PARAM_BOOL, 0.0, 0.0},             {F0R_PARAM_BOOL, 0.5, 1.0},
      {F0R_PARAM_BOOL, 0.4999, 0.0},          {F0R_PARAM_BOOL, 0.9, 1.0},
      {F0R_PARAM_BOOL, 2.0, 1.0},             {F0R_PARAM_BOOL, -1.0, 0.0},
      {F0R_PARAM_BOOL, nan, 0.0},
  };
  for (const Case& c : cases) {
    const int index = firstOfType(plugin(), c.type);
    if (index < 0) continue;
    instance.set(index, c.given);
    EXPECT_EQ(instance.get(index), c.readBack) << "type " << c.type << " given " << c.given;
  }
  const int amount = firstOfType(plugin(), F0R_PARAM_DOUBLE);
  instance.set(amount, nan);
  EXPECT_TRUE(std::isnan(instance.get(amount))) << "NaN is kept; the effects read it as zero";

  // Unknown indices are ignored and leave the others alone.
  instance.set(amount, 0.5);
  instance.set(-1, 0.75);
  instance.set(static_cast<int>(plugin().parameters.size()), 0.75);
  EXPECT_EQ(instance.get(amount), 0.5);
  EXPECT_EQ(instance.get(-1), -1.0) << "the host's value is left as it was";
}

TEST_P(Frei0rHost, AcceptsAnyFrameSizeThatFits) {
  for (unsigned size : {1u, 3u, 17u}) EXPECT_NO_THROW(Frei0rInstance(library(), size, size + 2));
  EXPECT_EQ(library().construct(0, 8), nullptr);
  EXPECT_EQ(library().construct(8, 0), nullptr);
  // More bytes than an int counts, also where the 64-bit product wraps (2^31 x 2^31 x 4).
  for (const unsigned side : {0x10000u, 0x80000000u, 0xFFFFFFFFu})
    EXPECT_EQ(library().construct(side, side), nullptr) << side;
}

// A frame whose every byte takes part: random colour and alpha.
std::vector<uint8_t> frameOf(unsigned width, unsigned height, uint32_t seed) {
  return randomBytes(std::size_t{width} * height * 4, seed);
}

TEST_P(Frei0rHost, BothUpdateCallsInPlaceAndCopied) {
  constexpr unsigned kWidth = 37, kHeight = 11;
  Frei0rInstance instance(library(), kWidth, kHeight);
  for (std::size_t i = 0; i < plugin().parameters.size(); ++i)
    instance.set(static_cast<int>(i), plugin().parameters[i].type == F0R_PARAM_BOOL ? (i % 2 ? 1.0 : 0.0) : plugin().workingAmount);
  const std::vector<uint8_t> input = frameOf(kWidth, kHeight, 3);

  const std::vector<uint8_t> copied = instance.update(input);
  EXPECT_NE(copied, input) << "the effect changes the frame";
  EXPECT_EQ(instance.update2(input, nullptr), copied) << "f0r_update2 without a second input";
  if (plugin().type == F0R_PLUGIN_TYPE_MIXER2) {
    EXPECT_EQ(instance.update2(input, &input), copied) << "one input serves as both";
  }
  EXPECT_EQ(instance.updateInPlace(input), copied) << "input and output in the same memory";

  // Calls without an instance or a frame are ignored.
  std::vector<uint32_t> frame(std::size_t{kWidth} * kHeight, 7u);
  library().update(nullptr, 0.0, frame.data(), frame.data());
  library().update2(nullptr, 0.0, frame.data(), frame.data(), nullptr, frame.data());
  EXPECT_EQ(frame, std::vector<uint32_t>(frame.size(), 7u));
  EXPECT_EQ(instance.update2(input, nullptr), copied) << "still working after ignored calls";
}

TEST_P(Frei0rHost, HandlesThatAreNoLiveInstanceAreIgnored) {
  // A handle after its f0r_destruct (a second f0r_destruct among others), another plug-in's
  // instance, an address inside an instance, the host's own memory, an address where
  // nothing is mapped: every call is ignored, nothing is written, and the plug-in carries
  // on. (In a child process, so that a crash fails this test alone.)
  constexpr unsigned kWidth = 40, kHeight = 30;
  const char* otherName = GetParam() == "qov_mlaa" ? "qov_setmatte" : "qov_mlaa";
  auto child = [&] {
    const Frei0rLibrary& plugin = library();
    const Frei0rLibrary& other = frei0rLibrary(otherName);
    f0r_instance_t live = plugin.construct(kWidth, kHeight);
    f0r_instance_t foreign = other.construct(kWidth, kHeight);
    f0r_instance_t gone = plugin.construct(kWidth, kHeight);
    if (live == nullptr || foreign == nullptr || gone == nullptr) std::_Exit(2);
    plugin.destruct(gone);
    alignas(16) uint8_t hostMemory[1024] = {};
    f0r_instance_t unmapped = reinterpret_cast<f0r_instance_t>(std::uintptr_t{0x1000});
    const f0r_instance_t handles[] = {gone, foreign, static_cast<uint8_t*>(live) + 16, hostMemory, unmapped};
    std::vector<uint32_t> frame(std::size_t{kWidth} * kHeight, 7u), output(frame.size(), 9u);
    double value = 0.25;
    for (f0r_instance_t handle : handles) {
      plugin.setParamValue(handle, &value, 0);
      plugin.getParamValue(handle, &value, 0);
      plugin.update(handle, 0.0, frame.data(), output.data());
      plugin.update2(handle, 0.0, frame.data(), frame.data(), nullptr, output.data());
      plugin.destruct(handle);
    }
    if (value != 0.25 || output != std::vector<uint32_t>(frame.size(), 9u)) std::_Exit(3);
    for (uint8_t byte : hostMemory)
      if (byte != 0) std::_Exit(4);
    plugin.update(live, 0.0, frame.data(), output.data());
    plugin.destruct(live);
    other.destruct(foreign);
    std::_Exit(0);
  };
  EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "^$");
}

TEST_P(Frei0rHost, InstancesOnSeparateThreadsDoNotMeet) {
  constexpr int kThreads = 4;
  constexpr int kFrames = 6;
  struct Stream {
    unsigned width, height;
    std::vector<std::vector<uint8_t>> inputs, outputs, expected;
  };
  std::vector<Stream> streams(kThreads);
  auto configure = [&](const Frei0rInstance& instance, int stream) {
    for (std::size_t i = 0; i < plugin().parameters.size(); ++i)
      instance.set(static_cast<int>(i), plugin().parameters[i].type == F0R_PARAM_BOOL ? ((i + stream) % 2) : plugin().workingAmount * (1.0 - 0.1 * stream));
  };
  for (int s = 0; s < kThreads; ++s) {
    Stream& stream = streams[s];
    stream.width = 64 + 8 * s;
    stream.height = 24 + s;
    Frei0rInstance instance(library(), stream.width, stream.height);
    configure(instance, s);
    for (int f = 0; f < kFrames; ++f) {
      stream.inputs.push_back(frameOf(stream.width, stream.height, 1000 * s + f));
      stream.expected.push_back(instance.update(stream.inputs.back()));
    }
  }
  std::vector<std::thread> threads;
  for (int s = 0; s < kThreads; ++s)
    threads.emplace_back([&, s] {
      Stream& stream = streams[s];
      Frei0rInstance instance(library(), stream.width, stream.height);
      configure(instance, s);
      for (const auto& input : stream.inputs) stream.outputs.push_back(instance.update(input));
    });
  for (std::thread& thread : threads) thread.join();
  for (int s = 0; s < kThreads; ++s) EXPECT_EQ(streams[s].outputs, streams[s].expected) << "stream " << s;
}

INSTANTIATE_TEST_SUITE_P(All, Frei0rHost, ::testing::Values("qov_mlaa", "qov_setmatte", "qov_misetmatte"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace qov::test
