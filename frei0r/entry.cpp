// The frei0r entry points, the same in every plug-in: descriptor calls read the plug-in's
// constant description, instance calls go to the instance the host passes back. Calls that
// name no live instance of this plug-in, an unknown parameter or a missing frame do
// nothing. Nothing here is meant to throw; should anything ever, the calls that run an
// instance's code catch it, since a C host would die of it.
#include "frei0r/frei0r_api.h"

#include "framework/instance_registry.h"
#include "framework/worker_threads.h"
#include "frei0r/instance.h"
#include "frei0r/plugin_description.h"

using qov::frei0r::Instance;
using qov::frei0r::kPluginDescription;

#define QOV_F0R_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

bool validParameter(int index) { return index >= 0 && index < kPluginDescription.numParameters; }

Instance* liveInstance(f0r_instance_t handle) {
  return qov::isLiveInstance(handle) ? static_cast<Instance*>(handle) : nullptr;
}

}  // namespace

// Nothing lives outside the instances (the worker threads are counted by them).
QOV_F0R_EXPORT int f0r_init() { return 1; }
QOV_F0R_EXPORT void f0r_deinit() {}

QOV_F0R_EXPORT void f0r_get_plugin_info(f0r_plugin_info_t* info) {
  if (info == nullptr) return;
  info->name = kPluginDescription.name;
  info->author = kPluginDescription.author;
  info->plugin_type = kPluginDescription.pluginType;
  info->color_model = F0R_COLOR_MODEL_BGRA8888;
  info->frei0r_version = FREI0R_MAJOR_VERSION;
  info->major_version = kPluginDescription.majorVersion;
  info->minor_version = kPluginDescription.minorVersion;
  info->num_params = kPluginDescription.numParameters;
  info->explanation = kPluginDescription.explanation;
}

QOV_F0R_EXPORT void f0r_get_param_info(f0r_param_info_t* info, int param_index) {
  if (info == nullptr || !validParameter(param_index)) return;
  const qov::parameters::ParameterSpec& parameter = kPluginDescription.parameters[param_index];
  info->name = parameter.name;
  info->type = parameter.kind == qov::parameters::Kind::kSwitch ? F0R_PARAM_BOOL : F0R_PARAM_DOUBLE;
  info->explanation = parameter.explanation;
}

QOV_F0R_EXPORT f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
  if (!qov::frei0r::acceptableFrameSize(width, height)) return nullptr;
  try {
    Instance* instance = qov::frei0r::createInstance(static_cast<int>(width), static_cast<int>(height));
    if (instance == nullptr) return nullptr;
    if (!qov::registerInstance(instance)) {
      delete instance;
      return nullptr;
    }
    instance->useWorkerThreads();
    return instance;
  } catch (...) {
    return nullptr;
  }
}

QOV_F0R_EXPORT void f0r_destruct(f0r_instance_t handle) {
  Instance* instance = liveInstance(handle);
  // Only one of two threads destroying the same instance at once gets to release it.
  if (instance == nullptr || !qov::unregisterInstance(instance)) return;
  try {
    const bool counted = instance->countedByWorkerThreads();
    delete instance;
    if (counted) qov::releaseWorkerThreads();
  } catch (...) {
  }
}

// Both parameter types of these plug-ins travel as a double.
QOV_F0R_EXPORT void f0r_set_param_value(f0r_instance_t handle, f0r_param_t param, int param_index) {
  Instance* instance = liveInstance(handle);
  if (instance == nullptr || param == nullptr || !validParameter(param_index)) return;
  instance->setParameter(param_index, *static_cast<const double*>(param));
}

QOV_F0R_EXPORT void f0r_get_param_value(f0r_instance_t handle, f0r_param_t param, int param_index) {
  const Instance* instance = liveInstance(handle);
  if (instance == nullptr || param == nullptr || !validParameter(param_index)) return;
  *static_cast<double*>(param) = instance->parameter(param_index);
}

// A filter's only input, or a two-input plug-in's single input, which then serves as both.
QOV_F0R_EXPORT void f0r_update(f0r_instance_t handle, double /*time*/, const uint32_t* inframe, uint32_t* outframe) {
  Instance* instance = liveInstance(handle);
  if (instance == nullptr || inframe == nullptr || outframe == nullptr) return;
  try {
    instance->updateFrame(reinterpret_cast<const uint8_t*>(inframe), nullptr, reinterpret_cast<uint8_t*>(outframe));
  } catch (...) {
  }
}

// A two-input plug-in reads inframe2 as its second input; a filter reads inframe1 alone, as
// f0r_update does.
QOV_F0R_EXPORT void f0r_update2(f0r_instance_t handle, double /*time*/, const uint32_t* inframe1,
                                const uint32_t* inframe2, const uint32_t* /*inframe3*/, uint32_t* outframe) {
  Instance* instance = liveInstance(handle);
  if (instance == nullptr || inframe1 == nullptr || outframe == nullptr) return;
  const bool twoInputs = kPluginDescription.pluginType == F0R_PLUGIN_TYPE_MIXER2;
  try {
    instance->updateFrame(reinterpret_cast<const uint8_t*>(inframe1),
                          twoInputs ? reinterpret_cast<const uint8_t*>(inframe2) : nullptr,
                          reinterpret_cast<uint8_t*>(outframe));
  } catch (...) {
  }
}
