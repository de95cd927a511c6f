// The parameter properties of the elements and the values behind them.
#include "gst/element_parameters.h"

namespace qov::gst {
namespace {

constexpr float kSwitchOn = 1.0f;
constexpr float kSwitchOff = 0.0f;
constexpr double kAmountMinimum = 0.0;
constexpr double kAmountMaximum = 1.0;

// A parameter's property id: GObject reserves 0.
constexpr guint propertyId(int index) { return static_cast<guint>(index) + 1; }

float storedDefault(const parameters::ParameterSpec& parameter) {
  if (parameter.kind == parameters::Kind::kSwitch)
    return parameters::switchOn(parameter.defaultValue) ? kSwitchOn : kSwitchOff;
  return parameter.defaultValue;
}

}  // namespace

void ElementParameters::reset(const parameters::ParameterSpec* specs, int count) {
  specs_ = specs;
  count_ = count;
  for (int i = 0; i < count; ++i) values_[i].store(storedDefault(specs[i]), std::memory_order_relaxed);
}

void ElementParameters::setProperty(GObject* element, guint id, const GValue* value, GParamSpec* pspec) {
  if (id < propertyId(0) || id > propertyId(count_ - 1)) {
    G_OBJECT_WARN_INVALID_PROPERTY_ID(element, id, pspec);
    return;
  }
  const int index = static_cast<int>(id - propertyId(0));
  float stored;
  if (specs_[index].kind == parameters::Kind::kSwitch) {
    stored = g_value_get_boolean(value) ? kSwitchOn : kSwitchOff;
  } else {
    // GObject has clamped the value to the property's range already (lax validation); the
    // rule is applied here too for callers that set it without validation. NaN stays NaN.
    stored = static_cast<float>(parameters::clampToUnit(g_value_get_double(value)));
  }
  values_[index].store(stored, std::memory_order_relaxed);
}

void ElementParameters::getProperty(GObject* element, guint id, GValue* value, GParamSpec* pspec) const {
  if (id < propertyId(0) || id > propertyId(count_ - 1)) {
    G_OBJECT_WARN_INVALID_PROPERTY_ID(element, id, pspec);
    return;
  }
  const int index = static_cast<int>(id - propertyId(0));
  const float stored = values_[index].load(std::memory_order_relaxed);
  if (specs_[index].kind == parameters::Kind::kSwitch)
    g_value_set_boolean(value, parameters::switchOn(stored));
  else
    g_value_set_double(value, stored);
}

void ElementParameters::read(GstObject* element, GstClockTime streamTime, float* values) const {
  if (GST_CLOCK_TIME_IS_VALID(streamTime)) gst_object_sync_values(element, streamTime);
  for (int i = 0; i < count_; ++i) values[i] = values_[i].load(std::memory_order_relaxed);
}

void installParameterProperties(GObjectClass* klass, const parameters::ParameterSpec* specs, int count) {
  constexpr GParamFlags kFlags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_NICK |
                                                          G_PARAM_STATIC_BLURB | GST_PARAM_CONTROLLABLE |
                                                          GST_PARAM_MUTABLE_PLAYING);
  for (int i = 0; i < count; ++i) {
    const parameters::ParameterSpec& parameter = specs[i];
    // Property names are lower case with dashes; GObject keeps its own copy.
    gchar* name = g_ascii_strdown(parameter.name, -1);
    g_strdelimit(name, " ", '-');
    GParamSpec* pspec;
    if (parameter.kind == parameters::Kind::kSwitch) {
      pspec = g_param_spec_boolean(name, parameter.name, parameter.explanation,
                                   parameters::switchOn(parameter.defaultValue), kFlags);
    } else {
      // Lax validation: a value outside the range is clamped into it rather than refused.
      pspec = g_param_spec_double(name, parameter.name, parameter.explanation, kAmountMinimum, kAmountMaximum,
                                  parameter.defaultValue, static_cast<GParamFlags>(kFlags | G_PARAM_LAX_VALIDATION));
    }
    g_object_class_install_property(klass, propertyId(i), pspec);
    g_free(name);
  }
}

}  // namespace qov::gst
