// A plug-in of the tests' own, linked with the framework: its effect mirrors each row
// (output pixel x is input pixel width - 1 - x, so writing in place would overwrite pixels
// it has yet to read) and remembers the frame set it was last handed.
#include "tests/host_interface/mirror_plugin.h"

#include <cstring>
#include <new>

#include "framework/plugin_definition.h"

namespace qov {
namespace {

class MirrorEffect final : public PluginEffect {
 public:
  int processFrameMulti(const FrameCall& call) override {
    test::lastFrameSet = &call.frameSet;
    const ImageSlot& input = *call.frameSet.inputs[0];
    uint8_t* output = call.frameSet.outputs[0]->data;
    const std::size_t width = call.width, channels = input.channels;
    for (std::size_t y = 0; y < call.height; ++y)
      for (std::size_t x = 0; x < width; ++x)
        std::memcpy(output + (y * width + x) * channels, input.data + (y * width + width - 1 - x) * channels,
                    channels);
    return 0;
  }
};

PluginEffect* createMirrorEffect(const VideoInfo& /*videoInfo*/) { return new (std::nothrow) MirrorEffect; }

}  // namespace

const PluginDefinition kPluginDefinition = {
    {kApiMajorVersion, kApiMinorVersion, {'t', 's', 't', '1'}, "MirrorTest", FF_EFFECT},
    {1, 0, "Mirrors every row", "test effect", 0, nullptr},
    nullptr,
    0,
    {false, false, false},
    createMirrorEffect,
};

namespace test {

const Qov_Multi* lastFrameSet = nullptr;

FFMixed call(uint32_t code, const void* argument, FFInstanceID id) {
  FFMixed value;
  value.pointerValue = const_cast<void*>(argument);
  return plugMain(code, value, id);
}

}  // namespace test
}  // namespace qov
