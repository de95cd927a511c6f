// What a plug-in does with frames, found out by running a small test frame through it
// rather than from its name: whether a second input changes its output, and whether it
// does nothing to 24-bit frames. qovhost uses the answers to refuse or warn about
// options that would be silently ignored.
#pragma once

#include <cstddef>
#include <vector>

#include "host/plugin_library.h"
#include "tools/qovhost/frame_processor.h"
#include "tools/qovhost/parameter_settings.h"

namespace qov::qovhost {

// True when the plug-in declares more than one input (capability code 11), or when the
// second input of a frame set changes its output with some test setting. Also true when
// the plug-in refuses the test frame: the real frame will then say why.
bool readsSecondInput(const host::PluginLibrary& library);

// Warns (one line) when the plug-in, through this call, does nothing to the 24-bit test
// frame with every test setting (`settings` among them) but changes the same picture at
// 32 bits with some. `inputs` is 1 or 2.
void warnWhen24BitFramesPassUnchanged(const host::PluginLibrary& library, const std::vector<ParameterSetting>& settings,
                                      CallMode mode, std::size_t inputs);

}  // namespace qov::qovhost
