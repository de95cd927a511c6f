// qovhost bench PLUGIN [INPUT.png]: how long one frame call takes.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

#include "tools/qovhost/cli_options.h"
#include "tools/qovhost/command_error.h"
#include "tools/qovhost/commands.h"
#include "tools/qovhost/frame_conversion.h"
#include "tools/qovhost/frame_processor.h"
#include "tools/qovhost/parameter_settings.h"
#include "tools/qovhost/plugin_behaviour.h"
#include "tools/qovhost/plugin_locator.h"
#include "tools/qovhost/png_io.h"
#include "tools/qovhost/scene.h"
#include "tools/qovhost/timing.h"

namespace qov::qovhost {
namespace {

constexpr uint32_t kDefaultFrames = 100;
constexpr uint32_t kMaxFrames = 1000000;
// Frames run before timing starts: first-touch page faults, thread start-up, caches.
constexpr uint32_t kWarmUpFrames = 3;

struct BenchOptions {
  std::string plugin;
  std::string input;
  std::string size;
  std::string preset;
  std::vector<std::string> settings;
  uint32_t depth = kDefaultDepth;
  std::string call;
  uint32_t frames = kDefaultFrames;
};

void bench(const BenchOptions& options) {
  const host::PluginLibrary library = openPlugin(options.plugin);
  const std::vector<ParameterSetting> settings = parseSettings(library, options.preset, options.settings);
  RgbaImage picture;
  std::string source;
  if (!options.input.empty()) {
    if (!options.size.empty())
      throw CommandError("--size does not go with an input picture: the frame size comes from " + options.input);
    picture = readPng(options.input);
    source = options.input;
  } else {
    FrameSize size{kSceneWidth, kSceneHeight};
    if (!options.size.empty()) parseFrameSize(options.size, size);
    picture = aliasedScene(size.width, size.height);
    source = "the bundled scene";
  }

  const CallMode mode = parseCallMode(options.call);
  FrameProcessor processor(library, picture.width, picture.height, options.depth, mode);
  if (options.depth == kDepth24) warnWhen24BitFramesPassUnchanged(library, settings, mode, 1);
  applySettings(processor.instance(), settings);
  const std::vector<uint8_t> input = toFrame(picture, processor.bytesPerPixel());
  std::vector<uint8_t> output(processor.frameBytes());
  for (uint32_t i = 0; i < kWarmUpFrames; ++i) processor.process({input.data()}, output.data());
  std::vector<double> seconds;
  seconds.reserve(options.frames);
  for (uint32_t i = 0; i < options.frames; ++i) {
    processor.prepare({input.data()}, output.data());
    const Clock::time_point start = Clock::now();
    processor.call();
    seconds.push_back(secondsSince(start));
  }

  const TimingSummary summary = summarize(seconds);
  std::printf("%s (%s): %ux%u frames at %u bits from %s, %s, %zu frames after %u warm-up frames\n",
              library.name().c_str(), library.path().c_str(), picture.width, picture.height, options.depth,
              source.c_str(), callName(mode), summary.frames, kWarmUpFrames);
  std::printf("  time per frame     median %s    5th percentile %s    95th percentile %s\n",
              formatDuration(summary.median).c_str(), formatDuration(summary.percentile5).c_str(),
              formatDuration(summary.percentile95).c_str());
  std::printf("  frames per second  %.1f (from the median), %.1f (over all timed frames)\n", 1.0 / summary.median,
              static_cast<double>(summary.frames) / summary.total);
}

}  // namespace

void addBenchCommand(CLI::App& app) {
  auto options = std::make_shared<BenchOptions>();
  CLI::App* command = app.add_subcommand(
      "bench", "Time a plug-in's frame call: median, 5th and 95th percentile per frame, and frames per second");
  addPluginArgument(*command, options->plugin);
  command->add_option("INPUT", options->input, "Picture to process (PNG); default: the bundled scene");
  addSizeOption(*command, options->size, "Frame size of the bundled scene (default 1280x720)");
  addPresetOption(*command, options->preset);
  addSetOption(*command, options->settings);
  addDepthOption(*command, options->depth);
  addCallOption(*command, options->call);
  command->add_option("--frames", options->frames, "Number of timed frames")
      ->check(CLI::Range(1u, kMaxFrames))
      ->capture_default_str();
  command->callback([options] { bench(*options); });
}

}  // namespace qov::qovhost
