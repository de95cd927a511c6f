// qovmisetmatte, QovMISetMatte1 as a GStreamer mixer: the colour of the input on the pad
// "colour" with, as alpha, the mask computed from the input on the pad "mask" ("switch-inputs"
// exchanges the roles). Built on GstVideoAggregator, which lines the two inputs up in time
// (a slower input's frame is repeated), follows their segments and ends the stream when
// both have ended; its output feeds compositor, encoders and sinks.
//
// The output has the colour input's size, the higher of the two frame rates and the colour
// input's byte order with alpha (BGRx comes out as BGRA). An input of another format or size
// is converted (and scaled) to the output's by the aggregator; a frame whose fourth byte is
// padding keeps it as padding, which the mask reads as opaque (alpha 255). An input of the
// output's byte order and size is read as it is, with its own strides.
//
// While only one input has a frame (the other has not started, or has ended), that frame is
// both colour and mask, as the FreeFrame plug-in does with one input. Without any frame the
// output is transparent black.
#include <array>
#include <cstring>
#include <type_traits>

#include "effects/matte/matte_frame.h"
#include "effects/matte/matte_parameters.h"
#include "gst/element_parameters.h"
#include "gst/matte_presets.h"
#include "gst/element_threads.h"
#include "gst/elements.h"
#include "gst/video_formats.h"
#include "plugins/QovMISetMatte1/identity.h"

#include <gst/video/gstvideoaggregator.h>

namespace {

using qov::gst::FormatLayout;

const auto& kSpecs = qov::misetmatte1::kParameterSpecs;
// The weight and preset properties come after the parameters' (ids 1 to the count).
constexpr guint kFirstExtraId = static_cast<guint>(std::tuple_size_v<std::decay_t<decltype(kSpecs)>>) + 1;

constexpr const char* kColourPad = "colour";
constexpr const char* kMaskPad = "mask";
// The frame rate of an output whose inputs state none.
constexpr gint kFallbackRate = 25;

}  // namespace

// An input pad: converts its frames to the output's format and size when they differ.
struct QovMatteInputPad {
  GstVideoAggregatorConvertPad parent;
};

struct QovMatteInputPadClass {
  GstVideoAggregatorConvertPadClass parent_class;
};

G_DEFINE_TYPE(QovMatteInputPad, qov_matte_input_pad, GST_TYPE_VIDEO_AGGREGATOR_CONVERT_PAD)

struct QovMISetMatte {
  GstVideoAggregator parent;
  qov::gst::ElementParameters parameters;
  qov::gst::ElementThreads threads;
  GstVideoAggregatorPad* colour;  // the element's own pads
  GstVideoAggregatorPad* mask;
};

struct QovMISetMatteClass {
  GstVideoAggregatorClass parent_class;
};

namespace {
void initChildProxy(gpointer interface, gpointer data);
}

// Its pads are its children, so that pipelines set their properties (mask::repeat-after-eos);
// its presets are those of the mattes.
G_DEFINE_TYPE_WITH_CODE(QovMISetMatte, qov_mi_set_matte, GST_TYPE_VIDEO_AGGREGATOR,
                        G_IMPLEMENT_INTERFACE(GST_TYPE_CHILD_PROXY, initChildProxy)
                            G_IMPLEMENT_INTERFACE(GST_TYPE_PRESET, qov::gst::initMattePresetInterface))

namespace {

QovMISetMatte* asTwoInputMatte(gpointer object) {
  return G_TYPE_CHECK_INSTANCE_CAST(object, qov_mi_set_matte_get_type(), QovMISetMatte);
}

GstStaticPadTemplate colourTemplate =
    GST_STATIC_PAD_TEMPLATE(kColourPad, GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(QOV_GST_FOUR_BYTE_CAPS));
GstStaticPadTemplate maskTemplate =
    GST_STATIC_PAD_TEMPLATE(kMaskPad, GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(QOV_GST_FOUR_BYTE_CAPS));
GstStaticPadTemplate srcTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(QOV_GST_ALPHA_CAPS));

// The pad's negotiated info, or false while it has none.
bool padInfo(GstVideoAggregatorPad* pad, GstVideoInfo* info) {
  GST_OBJECT_LOCK(pad);
  *info = pad->info;
  GST_OBJECT_UNLOCK(pad);
  return info->finfo != nullptr && GST_VIDEO_INFO_FORMAT(info) != GST_VIDEO_FORMAT_UNKNOWN;
}

// The input that decides the output's size and format: the colour, else the mask.
bool referenceInfo(QovMISetMatte* self, GstVideoInfo* info) {
  return padInfo(self->colour, info) || padInfo(self->mask, info);
}

// What an input is converted to: the output's format and size. An input whose fourth byte is
// padding goes to the output's byte order with padding instead (no conversion at all when
// that is its own): the matte reads such a frame as opaque, while a conversion to alpha
// would leave that byte's value to the converter.
void createConversionInfo(GstVideoAggregatorConvertPad* pad, GstVideoAggregator* aggregator,
                          GstVideoInfo* conversion) {
  GST_VIDEO_AGGREGATOR_CONVERT_PAD_CLASS(qov_matte_input_pad_parent_class)
      ->create_conversion_info(pad, aggregator, conversion);
  const GstVideoInfo& output = aggregator->info;
  // Called with the pad locked: its info is read as it is.
  const GstVideoInfo& input = GST_VIDEO_AGGREGATOR_PAD(pad)->info;
  if (conversion->finfo == nullptr || GST_VIDEO_INFO_FORMAT(conversion) == GST_VIDEO_FORMAT_UNKNOWN ||
      output.finfo == nullptr || GST_VIDEO_INFO_FORMAT(&output) == GST_VIDEO_FORMAT_UNKNOWN ||
      input.finfo == nullptr)
    return;
  GstVideoFormat format = GST_VIDEO_INFO_FORMAT(conversion);
  const FormatLayout* inputLayout = qov::gst::formatLayout(GST_VIDEO_INFO_FORMAT(&input));
  if (inputLayout != nullptr && !inputLayout->fourthIsAlpha) format = qov::gst::paddedTwin(GST_VIDEO_INFO_FORMAT(&output));
  if (format == GST_VIDEO_INFO_FORMAT(conversion) && GST_VIDEO_INFO_WIDTH(conversion) == GST_VIDEO_INFO_WIDTH(&output) &&
      GST_VIDEO_INFO_HEIGHT(conversion) == GST_VIDEO_INFO_HEIGHT(&output))
    return;
  if (format == GST_VIDEO_INFO_FORMAT(&input) && GST_VIDEO_INFO_WIDTH(&input) == GST_VIDEO_INFO_WIDTH(&output) &&
      GST_VIDEO_INFO_HEIGHT(&input) == GST_VIDEO_INFO_HEIGHT(&output)) {
    *conversion = input;
    return;
  }
  GstVideoInfo converted;
  gst_video_info_set_interlaced_format(&converted, format, GST_VIDEO_INFO_INTERLACE_MODE(conversion),
                                       GST_VIDEO_INFO_WIDTH(&output), GST_VIDEO_INFO_HEIGHT(&output));
  converted.colorimetry = conversion->colorimetry;
  converted.chroma_site = conversion->chroma_site;
  converted.par_n = output.par_n;
  converted.par_d = output.par_d;
  converted.fps_n = conversion->fps_n;
  converted.fps_d = conversion->fps_d;
  *conversion = converted;
}

// The output's format: the reference input's byte order with alpha, when downstream takes it.
void findBestFormat(GstVideoAggregator* aggregator, GstCaps* downstream, GstVideoInfo* best, gboolean* anyAlpha) {
  QovMISetMatte* self = asTwoInputMatte(aggregator);
  GstVideoInfo reference;
  if (referenceInfo(self, &reference)) {
    if (const FormatLayout* layout = qov::gst::formatLayout(GST_VIDEO_INFO_FORMAT(&reference))) {
      GstCaps* wanted = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING,
                                            gst_video_format_to_string(layout->withAlpha), nullptr);
      const bool accepted = gst_caps_can_intersect(downstream, wanted);
      gst_caps_unref(wanted);
      if (accepted) {
        gst_video_info_set_format(best, layout->withAlpha, GST_VIDEO_INFO_WIDTH(&reference),
                                  GST_VIDEO_INFO_HEIGHT(&reference));
        *anyAlpha = FALSE;
        return;
      }
    }
  }
  GST_VIDEO_AGGREGATOR_CLASS(qov_mi_set_matte_parent_class)->find_best_format(aggregator, downstream, best, anyAlpha);
}

// The output's size is the reference input's; its frame rate the higher of the two.
GstCaps* fixateSrcCaps(GstAggregator* aggregator, GstCaps* caps) {
  QovMISetMatte* self = asTwoInputMatte(aggregator);
  caps = gst_caps_truncate(gst_caps_make_writable(caps));
  GstStructure* structure = gst_caps_get_structure(caps, 0);
  GstVideoInfo reference;
  if (referenceInfo(self, &reference)) {
    gst_structure_fixate_field_nearest_int(structure, "width", GST_VIDEO_INFO_WIDTH(&reference));
    gst_structure_fixate_field_nearest_int(structure, "height", GST_VIDEO_INFO_HEIGHT(&reference));
  }
  gint rateNumerator = 0, rateDenominator = 1;
  for (GstVideoAggregatorPad* pad : {self->colour, self->mask}) {
    GstVideoInfo info;
    if (!padInfo(pad, &info) || info.fps_n <= 0 || info.fps_d <= 0) continue;
    if (rateNumerator == 0 || gst_util_fraction_compare(info.fps_n, info.fps_d, rateNumerator, rateDenominator) > 0) {
      rateNumerator = info.fps_n;
      rateDenominator = info.fps_d;
    }
  }
  if (rateNumerator == 0) rateNumerator = kFallbackRate;
  gst_structure_fixate_field_nearest_fraction(structure, "framerate", rateNumerator, rateDenominator);
  if (gst_structure_has_field(structure, "pixel-aspect-ratio"))
    gst_structure_fixate_field_nearest_fraction(structure, "pixel-aspect-ratio", 1, 1);
  return gst_caps_fixate(caps);
}

gboolean negotiatedSrcCaps(GstAggregator* aggregator, GstCaps* caps) {
  if (!GST_AGGREGATOR_CLASS(qov_mi_set_matte_parent_class)->negotiated_src_caps(aggregator, caps)) return FALSE;
  const GstVideoInfo& output = GST_VIDEO_AGGREGATOR(aggregator)->info;
  asTwoInputMatte(aggregator)->threads.useFor(static_cast<std::size_t>(GST_VIDEO_INFO_WIDTH(&output)) *
                                              static_cast<std::size_t>(GST_VIDEO_INFO_HEIGHT(&output)));
  return TRUE;
}

gboolean stop(GstAggregator* aggregator) {
  asTwoInputMatte(aggregator)->threads.release();
  return GST_AGGREGATOR_CLASS(qov_mi_set_matte_parent_class)->stop(aggregator);
}

// A prepared input frame in the output's byte order that covers the output, or null.
const GstVideoFrame* usableFrame(GstVideoAggregatorPad* pad, const GstVideoFrame& output) {
  const GstVideoFrame* frame = gst_video_aggregator_pad_get_prepared_frame(pad);
  if (frame == nullptr || GST_VIDEO_FRAME_WIDTH(frame) < GST_VIDEO_FRAME_WIDTH(&output) ||
      GST_VIDEO_FRAME_HEIGHT(frame) < GST_VIDEO_FRAME_HEIGHT(&output))
    return nullptr;
  const FormatLayout* layout = qov::gst::formatLayout(GST_VIDEO_FRAME_FORMAT(frame));
  if (layout == nullptr || layout->withAlpha != GST_VIDEO_FRAME_FORMAT(&output)) return nullptr;
  return frame;
}

void clearFrame(GstVideoFrame* frame) {
  const std::size_t rowBytes = static_cast<std::size_t>(GST_VIDEO_FRAME_COMP_PSTRIDE(frame, 0)) *
                               static_cast<std::size_t>(GST_VIDEO_FRAME_WIDTH(frame));
  auto* row = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(frame, 0));
  for (gint y = 0; y < GST_VIDEO_FRAME_HEIGHT(frame); ++y, row += GST_VIDEO_FRAME_PLANE_STRIDE(frame, 0))
    std::memset(row, 0, rowBytes);
}

GstFlowReturn aggregateFrames(GstVideoAggregator* aggregator, GstBuffer* outbuf) {
  QovMISetMatte* self = asTwoInputMatte(aggregator);
  const GstSegment& segment = GST_AGGREGATOR_PAD(GST_AGGREGATOR(aggregator)->srcpad)->segment;
  GstClockTime streamTime = GST_CLOCK_TIME_NONE;
  if (segment.format == GST_FORMAT_TIME && GST_BUFFER_PTS_IS_VALID(outbuf))
    streamTime = gst_segment_to_stream_time(&segment, GST_FORMAT_TIME, GST_BUFFER_PTS(outbuf));
  float values[qov::parameters::kMaxParameters];
  self->parameters.read(GST_OBJECT(self), streamTime, values);
  const qov::matte::TwoInputMatteSettings settings = qov::matte::twoInputMatteSettingsFrom(values);

  GstVideoFrame output;
  if (!gst_video_frame_map(&output, &aggregator->info, outbuf, GST_MAP_WRITE)) {
    GST_ELEMENT_ERROR(self, CORE, FAILED, (nullptr), ("cannot map the output buffer"));
    return GST_FLOW_ERROR;
  }
  const GstVideoFrame* first = usableFrame(self->colour, output);
  const GstVideoFrame* second = usableFrame(self->mask, output);
  if (first == nullptr) first = second;
  if (second == nullptr) second = first;
  const FormatLayout* layout = qov::gst::formatLayout(GST_VIDEO_FRAME_FORMAT(&output));
  GstFlowReturn result = GST_FLOW_OK;
  if (first == nullptr || layout == nullptr) {
    clearFrame(&output);
  } else {
    const GstVideoFrame* colour = settings.switchInputs ? second : first;
    const GstVideoFrame* mask = settings.switchInputs ? first : second;
    // Both inputs have the output's byte order; the mask's fourth byte may be padding.
    qov::matte::MatteLayout matteLayout = qov::gst::matteLayoutOf(*layout);
    matteLayout.fourthIsAlpha = qov::gst::formatLayout(GST_VIDEO_FRAME_FORMAT(mask))->fourthIsAlpha;
    // GStreamer dies of a C++ exception: one (the effect throws none of its own) ends the
    // stream with an error instead.
    try {
      qov::matte::matteFrame(static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(colour, 0)),
                             static_cast<std::size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(colour, 0)),
                             static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(mask, 0)),
                             static_cast<std::size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(mask, 0)),
                             static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&output, 0)),
                             static_cast<std::size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(&output, 0)),
                             GST_VIDEO_FRAME_WIDTH(&output), GST_VIDEO_FRAME_HEIGHT(&output),
                             matteLayout, settings.matte, self->threads.pool());
    } catch (...) {
      GST_ELEMENT_ERROR(self, CORE, FAILED, (nullptr), ("the effect failed"));
      result = GST_FLOW_ERROR;
    }
  }
  gst_video_frame_unmap(&output);
  return result;
}

void setProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
  if (!qov::gst::setMatteExtraProperty(object, kFirstExtraId, id, value))
    asTwoInputMatte(object)->parameters.setProperty(object, id, value, pspec);
}

void getProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
  if (!qov::gst::getMatteExtraProperty(object, kFirstExtraId, id, value))
    asTwoInputMatte(object)->parameters.getProperty(object, id, value, pspec);
}

void finalize(GObject* object) {
  asTwoInputMatte(object)->threads.release();
  G_OBJECT_CLASS(qov_mi_set_matte_parent_class)->finalize(object);
}

guint childrenCount(GstChildProxy* /*proxy*/) { return 2; }

GObject* childByIndex(GstChildProxy* proxy, guint index) {
  QovMISetMatte* self = asTwoInputMatte(proxy);
  GstVideoAggregatorPad* pad = index == 0 ? self->colour : index == 1 ? self->mask : nullptr;
  return pad == nullptr ? nullptr : G_OBJECT(gst_object_ref(pad));
}

void initChildProxy(gpointer interface, gpointer /*data*/) {
  auto* proxy = static_cast<GstChildProxyInterface*>(interface);
  proxy->get_children_count = childrenCount;
  proxy->get_child_by_index = childByIndex;
}

GstVideoAggregatorPad* addInputPad(QovMISetMatte* self, const char* name) {
  GstPadTemplate* padTemplate = gst_element_class_get_pad_template(GST_ELEMENT_GET_CLASS(self), name);
  GstPad* pad = GST_PAD(g_object_new(qov_matte_input_pad_get_type(), "name", name, "direction", GST_PAD_SINK,
                                     "template", padTemplate, nullptr));
  gst_element_add_pad(GST_ELEMENT(self), pad);
  return GST_VIDEO_AGGREGATOR_PAD(pad);
}

}  // namespace

static void qov_matte_input_pad_class_init(QovMatteInputPadClass* klass) {
  GST_VIDEO_AGGREGATOR_CONVERT_PAD_CLASS(klass)->create_conversion_info = createConversionInfo;
}

static void qov_matte_input_pad_init(QovMatteInputPad* /*pad*/) {}

static void qov_mi_set_matte_class_init(QovMISetMatteClass* klass) {
  GObjectClass* objectClass = G_OBJECT_CLASS(klass);
  objectClass->set_property = setProperty;
  objectClass->get_property = getProperty;
  objectClass->finalize = finalize;
  qov::gst::installParameterProperties(objectClass, kSpecs.data(), static_cast<int>(kSpecs.size()));
  qov::gst::installMatteExtraProperties(objectClass, kFirstExtraId);

  GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
  gst_element_class_set_static_metadata(
      elementClass, "Qov MI Set Matte", "Filter/Editor/Video/Compositor",
      "2 inputs: uses one input as alpha/transparency for the other: the colour of the input on \"colour\" with a "
      "mask computed from the blue, green, red and alpha of the input on \"mask\"",
      "Qov team");
  gst_element_class_add_static_pad_template_with_gtype(elementClass, &colourTemplate,
                                                       qov_matte_input_pad_get_type());
  gst_element_class_add_static_pad_template_with_gtype(elementClass, &maskTemplate, qov_matte_input_pad_get_type());
  gst_element_class_add_static_pad_template_with_gtype(elementClass, &srcTemplate, GST_TYPE_AGGREGATOR_PAD);

  GstAggregatorClass* aggregatorClass = GST_AGGREGATOR_CLASS(klass);
  aggregatorClass->fixate_src_caps = fixateSrcCaps;
  aggregatorClass->negotiated_src_caps = negotiatedSrcCaps;
  aggregatorClass->stop = stop;

  GstVideoAggregatorClass* videoClass = GST_VIDEO_AGGREGATOR_CLASS(klass);
  videoClass->find_best_format = findBestFormat;
  videoClass->aggregate_frames = aggregateFrames;
}

static void qov_mi_set_matte_init(QovMISetMatte* self) {
  self->parameters.reset(kSpecs.data(), static_cast<int>(kSpecs.size()));
  self->colour = addInputPad(self, kColourPad);
  self->mask = addInputPad(self, kMaskPad);
}

namespace qov::gst {

GType twoInputMatteType() { return qov_mi_set_matte_get_type(); }

}  // namespace qov::gst
