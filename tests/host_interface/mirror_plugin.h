// The tests' own plug-in, linked with the framework into the test program: its effect
// mirrors each row and cannot work in place.
#pragma once

#include <cstdint>

#include "framework/boundary.h"

namespace qov::test {

// The frame set the effect was handed by the last frame call that reached it.
extern const Qov_Multi* lastFrameSet;

// plugMain with a pointer argument.
FFMixed call(uint32_t code, const void* argument, FFInstanceID id);

}  // namespace qov::test
