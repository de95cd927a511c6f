// qovsetmatte, QovSetMatte1 as a GStreamer video filter: each pixel keeps its colour and
// gets, as alpha, the mask computed from its own blue, green, red and alpha.
//
// A frame whose fourth byte is padding (BGRx, RGBx, xRGB, xBGR) has no alpha to read: its
// pixels count as opaque (alpha 255) in the mask, and it leaves as the format of the same
// byte order with alpha (BGRA, RGBA, ARGB, ABGR), where the mask is kept.
#include <array>
#include <type_traits>

#include "effects/matte/matte_frame.h"
#include "effects/matte/matte_parameters.h"
#include "gst/element_parameters.h"
#include "gst/matte_presets.h"
#include "gst/elements.h"
#include "gst/video_filter_base.h"
#include "gst/video_formats.h"
#include "plugins/QovSetMatte1/identity.h"

namespace {

using qov::gst::FormatLayout;

const auto& kSpecs = qov::setmatte1::kParameterSpecs;
// The weight and preset properties come after the parameters' (ids 1 to the count).
constexpr guint kFirstExtraId = static_cast<guint>(std::tuple_size_v<std::decay_t<decltype(kSpecs)>>) + 1;

}  // namespace

struct QovSetMatte {
  QovVideoFilter parent;
  qov::gst::ElementParameters parameters;
  const FormatLayout* layout;  // of the input, from set_info
};

struct QovSetMatteClass {
  QovVideoFilterClass parent_class;
};

G_DEFINE_TYPE_WITH_CODE(QovSetMatte, qov_set_matte, QOV_TYPE_VIDEO_FILTER,
                        G_IMPLEMENT_INTERFACE(GST_TYPE_PRESET, qov::gst::initMattePresetInterface))

namespace {

QovSetMatte* asSetMatte(gpointer object) {
  return G_TYPE_CHECK_INSTANCE_CAST(object, qov_set_matte_get_type(), QovSetMatte);
}

GstStaticPadTemplate sinkTemplate =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(QOV_GST_FOUR_BYTE_CAPS));
GstStaticPadTemplate srcTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(QOV_GST_ALPHA_CAPS));

// The formats on the other side of the element for one format on this side: a format with
// padding becomes the one with alpha; towards the input, a format with alpha may also have
// come with padding. Formats the element does not know pass unchanged (the pad templates
// remove them).
void addOtherSideFormats(const char* name, GstPadDirection direction, GValue* list) {
  const GstVideoFormat format = gst_video_format_from_string(name);
  const FormatLayout* layout = qov::gst::formatLayout(format);
  GValue item = G_VALUE_INIT;
  g_value_init(&item, G_TYPE_STRING);
  if (layout == nullptr) {
    g_value_set_string(&item, name);
  } else if (direction == GST_PAD_SINK) {
    g_value_set_string(&item, gst_video_format_to_string(layout->withAlpha));
  } else {
    g_value_set_string(&item, name);
    if (layout->fourthIsAlpha) {
      gst_value_list_append_value(list, &item);
      g_value_set_string(&item, gst_video_format_to_string(qov::gst::paddedTwin(format)));
    }
  }
  gst_value_list_append_value(list, &item);
  g_value_unset(&item);
}

GstCaps* transformCaps(GstBaseTransform* /*trans*/, GstPadDirection direction, GstCaps* caps, GstCaps* filter) {
  GstCaps* result = gst_caps_new_empty();
  for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
    GstStructure* structure = gst_structure_copy(gst_caps_get_structure(caps, i));
    if (const GValue* formats = gst_structure_get_value(structure, "format")) {
      GValue list = G_VALUE_INIT;
      g_value_init(&list, GST_TYPE_LIST);
      if (G_VALUE_HOLDS_STRING(formats)) {
        addOtherSideFormats(g_value_get_string(formats), direction, &list);
      } else if (GST_VALUE_HOLDS_LIST(formats)) {
        for (guint j = 0; j < gst_value_list_get_size(formats); ++j) {
          const GValue* format = gst_value_list_get_value(formats, j);
          if (G_VALUE_HOLDS_STRING(format)) addOtherSideFormats(g_value_get_string(format), direction, &list);
        }
      }
      gst_structure_take_value(structure, "format", &list);
    }
    result = gst_caps_merge_structure_full(result, structure,
                                           gst_caps_features_copy(gst_caps_get_features(caps, i)));
  }
  if (filter != nullptr) {
    GstCaps* filtered = gst_caps_intersect_full(filter, result, GST_CAPS_INTERSECT_FIRST);
    gst_caps_unref(result);
    result = filtered;
  }
  return result;
}

gboolean setInfo(GstVideoFilter* filter, GstCaps* /*incaps*/, GstVideoInfo* in, GstCaps* /*outcaps*/,
                 GstVideoInfo* out) {
  const FormatLayout* layout = qov::gst::formatLayout(GST_VIDEO_INFO_FORMAT(in));
  if (layout == nullptr || layout->channels != 4 || GST_VIDEO_INFO_FORMAT(out) != layout->withAlpha ||
      GST_VIDEO_INFO_WIDTH(in) != GST_VIDEO_INFO_WIDTH(out) || GST_VIDEO_INFO_HEIGHT(in) != GST_VIDEO_INFO_HEIGHT(out))
    return FALSE;
  asSetMatte(filter)->layout = layout;
  QOV_VIDEO_FILTER(filter)->threads.useFor(static_cast<std::size_t>(GST_VIDEO_INFO_WIDTH(in)) *
                                            static_cast<std::size_t>(GST_VIDEO_INFO_HEIGHT(in)));
  return TRUE;
}

GstFlowReturn process(QovVideoFilter* filter, const GstVideoFrame* input, GstVideoFrame* output,
                      GstClockTime streamTime) {
  QovSetMatte* self = asSetMatte(filter);
  float values[qov::parameters::kMaxParameters];
  self->parameters.read(GST_OBJECT(self), streamTime, values);
  const qov::matte::MatteSettings settings = qov::matte::matteSettingsFromParameters(values);
  const auto* source = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(input, 0));
  const auto sourceStride = static_cast<std::size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(input, 0));
  qov::matte::matteFrame(source, sourceStride, source, sourceStride,
                         static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(output, 0)),
                         static_cast<std::size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(output, 0)),
                         GST_VIDEO_FRAME_WIDTH(input), GST_VIDEO_FRAME_HEIGHT(input),
                         qov::gst::matteLayoutOf(*self->layout), settings, filter->threads.pool());
  return GST_FLOW_OK;
}

void setProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
  if (!qov::gst::setMatteExtraProperty(object, kFirstExtraId, id, value))
    asSetMatte(object)->parameters.setProperty(object, id, value, pspec);
}

void getProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
  if (!qov::gst::getMatteExtraProperty(object, kFirstExtraId, id, value))
    asSetMatte(object)->parameters.getProperty(object, id, value, pspec);
}

}  // namespace

static void qov_set_matte_class_init(QovSetMatteClass* klass) {
  GObjectClass* objectClass = G_OBJECT_CLASS(klass);
  objectClass->set_property = setProperty;
  objectClass->get_property = getProperty;
  qov::gst::installParameterProperties(objectClass, kSpecs.data(), static_cast<int>(kSpecs.size()));
  qov::gst::installMatteExtraProperties(objectClass, kFirstExtraId);

  GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
  gst_element_class_set_static_metadata(
      elementClass, "Qov Set Matte", "Filter/Effect/Video",
      "Input is turned into alpha channel (transparency) mask: the alpha of each pixel becomes a mask of its "
      "blue, green, red and alpha, each weighted by an amount and optionally inverted",
      "Qov team");
  gst_element_class_add_static_pad_template(elementClass, &sinkTemplate);
  gst_element_class_add_static_pad_template(elementClass, &srcTemplate);

  GST_BASE_TRANSFORM_CLASS(klass)->transform_caps = transformCaps;
  GST_VIDEO_FILTER_CLASS(klass)->set_info = setInfo;
  reinterpret_cast<QovVideoFilterClass*>(klass)->process = process;
}

static void qov_set_matte_init(QovSetMatte* self) {
  self->parameters.reset(kSpecs.data(), static_cast<int>(kSpecs.size()));
}

namespace qov::gst {

GType setMatteType() { return qov_set_matte_get_type(); }

}  // namespace qov::gst
