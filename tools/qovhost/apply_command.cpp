// qovhost apply PLUGIN INPUT.png OUTPUT.png: one frame through a plug-in.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <memory>

#include "tools/qovhost/cli_options.h"
#include "tools/qovhost/command_error.h"
#include "tools/qovhost/commands.h"
#include "tools/qovhost/frame_conversion.h"
#include "tools/qovhost/frame_processor.h"
#include "tools/qovhost/output_file.h"
#include "tools/qovhost/parameter_settings.h"
#include "tools/qovhost/plugin_behaviour.h"
#include "tools/qovhost/plugin_locator.h"
#include "tools/qovhost/png_io.h"

namespace qov::qovhost {
namespace {

constexpr uint32_t kCodeMaximumInputs = 11;

struct ApplyOptions {
  std::string plugin;
  std::string input;
  std::string output;
  std::string second;
  std::string preset;
  std::vector<std::string> settings;
  uint32_t depth = kDefaultDepth;
  std::string call;
  bool callGiven = false;
};

constexpr const char* kPngExtension = ".png";

bool hasPngExtension(const std::string& path) {
  const std::string extension = kPngExtension;
  if (path.size() <= extension.size()) return false;
  return std::equal(extension.begin(), extension.end(), path.end() - static_cast<std::ptrdiff_t>(extension.size()),
                    [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

void apply(const ApplyOptions& options) {
  // A device, a pipe or an open descriptor takes the PNG bytes whatever its name; a file is
  // named for them.
  if (!hasPngExtension(options.output) && !isWrittenDirectly(options.output))
    throw CommandError("the output file name must end in .png, not \"" + options.output +
                       "\": qovhost writes PNG pictures only");
  const host::PluginLibrary library = openPlugin(options.plugin);
  const std::vector<ParameterSetting> settings = parseSettings(library, options.preset, options.settings);
  const bool twoInputs = !options.second.empty();
  CallMode mode = parseCallMode(options.call);
  if (twoInputs && !options.callGiven) mode = CallMode::kMulti;
  if (twoInputs && mode != CallMode::kMulti)
    throw CommandError("--second needs --call multi: a second input reaches a plug-in only through "
                       "processFrameMulti");
  if (twoInputs && !readsSecondInput(library))
    throw CommandError(library.name() + " takes one input (it declares at most " +
                       std::to_string(library.capability(kCodeMaximumInputs)) +
                       " and a second one does not change its output): leave out --second");

  const RgbaImage input = readPng(options.input);
  RgbaImage second;
  if (twoInputs) {
    second = readPng(options.second);
    if (second.width != input.width || second.height != input.height)
      throw CommandError(options.second + " is " + std::to_string(second.width) + "x" +
                         std::to_string(second.height) + " but " + options.input + " is " +
                         std::to_string(input.width) + "x" + std::to_string(input.height) +
                         "; both inputs must have the same size");
  }

  FrameProcessor processor(library, input.width, input.height, options.depth, mode);
  applySettings(processor.instance(), settings);
  const uint32_t bytesPerPixel = processor.bytesPerPixel();
  const std::vector<uint8_t> inputFrame = toFrame(input, bytesPerPixel);
  std::vector<uint8_t> secondFrame;
  std::vector<const uint8_t*> inputs = {inputFrame.data()};
  if (twoInputs) {
    secondFrame = toFrame(second, bytesPerPixel);
    inputs.push_back(secondFrame.data());
  }
  std::vector<uint8_t> outputFrame(processor.frameBytes());
  processor.process(inputs, outputFrame.data());
  if (options.depth == kDepth24) warnWhen24BitFramesPassUnchanged(library, settings, mode, inputs.size());
  writePng(options.output, fromFrame(outputFrame.data(), input.width, input.height, bytesPerPixel),
           bytesPerPixel == kBytesPerPixel32 ? PngChannels::kRgba : PngChannels::kRgb);
}

}  // namespace

void addApplyCommand(CLI::App& app) {
  auto options = std::make_shared<ApplyOptions>();
  CLI::App* command = app.add_subcommand("apply", "Run one picture through a plug-in and save the result");
  addPluginArgument(*command, options->plugin);
  command->add_option("INPUT", options->input, "Input picture (PNG of any colour type and bit depth)")->required();
  command->add_option("OUTPUT", options->output, "Output picture (PNG: RGBA at 32 bits, RGB at 24)")->required();
  addPresetOption(*command, options->preset);
  addSetOption(*command, options->settings);
  addDepthOption(*command, options->depth);
  CLI::Option* call = addCallOption(*command, options->call);
  command->add_option("--second", options->second,
                      "A second input picture of the same size, for two-input plug-ins (implies --call multi)");
  command->callback([options, call] {
    options->callGiven = call->count() > 0;
    apply(*options);
  });
}

}  // namespace qov::qovhost
