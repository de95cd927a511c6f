// qovhost demo [OUTDIR]: the antialiasing plug-in on the bundled scene, measured against
// the scene's supersampled ground truth, with pictures to look at.
#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "tools/qovhost/command_error.h"
#include "tools/qovhost/commands.h"
#include "tools/qovhost/comparison.h"
#include "tools/qovhost/frame_conversion.h"
#include "tools/qovhost/frame_processor.h"
#include "tools/qovhost/parameter_settings.h"
#include "tools/qovhost/plugin_locator.h"
#include "tools/qovhost/png_io.h"
#include "tools/qovhost/psnr.h"
#include "tools/qovhost/scene.h"
#include "tools/qovhost/timing.h"

namespace qov::qovhost {
namespace {

constexpr const char* kDefaultPlugin = "QovMLAA1";
constexpr const char* kDefaultDirectory = "qov-demo";
constexpr const char* kVisualizeSetting = "Visualize=1";
constexpr const char* kThinLinesSetting = "Thin Lines=1";
constexpr uint32_t kDefaultFrames = 20;
constexpr uint32_t kMaxFrames = 10000;
constexpr uint32_t kDepth = 32;

struct DemoOptions {
  std::string directory = kDefaultDirectory;
  std::string plugin = kDefaultPlugin;
  uint32_t frames = kDefaultFrames;
};

struct WrittenFile {
  std::string path;
  std::string what;
};

// Runs the frame `frames` times (the first run's result is kept) and summarises the times.
TimingSummary processTimed(FrameProcessor& processor, const std::vector<uint8_t>& input, std::vector<uint8_t>& output,
                           uint32_t frames) {
  std::vector<double> seconds;
  std::vector<uint8_t> scratch(output.size());
  for (uint32_t i = 0; i < frames; ++i) {
    uint8_t* target = i == 0 ? output.data() : scratch.data();
    processor.prepare({input.data()}, target);
    const Clock::time_point start = Clock::now();
    processor.call();
    seconds.push_back(secondsSince(start));
  }
  return summarize(seconds);
}

// The same frame with one switch on (`setting`, "NAME=1"), or nothing when the plug-in
// has no such parameter.
bool processWith(const host::PluginLibrary& library, const char* setting, const std::vector<uint8_t>& input,
                 std::vector<uint8_t>& output) {
  ParameterSetting parsed;
  try {
    parsed = parseSetting(library, setting);
  } catch (const CommandError&) {
    return false;
  }
  FrameProcessor processor(library, kSceneWidth, kSceneHeight, kDepth, CallMode::kFrame);
  applySettings(processor.instance(), {parsed});
  processor.process({input.data()}, output.data());
  return true;
}

void demo(const DemoOptions& options) {
  const host::PluginLibrary library = openPlugin(options.plugin);
  std::error_code error;
  std::filesystem::create_directories(options.directory, error);
  if (error) throw CommandError("cannot create " + options.directory + ": " + error.message());
  const auto outputPath = [&](const char* name) { return (std::filesystem::path(options.directory) / name).string(); };

  const RgbaImage scene = aliasedScene(kSceneWidth, kSceneHeight);
  const RgbaImage truth = groundTruthScene(kSceneWidth, kSceneHeight);
  FrameProcessor processor(library, kSceneWidth, kSceneHeight, kDepth, CallMode::kFrame);
  const std::vector<uint8_t> input = toFrame(scene, kBytesPerPixel32);
  std::vector<uint8_t> outputFrame(input.size());
  const TimingSummary timing = processTimed(processor, input, outputFrame, options.frames);
  const RgbaImage output = fromFrame(outputFrame.data(), kSceneWidth, kSceneHeight, kBytesPerPixel32);
  std::vector<uint8_t> visualizeFrame(input.size());
  const bool visualized = processWith(library, kVisualizeSetting, input, visualizeFrame);
  std::vector<uint8_t> thinLinesFrame(input.size());
  const bool thinLines = processWith(library, kThinLinesSetting, input, thinLinesFrame);

  std::vector<WrittenFile> written = {{outputPath("input.png"), "the aliased scene (1 sample per pixel)"},
                                      {outputPath("ground-truth.png"), "the same scene at 4x4 samples per pixel"},
                                      {outputPath("output.png"), library.name() + "'s result"}};
  writePng(written[0].path, scene, PngChannels::kRgb);
  writePng(written[1].path, truth, PngChannels::kRgb);
  writePng(written[2].path, output, PngChannels::kRgb);
  if (visualized) {
    written.push_back({outputPath("visualize.png"), "the edges " + library.name() + " found (\"Visualize\" on)"});
    writePng(written.back().path, fromFrame(visualizeFrame.data(), kSceneWidth, kSceneHeight, kBytesPerPixel32),
             PngChannels::kRgb);
  }
  written.push_back({outputPath("comparison.png"), "before and after, with enlarged close-ups"});
  writePng(written.back().path, comparisonPicture(scene, output, truth, sceneCloseUps()), PngChannels::kRgb);
  if (thinLines) {
    // Where the method shows its limit: lines one pixel wide, with and without "Thin Lines".
    const RgbaImage thinLinesOutput = fromFrame(thinLinesFrame.data(), kSceneWidth, kSceneHeight, kBytesPerPixel32);
    written.push_back({outputPath("thin-lines.png"), "close-ups of thin lines, with \"Thin Lines\" off and on"});
    writePng(written.back().path,
             closeUpTable({{"BEFORE", &scene}, {"AFTER", &output}, {"THIN LINES ON", &thinLinesOutput},
                           {"GROUND TRUTH", &truth}},
                          thinLineCloseUps()),
             PngChannels::kRgb);
  }

  const double inputPsnr = psnr(scene, truth);
  const double outputPsnr = psnr(output, truth);
  std::printf("qovhost demo: %s (%s) on the bundled %ux%u scene, %u-bit frames, processFrame\n",
              library.name().c_str(), library.path().c_str(), kSceneWidth, kSceneHeight, kDepth);
  std::printf("PSNR against the %ux%u-supersampled ground truth (higher is closer):\n", kGroundTruthSamples,
              kGroundTruthSamples);
  std::printf("  aliased input        %6.2f dB\n", inputPsnr);
  std::printf("  antialiased output   %6.2f dB   (%+.2f dB)\n", outputPsnr, outputPsnr - inputPsnr);
  std::printf("time per frame: %s median over %zu frames (5th percentile %s, 95th %s), %.1f frames/s\n",
              formatDuration(timing.median).c_str(), timing.frames, formatDuration(timing.percentile5).c_str(),
              formatDuration(timing.percentile95).c_str(), 1.0 / timing.median);
  for (std::size_t i = 0; i < written.size(); ++i)
    std::printf("%s %-*s %s\n", i == 0 ? "wrote" : "     ", static_cast<int>(outputPath("ground-truth.png").size()),
                written[i].path.c_str(), written[i].what.c_str());
  if (!(outputPsnr > inputPsnr))
    std::printf("note: the output is not closer to the ground truth than the input; is the effect switched on?\n");
}

}  // namespace

void addDemoCommand(CLI::App& app) {
  auto options = std::make_shared<DemoOptions>();
  CLI::App* command = app.add_subcommand(
      "demo",
      "Antialias the bundled 1280x720 scene with QovMLAA1, compare input and output with the scene's "
      "supersampled ground truth (PSNR), time it, and write the pictures to OUTDIR");
  command->add_option("OUTDIR", options->directory, "Directory for the pictures")->capture_default_str();
  command->add_option("--plugin", options->plugin, "The antialiasing plug-in (a library file or a plug-in name)")
      ->capture_default_str();
  command->add_option("--frames", options->frames, "Number of timed frames")
      ->check(CLI::Range(1u, kMaxFrames))
      ->capture_default_str();
  command->callback([options] { demo(*options); });
}

}  // namespace qov::qovhost
