// qov_misetmatte, the frei0r two-input (mixer2) form of QovMISetMatte1: the colour of one
// input with the mask computed from the other. Through f0r_update, the single input is both.
#include "frei0r/frei0r_api.h"

#include <new>

#include "effects/matte/matte_frame.h"
#include "effects/matte/matte_settings.h"
#include "frei0r/instance.h"
#include "frei0r/matte_parameters.h"
#include "frei0r/plugin_description.h"

namespace qov::frei0r {
namespace {

inline constexpr int kMajorVersion = 3;
inline constexpr int kMinorVersion = 996;
inline constexpr int kNumParameters = matte::matteParameterCount + 1;

const ParamDescription kParameters[kNumParameters] = {
    QOV_F0R_MATTE_PARAMETER_TABLE,
    {"Switch Inputs", F0R_PARAM_BOOL, matte_params::kOff,
     "Off: colour from the first input, mask from the second. On: colour from the second, mask from the "
     "first."},
};

class MultiInputMatteInstance final : public Instance {
 public:
  MultiInputMatteInstance(int width, int height) : Instance(width, height) {}

  void update(const uint8_t* first, const uint8_t* second, uint8_t* output) override {
    if (second == nullptr) second = first;
    const bool switchInputs = matte::flagFromValue(value(matte::switchInputsIndex));
    const uint8_t* colourSource = switchInputs ? second : first;
    const uint8_t* maskSource = switchInputs ? first : second;
    matte::matteFrame(colourSource, maskSource, output, width(), height(),
                      matte::matteSettingsFromParameters(values()), pool());
  }
};

}  // namespace

const PluginDescription kPluginDescription = {
    "Qov MI Set Matte",
    "Qov team",
    F0R_PLUGIN_TYPE_MIXER2,
    kMajorVersion,
    kMinorVersion,
    "Two inputs: the colour of one input with a transparency mask computed from the other input's blue, "
    "green, red and alpha bytes, each weighted by an amount and optionally inverted.",
    kParameters,
    kNumParameters,
};

Instance* createInstance(int width, int height) {
  return new (std::nothrow) MultiInputMatteInstance(width, height);
}

}  // namespace qov::frei0r
