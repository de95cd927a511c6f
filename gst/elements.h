// The plug-in's elements, as GObject types for plugin.cpp to register.
#pragma once

#include <glib-object.h>

namespace qov::gst {

GType antialiasType();        // qovmlaa
GType setMatteType();         // qovsetmatte
GType twoInputMatteType();    // qovmisetmatte

}  // namespace qov::gst
