// The GStreamer plug-in "qov": its description and the registration of its three elements.
#include <gst/gst.h>

#include "gst/elements.h"

// GStreamer reads the plug-in's name, version and origin from these.
#define PACKAGE "qov"
#define VERSION QOV_VERSION
#define PACKAGE_NAME "Qov"
// Where the package puts the documentation of the elements.
#define GST_PACKAGE_ORIGIN "file:///usr/share/doc/qov/README.md"

namespace {

gboolean registerElements(GstPlugin* plugin) {
  return gst_element_register(plugin, "qovmlaa", GST_RANK_NONE, qov::gst::antialiasType()) &&
         gst_element_register(plugin, "qovsetmatte", GST_RANK_NONE, qov::gst::setMatteType()) &&
         gst_element_register(plugin, "qovmisetmatte", GST_RANK_NONE, qov::gst::twoInputMatteType());
}

}  // namespace

// No licence has been granted for Qov yet, so nobody but its authors holds any right to
// it: of the words GStreamer takes for a plug-in's licence (LGPL, GPL, QPL, GPL/QPL, MPL,
// BSD, MIT/X11, 0BSD, Proprietary, unknown), "Proprietary" says that; "unknown" would
// say that the authors did not know. The description says it in plain words.
#define QOV_GST_LICENSE "Proprietary"

// The only symbol the library exports (gst_plugin_qov_get_desc).
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, qov,
                  "Qov's video effects: antialiasing (qovmlaa) and mattes from a frame's own bytes (qovsetmatte) "
                  "or from a second input (qovmisetmatte). No licence has been granted for Qov yet.",
                  registerElements, VERSION, QOV_GST_LICENSE, PACKAGE_NAME, GST_PACKAGE_ORIGIN)
