// What the two matte elements add to their parameter properties: the amounts as exact
// integer weights, and the named presets of the mattes, both as a "preset" property (for
// gst-launch-1.0 ... qovsetmatte preset=luma-key) and through GStreamer's preset interface
// (@preset=luma-key, and applications' preset menus).
//
// - alpha-weight, red-weight, green-weight, blue-weight: integers 0 to 65536, where weight w
//   is the amount w / 65536 exactly. They are another view of the amounts: setting one sets
//   its amount, reading one gives the weight of its amount.
// - preset (write-only): sets the nine matte properties to a named preset's values;
//   "Switch Inputs" is left as it is.
// - GstPreset: the built-in presets, read-only, plus the presets a user saves (GStreamer's
//   own preset files, of the nine matte properties).
#pragma once

#include <gst/gst.h>

namespace qov::gst {

// Installs the weight and preset properties with ids from firstId on.
void installMatteExtraProperties(GObjectClass* klass, guint firstId);

// GObject's set_property and get_property for those ids; false for any other id.
bool setMatteExtraProperty(GObject* element, guint firstId, guint id, const GValue* value);
bool getMatteExtraProperty(GObject* element, guint firstId, guint id, GValue* value);

// The GstPreset interface of a matte element (for G_IMPLEMENT_INTERFACE).
void initMattePresetInterface(gpointer interface, gpointer data);

}  // namespace qov::gst
