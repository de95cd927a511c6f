// One plug-in instance and the way frames reach it: processFrame (in place),
// processFrameCopy (into a separate output frame) or processFrameMulti (a frame set of
// one or two inputs and one output, function code 16).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/boundary.h"
#include "host/frame_set.h"
#include "host/plugin_instance.h"
#include "host/plugin_library.h"

namespace qov::qovhost {

enum class CallMode { kFrame, kCopy, kMulti };

// "frame", "copy", "multi".
const std::vector<std::string>& callModeNames();
CallMode parseCallMode(const std::string& name);
// The plug-in call a mode uses, for messages ("processFrame").
const char* callName(CallMode mode);

class FrameProcessor {
 public:
  // `bitDepth` is 24 or 32. Throws CommandError when the plug-in refuses the format.
  FrameProcessor(const host::PluginLibrary& library, uint32_t width, uint32_t height, uint32_t bitDepth,
                 CallMode mode);
  FrameProcessor(const FrameProcessor&) = delete;
  FrameProcessor& operator=(const FrameProcessor&) = delete;

  const host::PluginInstance& instance() const { return instance_; }
  std::size_t frameBytes() const { return instance_.frameBytes(); }
  uint32_t bytesPerPixel() const { return instance_.bytesPerPixel(); }
  CallMode mode() const { return mode_; }

  // Puts the inputs and `output` (frameBytes() each) in place for call(): the first input
  // is copied into `output` for processFrame, which works in place; a separate output
  // starts black. More than one input needs kMulti.
  void prepare(const std::vector<const uint8_t*>& inputs, uint8_t* output);
  // The plug-in call itself. Throws CommandError when the plug-in reports a failure.
  void call();
  void process(const std::vector<const uint8_t*>& inputs, uint8_t* output) {
    prepare(inputs, output);
    call();
  }

 private:
  // The frame set for code 16 stays alive as long as the instance that may point at it,
  // so it is declared first and released last.
  host::FrameSet frameSet_;
  std::vector<void*> copyInputs_;
  uint8_t* output_ = nullptr;
  const host::PluginLibrary& library_;
  CallMode mode_;
  host::PluginInstance instance_;
};

}  // namespace qov::qovhost
