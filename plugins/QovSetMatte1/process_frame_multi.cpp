// The single-input matte effect's part of processFrameMulti.
#include "framework/instance.h"
#include "framework/plugin_definition.h"

namespace qov {

int effectProcessFrameMulti(PlugObj& /*obj*/) {
  // The matte rule is not wired in yet: the frame set's output keeps its prepared content.
  return 0;
}

}  // namespace qov
