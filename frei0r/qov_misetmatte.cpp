// qov_misetmatte, the frei0r two-input (mixer2) form of QovMISetMatte1: the colour of one
// input with the mask computed from the other. Through f0r_update, the single input is both.
#include "frei0r/frei0r_api.h"

#include <new>

#include "effects/matte/matte_frame.h"
#include "effects/matte/matte_parameters.h"
#include "frei0r/instance.h"
#include "frei0r/plugin_description.h"
#include "plugins/QovMISetMatte1/identity.h"

namespace qov::frei0r {
namespace {

static_assert(misetmatte1::kParameterSpecs.size() <= kMaxParameters);

class MultiInputMatteInstance final : public Instance {
 public:
  MultiInputMatteInstance(int width, int height) : Instance(width, height) {}

  void update(const uint8_t* first, const uint8_t* second, uint8_t* output) override {
    if (second == nullptr) second = first;
    const matte::TwoInputMatteSettings settings = matte::twoInputMatteSettingsFrom(values());
    const uint8_t* colourSource = settings.switchInputs ? second : first;
    const uint8_t* maskSource = settings.switchInputs ? first : second;
    matte::matteFrame(colourSource, maskSource, output, width(), height(), settings.matte, pool());
  }
};

}  // namespace

const PluginDescription kPluginDescription = {
    "Qov MI Set Matte",
    "Qov team",
    F0R_PLUGIN_TYPE_MIXER2,
    misetmatte1::kMajorVersion,
    misetmatte1::kMinorVersion,
    "Two inputs: the colour of one input with a transparency mask computed from the other input's blue, "
    "green, red and alpha bytes, each weighted by an amount and optionally inverted.",
    misetmatte1::kParameterSpecs.data(),
    static_cast<int>(misetmatte1::kParameterSpecs.size()),
};

Instance* createInstance(int width, int height) {
  return new (std::nothrow) MultiInputMatteInstance(width, height);
}

}  // namespace qov::frei0r
