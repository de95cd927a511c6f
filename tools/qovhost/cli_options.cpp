// The shared options.
#include "tools/qovhost/cli_options.h"

#include <CLI/CLI.hpp>

#include <charconv>

#include "tools/qovhost/frame_processor.h"

namespace qov::qovhost {
namespace {

bool parseSide(const char* first, const char* last, uint32_t& side) {
  const auto result = std::from_chars(first, last, side);
  return result.ec == std::errc() && result.ptr == last && side >= 1 && side <= kMaxFrameSide;
}

}  // namespace

bool parseFrameSize(const std::string& text, FrameSize& size) {
  const std::size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  return parseSide(text.data(), text.data() + x, size.width) &&
         parseSide(text.data() + x + 1, text.data() + text.size(), size.height);
}

CLI::Option* addDepthOption(CLI::App& command, uint32_t& depth) {
  depth = kDefaultDepth;
  return command.add_option("--depth", depth, "Bits per pixel of the frames: 32 (blue, green, red, alpha) or 24")
      ->check(CLI::IsMember({24u, 32u}))
      ->capture_default_str();
}

CLI::Option* addCallOption(CLI::App& command, std::string& call) {
  call = callModeNames().front();
  return command
      .add_option("--call", call,
                  "How frames reach the plug-in: frame (processFrame, in place), copy (processFrameCopy, "
                  "into a separate output) or multi (processFrameMulti, function code 16)")
      ->check(CLI::IsMember(callModeNames()))
      ->capture_default_str();
}

CLI::Option* addSetOption(CLI::App& command, std::vector<std::string>& settings) {
  return command
      .add_option("-s,--set", settings,
                  "Set a parameter: NAME=VALUE, NAME in any letter case or a parameter index, VALUE a number "
                  "(the plug-ins clamp it to 0..1; switches are on above 0.5) or, for a switch, yes/no, y/n, "
                  "on/off or true/false; may be repeated")
      ->type_name("NAME=VALUE")
      ->allow_extra_args(false);
}

CLI::Option* addPresetOption(CLI::App& command, std::string& preset) {
  return command
      .add_option("-p,--preset", preset,
                  "Start from a named preset of the matte plug-ins (luma-key, inverse-luma-key, alpha-from-red, "
                  "threshold-red, ...; qovhost info PLUGIN lists them); a --set then changes single parameters")
      ->type_name("NAME");
}

CLI::Option* addSizeOption(CLI::App& command, std::string& size, const std::string& help) {
  return command.add_option("--size", size, help)
      ->type_name("WxH")
      ->check(CLI::Validator(
          [](std::string& text) {
            FrameSize parsed;
            return parseFrameSize(text, parsed)
                       ? std::string()
                       : "expected WIDTHxHEIGHT with sides from 1 to " + std::to_string(kMaxFrameSide) +
                             ", not \"" + text + "\"";
          },
          "", "frame size"));
}

CLI::Option* addPluginArgument(CLI::App& command, std::string& plugin) {
  return command
      .add_option("PLUGIN", plugin,
                  "The plug-in: a plug-in name in any letter case (QovMLAA1), looked up in ../lib/freeframe "
                  "next to qovhost (/usr/lib/freeframe when installed) or else beside qovhost, or the path of a "
                  "library file (./MyEffect.so)")
      ->required();
}

}  // namespace qov::qovhost
