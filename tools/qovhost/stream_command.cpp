// qovhost stream PLUGIN --size WxH: raw frames from standard input through the plug-in
// to standard output, for video pipelines.
#include <CLI/CLI.hpp>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>

#include "tools/qovhost/cli_options.h"
#include "tools/qovhost/command_error.h"
#include "tools/qovhost/commands.h"
#include "tools/qovhost/frame_processor.h"
#include "tools/qovhost/parameter_settings.h"
#include "tools/qovhost/plugin_behaviour.h"
#include "tools/qovhost/plugin_locator.h"
#include "tools/qovhost/progress_line.h"

namespace qov::qovhost {
namespace {

constexpr std::size_t kMostSuggestedSizes = 3;

struct StreamOptions {
  std::string plugin;
  std::string size;
  std::string preset;
  std::vector<std::string> settings;
  uint32_t depth = kDefaultDepth;
  std::string call;
  bool progress = false;
};

// Reads until `size` bytes or the end of the input; returns how many arrived.
std::size_t readFully(int fd, uint8_t* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(fd, buffer + done, size - done);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      throw CommandError(std::string("cannot read standard input: ") + std::strerror(errno));
    }
    done += static_cast<std::size_t>(got);
  }
  return done;
}

void writeFully(int fd, const uint8_t* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t put = ::write(fd, buffer + done, size - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      throw CommandError(std::string("cannot write standard output: ") + std::strerror(errno));
    }
    done += static_cast<std::size_t>(put);
  }
}

// Frame sizes that video commonly comes in, to suggest when the input is not a whole number
// of frames of the size given.
constexpr FrameSize kCommonSizes[] = {{320, 240},  {640, 360},  {640, 480},   {720, 480},   {720, 576},
                                      {960, 540},  {1024, 576}, {1280, 720},  {1440, 1080}, {1920, 1080},
                                      {2048, 1080}, {2560, 1440}, {3840, 2160}, {4096, 2160}};

// What to do about an input of `total` bytes that is no whole number of frames of `size`:
// check --size, and the sizes that would divide the input into whole frames, if any.
std::string sizeAdvice(uint64_t total, const FrameSize& size, uint32_t bytesPerPixel) {
  const uint64_t given = uint64_t{size.width} * size.height * bytesPerPixel;
  // The common sizes first, those nearest to the size given (in pixels) ahead.
  std::vector<FrameSize> candidates;
  for (const FrameSize& common : kCommonSizes)
    if (total % (uint64_t{common.width} * common.height * bytesPerPixel) == 0) candidates.push_back(common);
  const auto farness = [&](const FrameSize& candidate) {
    const double ratio = static_cast<double>(uint64_t{candidate.width} * candidate.height * bytesPerPixel) /
                         static_cast<double>(given);
    return ratio >= 1.0 ? ratio : 1.0 / ratio;
  };
  std::stable_sort(candidates.begin(), candidates.end(),
                   [&](const FrameSize& a, const FrameSize& b) { return farness(a) < farness(b); });
  // Then about as many frames as arrived, of the given width or of the given height.
  const uint64_t frames = std::max<uint64_t>(1, (total + given / 2) / given);
  const uint64_t perFrame = total / frames;
  if (total % frames == 0 && perFrame % bytesPerPixel == 0) {
    const uint64_t pixels = perFrame / bytesPerPixel;
    if (pixels % size.height == 0 && pixels / size.height <= kMaxFrameSide)
      candidates.push_back({static_cast<uint32_t>(pixels / size.height), size.height});
    if (pixels % size.width == 0 && pixels / size.width <= kMaxFrameSide)
      candidates.push_back({size.width, static_cast<uint32_t>(pixels / size.width)});
  }
  std::string advice = "is --size the clip's own (ffprobe shows it)?";
  std::string sizes;
  std::size_t named = 0;
  for (const FrameSize& candidate : candidates) {
    const std::string text = std::to_string(candidate.width) + "x" + std::to_string(candidate.height);
    if ((candidate.width == size.width && candidate.height == size.height) || sizes.find(text) != std::string::npos)
      continue;
    const uint64_t count = total / (uint64_t{candidate.width} * candidate.height * bytesPerPixel);
    sizes += (sizes.empty() ? "" : ", ") + text + " (" + std::to_string(count) + (count == 1 ? " frame)" : " frames)");
    if (++named == kMostSuggestedSizes) break;
  }
  if (!sizes.empty()) advice += " The " + std::to_string(total) + " bytes that arrived are whole frames of " + sizes;
  return advice;
}

void stream(const StreamOptions& options) {
  const host::PluginLibrary library = openPlugin(options.plugin);
  const std::vector<ParameterSetting> settings = parseSettings(library, options.preset, options.settings);
  FrameSize size;
  parseFrameSize(options.size, size);
  if (::isatty(STDIN_FILENO))
    throw CommandError("stream reads raw frames from standard input: pipe them in (see qovhost stream --help)");
  if (::isatty(STDOUT_FILENO))
    throw CommandError("stream writes raw frames to standard output: pipe them on or redirect them to a file");

  const CallMode mode = parseCallMode(options.call);
  FrameProcessor processor(library, size.width, size.height, options.depth, mode);
  if (options.depth == kDepth24) warnWhen24BitFramesPassUnchanged(library, settings, mode, 1);
  applySettings(processor.instance(), settings);
  const std::size_t frameBytes = processor.frameBytes();
  std::vector<uint8_t> input(frameBytes);
  std::vector<uint8_t> output(frameBytes);
  // A reader that goes away should end up as an error message, not as a silent signal.
  std::signal(SIGPIPE, SIG_IGN);
  ProgressLine progress(options.progress || ::isatty(STDERR_FILENO));
  const std::string frameSizeText = "frames of " + options.size + " at " + std::to_string(options.depth) +
                                    " bits are " + std::to_string(frameBytes) + " bytes each";
  uint64_t frame = 1;
  std::size_t got = 0;  // bytes of the frame that did not arrive whole
  try {
    for (;; ++frame) {
      got = readFully(STDIN_FILENO, input.data(), frameBytes);
      if (got < frameBytes) break;
      processor.process({input.data()}, output.data());
      writeFully(STDOUT_FILENO, output.data(), frameBytes);
      progress.frameDone();
    }
  } catch (const CommandError& error) {
    // The error goes on a line of its own, under the progress so far.
    progress.finish();
    throw CommandError("frame " + std::to_string(frame) + ": " + error.what());
  }
  progress.finish();
  if (got > 0) {
    const uint64_t total = (frame - 1) * frameBytes + got;
    throw CommandError("standard input ended inside frame " + std::to_string(frame) + ": " + std::to_string(got) +
                       " of " + std::to_string(frameBytes) + " bytes (" + frameSizeText + "); " +
                       sizeAdvice(total, size, processor.bytesPerPixel()));
  }
  if (frame == 1) throw CommandError("no frame arrived on standard input (" + frameSizeText + ")");
}

}  // namespace

void addStreamCommand(CLI::App& app) {
  auto options = std::make_shared<StreamOptions>();
  CLI::App* command = app.add_subcommand(
      "stream", "Raw frames on standard input through a plug-in to raw frames on standard output, for video pipelines");
  command->footer(
      "Example (the size must be the clip's own; with --depth 24, -pix_fmt bgr24 on both sides):\n"
      "  ffmpeg -i in.mp4 -f rawvideo -pix_fmt bgra - |\n"
      "  qovhost stream QovMLAA1 --size 1280x720 |\n"
      "  ffmpeg -f rawvideo -pix_fmt bgra -s 1280x720 -i - -pix_fmt yuv420p out.mp4\n"
      "(-pix_fmt yuv420p makes H.264 that browsers and most players play; without it ffmpeg keeps\n"
      "the colour at full resolution, yuv444p, which many cannot.)");
  addPluginArgument(*command, options->plugin);
  addSizeOption(*command, options->size, "Frame size of the raw video")->required();
  addPresetOption(*command, options->preset);
  addSetOption(*command, options->settings);
  addDepthOption(*command, options->depth);
  addCallOption(*command, options->call);
  command->add_flag("--progress", options->progress,
                    "Report frames and frames per second on standard error (on by default when it is a terminal)");
  command->callback([options] { stream(*options); });
}

}  // namespace qov::qovhost
