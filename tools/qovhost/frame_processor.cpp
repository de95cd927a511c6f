// Handing frames to a plug-in instance by the three frame calls.
#include "tools/qovhost/frame_processor.h"

#include <cstring>
#include <optional>

#include "tools/qovhost/command_error.h"
#include "tools/qovhost/instance_memory.h"

namespace qov::qovhost {
namespace {

constexpr uint32_t kBits24 = 24;
constexpr uint32_t kBits32 = 32;

uint32_t depthCode(uint32_t bitDepth) { return bitDepth == kBits24 ? FF_DEPTH_24 : FF_DEPTH_32; }

constexpr uint64_t kMebibyte = uint64_t{1} << 20;

std::string depthName(uint32_t bitDepth) { return std::to_string(bitDepth) + "-bit frames"; }

// Why the plug-in refused the format, in a sentence a user can act on: the depth it does
// not take at any size (and the other one, if it takes that), or the memory it could not
// get for this size.
std::string refusal(const host::PluginLibrary& library, uint32_t width, uint32_t height, uint32_t bitDepth) {
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  const uint32_t other = bitDepth == kBits24 ? kBits32 : kBits24;
  if (!takesDepthAtSmallSize(library, depthCode(bitDepth))) {
    std::string text = library.name() + " refuses " + depthName(bitDepth) + " (instantiate failed)";
    if (takesDepthAtSmallSize(library, depthCode(other))) text += "; try --depth " + std::to_string(other);
    return text;
  }
  std::string text = library.name() + " could not get the memory it needs for " + depthName(bitDepth) + " of " + size +
                     " (";
  const std::optional<uint64_t> bytes = instanceHeapBytes(library, width, height, depthCode(bitDepth));
  if (bytes) text += "about " + std::to_string((*bytes + kMebibyte - 1) / kMebibyte) + " MiB; ";
  return text + "it takes smaller frames)";
}

host::PluginInstance instantiate(const host::PluginLibrary& library, uint32_t width, uint32_t height,
                                 uint32_t bitDepth) {
  if (bitDepth != kBits24 && bitDepth != kBits32)
    throw CommandError("unsupported depth " + std::to_string(bitDepth) + " (24 or 32)");
  try {
    return host::PluginInstance(library, width, height, depthCode(bitDepth));
  } catch (const host::InstantiateError&) {
    throw CommandError(refusal(library, width, height, bitDepth));
  }
}

}  // namespace

const std::vector<std::string>& callModeNames() {
  static const std::vector<std::string> names = {"frame", "copy", "multi"};
  return names;
}

CallMode parseCallMode(const std::string& name) {
  if (name == "copy") return CallMode::kCopy;
  if (name == "multi") return CallMode::kMulti;
  if (name == "frame") return CallMode::kFrame;
  throw CommandError("unknown call \"" + name + "\" (frame, copy or multi)");
}

const char* callName(CallMode mode) {
  switch (mode) {
    case CallMode::kCopy:
      return "processFrameCopy";
    case CallMode::kMulti:
      return "processFrameMulti";
    case CallMode::kFrame:
      break;
  }
  return "processFrame";
}

FrameProcessor::FrameProcessor(const host::PluginLibrary& library, uint32_t width, uint32_t height,
                               uint32_t bitDepth, CallMode mode)
    : library_(library), mode_(mode), instance_(instantiate(library, width, height, bitDepth)) {}

void FrameProcessor::prepare(const std::vector<const uint8_t*>& inputs, uint8_t* output) {
  if (inputs.empty() || inputs.size() > kMaxSlots || (inputs.size() > 1 && mode_ != CallMode::kMulti))
    throw CommandError(std::string("more than one input needs processFrameMulti (--call multi)"));
  output_ = output;
  const std::size_t bytes = frameBytes();
  if (mode_ == CallMode::kFrame) {
    std::memcpy(output, inputs[0], bytes);
    return;
  }
  std::memset(output, 0, bytes);
  if (mode_ == CallMode::kCopy) {
    copyInputs_.assign(1, const_cast<uint8_t*>(inputs[0]));
    return;
  }
  const VideoInfo& video = instance_.videoInfo();
  frameSet_.assign(video.frameWidth, video.frameHeight, bytesPerPixel(), inputs, output);
}

void FrameProcessor::call() {
  FFMixed result;
  switch (mode_) {
    case CallMode::kCopy:
      result = instance_.processFrameCopy(copyInputs_, output_);
      break;
    case CallMode::kMulti:
      result = instance_.processFrameMulti(frameSet_.get());
      break;
    case CallMode::kFrame:
    default:
      result = instance_.processFrame(output_);
      break;
  }
  if (host::failed(result))
    throw CommandError(library_.name() + " could not process the frame (" + callName(mode_) + " failed)");
}

}  // namespace qov::qovhost
