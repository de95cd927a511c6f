// qov_setmatte, the frei0r filter form of QovSetMatte1: each output pixel keeps its colour
// bytes and gets the mask of its own four bytes as alpha.
#include "frei0r/frei0r_api.h"

#include <new>

#include "effects/matte/matte_frame.h"
#include "effects/matte/matte_parameters.h"
#include "frei0r/instance.h"
#include "frei0r/plugin_description.h"
#include "plugins/QovSetMatte1/identity.h"

namespace qov::frei0r {
namespace {

static_assert(setmatte1::kParameterSpecs.size() <= kMaxParameters);

class SetMatteInstance final : public Instance {
 public:
  SetMatteInstance(int width, int height) : Instance(width, height) {}

  void update(const uint8_t* first, const uint8_t* /*second*/, uint8_t* output) override {
    matte::matteFrame(first, first, output, width(), height(), matte::matteSettingsFromParameters(values()),
                      pool());
  }
};

}  // namespace

const PluginDescription kPluginDescription = {
    "Qov Set Matte",
    "Qov team",
    F0R_PLUGIN_TYPE_FILTER,
    setmatte1::kMajorVersion,
    setmatte1::kMinorVersion,
    "Turns the picture into its own transparency mask: the new alpha of each pixel is computed from its "
    "blue, green, red and alpha bytes, each weighted by an amount and optionally inverted. Colour is kept.",
    setmatte1::kParameterSpecs.data(),
    static_cast<int>(setmatte1::kParameterSpecs.size()),
};

Instance* createInstance(int width, int height) { return new (std::nothrow) SetMatteInstance(width, height); }

}  // namespace qov::frei0r
