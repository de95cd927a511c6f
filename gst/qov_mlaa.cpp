// qovmlaa, QovMLAA1 as a GStreamer video filter: morphological antialiasing of each frame,
// mixed with the original by "strength", in any of the RGB formats, 3 or 4 bytes per pixel.
//
// The fourth byte of every pixel leaves as it came. In a format where it is padding (BGRx,
// RGBx, xRGB, xBGR) it carries no alpha, so "use-alpha" has no effect there: padding never
// counts as an edge.
#include <new>

#include "effects/antialias/antialias_parameters.h"
#include "effects/antialias/frame_pipeline.h"
#include "effects/parallel/chunking.h"
#include "effects/parallel/worker_pool.h"
#include "gst/element_parameters.h"
#include "gst/elements.h"
#include "gst/video_filter_base.h"
#include "gst/video_formats.h"
#include "plugins/QovMLAA1/identity.h"

namespace {

using qov::gst::FormatLayout;

const auto& kSpecs = qov::mlaa1::kParameterSpecs;

}  // namespace

struct QovMlaa {
  QovVideoFilter parent;
  qov::gst::ElementParameters parameters;
  const FormatLayout* layout;  // from set_info
  // The effect's working memory for this stream, taken when the size is negotiated. A C++
  // object: constructed in the instance's init, destroyed in finalize.
  qov::aa::AntialiasWorkspace workspace;
};

struct QovMlaaClass {
  QovVideoFilterClass parent_class;
};

G_DEFINE_TYPE(QovMlaa, qov_mlaa, QOV_TYPE_VIDEO_FILTER)

namespace {

QovMlaa* asMlaa(gpointer object) { return G_TYPE_CHECK_INSTANCE_CAST(object, qov_mlaa_get_type(), QovMlaa); }

GstStaticPadTemplate sinkTemplate =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(QOV_GST_ALL_CAPS));
GstStaticPadTemplate srcTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(QOV_GST_ALL_CAPS));

gboolean setInfo(GstVideoFilter* filter, GstCaps* /*incaps*/, GstVideoInfo* in, GstCaps* /*outcaps*/,
                 GstVideoInfo* out) {
  QovMlaa* self = asMlaa(filter);
  const FormatLayout* layout = qov::gst::formatLayout(GST_VIDEO_INFO_FORMAT(in));
  if (layout == nullptr || GST_VIDEO_INFO_FORMAT(out) != GST_VIDEO_INFO_FORMAT(in) ||
      GST_VIDEO_INFO_WIDTH(in) != GST_VIDEO_INFO_WIDTH(out) || GST_VIDEO_INFO_HEIGHT(in) != GST_VIDEO_INFO_HEIGHT(out))
    return FALSE;
  const int width = GST_VIDEO_INFO_WIDTH(in), height = GST_VIDEO_INFO_HEIGHT(in);
  // A smaller frame is served by the memory taken for a larger one.
  if (!self->workspace.fits(width, height) && !self->workspace.allocate(width, height)) {
    GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("Not enough memory to antialias frames of %dx%d pixels", width, height),
                      (nullptr));
    return FALSE;
  }
  self->layout = layout;
  QOV_VIDEO_FILTER(filter)->threads.useFor(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  return TRUE;
}

GstFlowReturn process(QovVideoFilter* filter, const GstVideoFrame* input, GstVideoFrame* output,
                      GstClockTime streamTime) {
  QovMlaa* self = asMlaa(filter);
  float values[qov::parameters::kMaxParameters];
  self->parameters.read(GST_OBJECT(self), streamTime, values);
  qov::aa::AntialiasSettings settings = qov::aa::antialiasSettingsFrom(values);
  if (!self->layout->fourthIsAlpha) settings.useAlpha = false;
  // The antialiasing runs several passes over the frame: the workers stay up between them.
  const qov::parallel::FrameScope frame(
      filter->threads.pool(), qov::parallel::frameChunks(static_cast<std::size_t>(GST_VIDEO_FRAME_WIDTH(input)) *
                                                         static_cast<std::size_t>(GST_VIDEO_FRAME_HEIGHT(input))));
  const bool done = qov::aa::antialiasFrame(
      static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(input, 0)), GST_VIDEO_FRAME_PLANE_STRIDE(input, 0),
      static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(output, 0)), GST_VIDEO_FRAME_PLANE_STRIDE(output, 0),
      GST_VIDEO_FRAME_WIDTH(input), GST_VIDEO_FRAME_HEIGHT(input), qov::gst::antialiasLayoutOf(*self->layout),
      settings, self->workspace, filter->threads.pool());
  if (!done) {
    GST_ELEMENT_ERROR(self, STREAM, FAILED, (nullptr), ("a frame the antialiasing refused"));
    return GST_FLOW_ERROR;
  }
  return GST_FLOW_OK;
}

void setProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
  asMlaa(object)->parameters.setProperty(object, id, value, pspec);
}

void getProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
  asMlaa(object)->parameters.getProperty(object, id, value, pspec);
}

void finalize(GObject* object) {
  asMlaa(object)->workspace.~AntialiasWorkspace();
  G_OBJECT_CLASS(qov_mlaa_parent_class)->finalize(object);
}

}  // namespace

static void qov_mlaa_class_init(QovMlaaClass* klass) {
  GObjectClass* objectClass = G_OBJECT_CLASS(klass);
  objectClass->set_property = setProperty;
  objectClass->get_property = getProperty;
  objectClass->finalize = finalize;
  qov::gst::installParameterProperties(objectClass, kSpecs.data(), static_cast<int>(kSpecs.size()));

  GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
  gst_element_class_set_static_metadata(
      elementClass, "Qov MLAA", "Filter/Effect/Video",
      "MLAA Post Processing (Morphological Antialiasing): finds the colour edges of the picture, follows each edge "
      "along its run and blends the pixels on both sides by the shape of its ends, smoothing jagged staircases; then "
      "mixes the result with the original by strength",
      "Qov team");
  gst_element_class_add_static_pad_template(elementClass, &sinkTemplate);
  gst_element_class_add_static_pad_template(elementClass, &srcTemplate);

  GST_VIDEO_FILTER_CLASS(klass)->set_info = setInfo;
  reinterpret_cast<QovVideoFilterClass*>(klass)->process = process;
}

static void qov_mlaa_init(QovMlaa* self) {
  new (&self->workspace) qov::aa::AntialiasWorkspace();
  self->parameters.reset(kSpecs.data(), static_cast<int>(kSpecs.size()));
}

namespace qov::gst {

GType antialiasType() { return qov_mlaa_get_type(); }

}  // namespace qov::gst
