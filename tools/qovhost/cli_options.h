// Options several subcommands share (--depth, --call, --set, --preset, --size), with their help
// texts and checks, so that every subcommand spells them the same way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace qov::qovhost {

inline constexpr uint32_t kDefaultDepth = 32;
inline constexpr uint32_t kDepth24 = 24;
inline constexpr uint32_t kMaxFrameSide = 16384;

struct FrameSize {
  uint32_t width = 0;
  uint32_t height = 0;
};

// "WxH" with both sides from 1 to kMaxFrameSide; false for anything else.
bool parseFrameSize(const std::string& text, FrameSize& size);

CLI::Option* addDepthOption(CLI::App& command, uint32_t& depth);
CLI::Option* addCallOption(CLI::App& command, std::string& call);
CLI::Option* addSetOption(CLI::App& command, std::vector<std::string>& settings);
CLI::Option* addPresetOption(CLI::App& command, std::string& preset);
CLI::Option* addSizeOption(CLI::App& command, std::string& size, const std::string& help);
CLI::Option* addPluginArgument(CLI::App& command, std::string& plugin);

}  // namespace qov::qovhost
