// qovhost stream PLUGIN --size WxH: raw frames from standard input through the plug-in
// to standard output, for video pipelines.
#include <CLI/CLI.hpp>
#include <unistd.h>

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

struct StreamOptions {
  std::string plugin;
  std::string size;
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

void stream(const StreamOptions& options) {
  const host::PluginLibrary library = openPlugin(options.plugin);
  const std::vector<ParameterSetting> settings = parseSettings(library, options.settings);
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
  if (got > 0)
    throw CommandError("standard input ended inside frame " + std::to_string(frame) + ": " + std::to_string(got) +
                       " of " + std::to_string(frameBytes) + " bytes (" + frameSizeText + ")");
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
      "  ffmpeg -f rawvideo -pix_fmt bgra -s 1280x720 -i - out.mp4");
  addPluginArgument(*command, options->plugin);
  addSizeOption(*command, options->size, "Frame size of the raw video")->required();
  addSetOption(*command, options->settings);
  addDepthOption(*command, options->depth);
  addCallOption(*command, options->call);
  command->add_flag("--progress", options->progress,
                    "Report frames and frames per second on standard error (on by default when it is a terminal)");
  command->callback([options] { stream(*options); });
}

}  // namespace qov::qovhost
