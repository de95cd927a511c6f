// The weight and preset properties of the matte elements, and their preset interface.
#include "gst/matte_presets.h"

#include <string>

#include "effects/matte/matte_presets.h"

namespace qov::gst {
namespace {

constexpr std::size_t kWeightCount = 4;  // alpha, red, green, blue: the first four parameters
constexpr guint kPresetOffset = kWeightCount;
// The preset interface's key for a preset's description.
constexpr const char* kCommentTag = "comment";

// A parameter's property name: "Alpha Amount" is alpha-amount.
std::string propertyName(const char* parameterName) {
  std::string name = parameterName;
  for (char& c : name) c = c == ' ' ? '-' : g_ascii_tolower(c);
  return name;
}

// "Alpha Amount" has the weight alpha-weight.
std::string weightName(const char* parameterName) {
  const std::string amount = propertyName(parameterName);
  return amount.substr(0, amount.find('-')) + "-weight";
}

void applyPreset(GObject* element, const matte::MattePreset& preset) {
  for (std::size_t i = 0; i < preset.values.size(); ++i) {
    const parameters::ParameterSpec& parameter = matte::kMatteParameterSpecs[i];
    const std::string name = propertyName(parameter.name);
    if (parameter.kind == parameters::Kind::kSwitch)
      g_object_set(element, name.c_str(), static_cast<gboolean>(parameters::switchOn(preset.values[i])), nullptr);
    else
      g_object_set(element, name.c_str(), static_cast<double>(preset.values[i]), nullptr);
  }
}

// GStreamer's own implementation, which keeps the presets a user saves in files; the
// built-in presets come first and cannot be changed.
GstPresetInterface savedDefaults;

bool isBuiltIn(const gchar* name) { return name != nullptr && matte::findMattePreset(name) != nullptr; }

gchar** presetNames(GstPreset* element) {
  GPtrArray* names = g_ptr_array_new();
  for (const matte::MattePreset& preset : matte::kMattePresets) g_ptr_array_add(names, g_strdup(preset.name));
  if (savedDefaults.get_preset_names != nullptr) {
    if (gchar** saved = savedDefaults.get_preset_names(element)) {
      for (gchar** name = saved; *name != nullptr; ++name)
        if (!isBuiltIn(*name)) g_ptr_array_add(names, g_strdup(*name));
      g_strfreev(saved);
    }
  }
  g_ptr_array_add(names, nullptr);
  return reinterpret_cast<gchar**>(g_ptr_array_free(names, FALSE));
}

// What a saved preset holds: the nine matte properties.
gchar** presetPropertyNames(GstPreset* /*element*/) {
  gchar** names = g_new0(gchar*, matte::matteParameterCount + 1);
  for (std::size_t i = 0; i < matte::matteParameterCount; ++i)
    names[i] = g_strdup(propertyName(matte::kMatteParameterSpecs[i].name).c_str());
  return names;
}

gboolean loadPreset(GstPreset* element, const gchar* name) {
  if (const matte::MattePreset* preset = name != nullptr ? matte::findMattePreset(name) : nullptr) {
    applyPreset(G_OBJECT(element), *preset);
    return TRUE;
  }
  return savedDefaults.load_preset != nullptr && savedDefaults.load_preset(element, name);
}

gboolean savePreset(GstPreset* element, const gchar* name) {
  return !isBuiltIn(name) && savedDefaults.save_preset != nullptr && savedDefaults.save_preset(element, name);
}

gboolean renamePreset(GstPreset* element, const gchar* oldName, const gchar* newName) {
  return !isBuiltIn(oldName) && !isBuiltIn(newName) && savedDefaults.rename_preset != nullptr &&
         savedDefaults.rename_preset(element, oldName, newName);
}

gboolean deletePreset(GstPreset* element, const gchar* name) {
  return !isBuiltIn(name) && savedDefaults.delete_preset != nullptr && savedDefaults.delete_preset(element, name);
}

gboolean setMeta(GstPreset* element, const gchar* name, const gchar* tag, const gchar* value) {
  return !isBuiltIn(name) && savedDefaults.set_meta != nullptr && savedDefaults.set_meta(element, name, tag, value);
}

gboolean getMeta(GstPreset* element, const gchar* name, const gchar* tag, gchar** value) {
  if (const matte::MattePreset* preset = name != nullptr ? matte::findMattePreset(name) : nullptr) {
    const bool comment = tag != nullptr && g_strcmp0(tag, kCommentTag) == 0;
    *value = comment ? g_strdup(preset->summary) : nullptr;
    return comment;
  }
  if (savedDefaults.get_meta != nullptr) return savedDefaults.get_meta(element, name, tag, value);
  *value = nullptr;
  return FALSE;
}

// The list of names a "preset" property's explanation and warnings show.
std::string presetList() {
  std::string list;
  for (const matte::MattePreset& preset : matte::kMattePresets) list += (list.empty() ? "" : ", ") + std::string(preset.name);
  return list;
}

}  // namespace

void installMatteExtraProperties(GObjectClass* klass, guint firstId) {
  constexpr GParamFlags kFlags =
      static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_PLAYING);
  for (std::size_t i = 0; i < kWeightCount; ++i) {
    const parameters::ParameterSpec& amount = matte::kMatteParameterSpecs[i];
    const std::string name = weightName(amount.name);
    const std::string amountName = propertyName(amount.name);
    // GObject keeps these strings for the life of the class: they are made once, here.
    gchar* nick = g_strdup_printf("%s as a weight", amount.name);
    gchar* blurb = g_strdup_printf(
        "%s as a whole weight, 0 to 65536: the amount is weight / 65536 exactly (weight 8 adds the byte's own "
        "value to the mask). Setting it sets %s; reading it gives the weight of %s.",
        amount.name, amountName.c_str(), amountName.c_str());
    g_object_class_install_property(
        klass, firstId + static_cast<guint>(i),
        g_param_spec_int(g_intern_string(name.c_str()), g_intern_string(nick), g_intern_string(blurb), 0,
                         matte::maxWeight, matte::weightFromAmount(amount.defaultValue), kFlags));
    g_free(nick);
    g_free(blurb);
  }
  const std::string blurb = "Sets the nine matte properties to a named preset (Switch Inputs stays as it is): " +
                            presetList() + ". Properties set after it change single values.";
  g_object_class_install_property(
      klass, firstId + kPresetOffset,
      g_param_spec_string("preset", "Preset", g_intern_string(blurb.c_str()), nullptr,
                          static_cast<GParamFlags>(G_PARAM_WRITABLE | G_PARAM_STATIC_STRINGS |
                                                   GST_PARAM_MUTABLE_PLAYING)));
}

bool setMatteExtraProperty(GObject* element, guint firstId, guint id, const GValue* value) {
  if (id < firstId || id > firstId + kPresetOffset) return false;
  if (id == firstId + kPresetOffset) {
    const gchar* name = g_value_get_string(value);
    if (name != nullptr && !gst_preset_load_preset(GST_PRESET(element), name))
      g_warning("%s: no preset \"%s\"; the presets are %s", GST_OBJECT_NAME(element), name, presetList().c_str());
    return true;
  }
  const parameters::ParameterSpec& amount = matte::kMatteParameterSpecs[id - firstId];
  g_object_set(element, propertyName(amount.name).c_str(),
               static_cast<double>(matte::amountOfWeight(g_value_get_int(value))), nullptr);
  return true;
}

bool getMatteExtraProperty(GObject* element, guint firstId, guint id, GValue* value) {
  if (id < firstId || id >= firstId + kPresetOffset) return false;
  const parameters::ParameterSpec& amount = matte::kMatteParameterSpecs[id - firstId];
  double stored = 0.0;
  g_object_get(element, propertyName(amount.name).c_str(), &stored, nullptr);
  g_value_set_int(value, matte::weightFromAmount(static_cast<float>(stored)));
  return true;
}

void initMattePresetInterface(gpointer interface, gpointer /*data*/) {
  auto* preset = static_cast<GstPresetInterface*>(interface);
  // The interface arrives filled with GStreamer's default implementation.
  savedDefaults = *preset;
  preset->get_preset_names = presetNames;
  preset->get_property_names = presetPropertyNames;
  preset->load_preset = loadPreset;
  preset->save_preset = savePreset;
  preset->rename_preset = renamePreset;
  preset->delete_preset = deletePreset;
  preset->set_meta = setMeta;
  preset->get_meta = getMeta;
}

}  // namespace qov::gst
