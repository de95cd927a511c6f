// An effect's parameters as properties of an element: one GObject property per entry of the
// effect's parameter list, in its order, named after it ("Use Half" is use-half) with the
// parameter's own name as nick and its explanation as blurb. Amounts are doubles in [0, 1]
// (a value outside is clamped, NaN kept as the other editions keep it), switches booleans.
// Every property may change while playing and be driven by a controller.
#pragma once

#include <gst/gst.h>

#include <atomic>

#include "effects/parameters/parameter_schema.h"

namespace qov::gst {

// The values as the effect reads them: floats in list order, a switch 1 or 0. Written by
// the application's threads and read by the streaming thread; each value is an atomic of
// its own, so neither side waits for the other (parameters are independent of one another,
// as they are when an application sets them one call at a time). Trivially constructible,
// so that it lives in an element's instance (which GObject zero-fills) as is.
class ElementParameters {
 public:
  // The list's defaults. specs must outlive the object.
  void reset(const parameters::ParameterSpec* specs, int count);

  // GObject's set_property and get_property; property ids are list positions plus one.
  void setProperty(GObject* element, guint id, const GValue* value, GParamSpec* pspec);
  void getProperty(GObject* element, guint id, GValue* value, GParamSpec* pspec) const;

  // Brings controlled properties to their values at `streamTime` (when valid), then copies
  // every value into `values` (room for parameters::kMaxParameters).
  void read(GstObject* element, GstClockTime streamTime, float* values) const;

 private:
  const parameters::ParameterSpec* specs_;
  int count_;
  std::atomic<float> values_[parameters::kMaxParameters];
};

// Installs the properties of an effect's list on an element class.
void installParameterProperties(GObjectClass* klass, const parameters::ParameterSpec* specs, int count);

}  // namespace qov::gst
