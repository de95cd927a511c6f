// The shared video filter: in place or into a new buffer, and the worker threads.
#include "gst/video_filter_base.h"

G_DEFINE_ABSTRACT_TYPE(QovVideoFilter, qov_video_filter, GST_TYPE_VIDEO_FILTER)

namespace {

// The subclass's process, from a C caller: GStreamer dies of a C++ exception, so one (the
// effects throw none of their own) ends the stream with an error instead.
GstFlowReturn processFrames(GstBaseTransform* trans, const GstVideoFrame* input, GstVideoFrame* output,
                            GstClockTime streamTime) {
  try {
    return QOV_VIDEO_FILTER_GET_CLASS(trans)->process(QOV_VIDEO_FILTER(trans), input, output, streamTime);
  } catch (...) {
    GST_ELEMENT_ERROR(trans, CORE, FAILED, (nullptr), ("the effect failed"));
    return GST_FLOW_ERROR;
  }
}

GstClockTime streamTimeOf(GstBaseTransform* trans, GstBuffer* buffer) {
  if (trans->segment.format != GST_FORMAT_TIME || !GST_BUFFER_PTS_IS_VALID(buffer)) return GST_CLOCK_TIME_NONE;
  return gst_segment_to_stream_time(&trans->segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
}

// The input itself when the element may write into it: no other holder of the buffer or of
// its memory sees the change, and the buffer's description of its frame, if it has one,
// can name the output's format (such a description may belong to the upstream pool, which
// would hand the buffer out again with the format changed). Otherwise the default, a new
// buffer.
GstFlowReturn prepareOutputBuffer(GstBaseTransform* trans, GstBuffer* input, GstBuffer** output) {
  const GstVideoMeta* meta = gst_buffer_get_video_meta(input);
  const bool sameFormat =
      meta == nullptr || meta->format == GST_VIDEO_INFO_FORMAT(&GST_VIDEO_FILTER(trans)->out_info);
  if (sameFormat && gst_buffer_is_writable(input) && gst_buffer_is_all_memory_writable(input)) {
    *output = input;
    return GST_FLOW_OK;
  }
  return GST_BASE_TRANSFORM_CLASS(qov_video_filter_parent_class)->prepare_output_buffer(trans, input, output);
}

GstFlowReturn transformInPlace(GstBaseTransform* trans, GstBuffer* buffer) {
  GstVideoFilter* filter = GST_VIDEO_FILTER(trans);
  if (!filter->negotiated) {
    GST_ELEMENT_ERROR(trans, CORE, NOT_IMPLEMENTED, (nullptr), ("a frame arrived before its format"));
    return GST_FLOW_NOT_NEGOTIATED;
  }
  // The output format lays its bytes out as the input's (BGRx comes out as BGRA); a
  // buffer processed in place has no description naming another format.
  GstVideoFrame frame;
  if (!gst_video_frame_map(&frame, &filter->out_info, buffer, GST_MAP_READWRITE)) {
    GST_ELEMENT_ERROR(trans, CORE, FAILED, (nullptr), ("a buffer too small for its frame"));
    return GST_FLOW_ERROR;
  }
  const GstFlowReturn result = processFrames(trans, &frame, &frame, streamTimeOf(trans, buffer));
  gst_video_frame_unmap(&frame);
  return result;
}

GstFlowReturn transform(GstBaseTransform* trans, GstBuffer* input, GstBuffer* output) {
  if (input == output) return transformInPlace(trans, output);
  // GstVideoFilter maps both frames and calls transformFrame.
  return GST_BASE_TRANSFORM_CLASS(qov_video_filter_parent_class)->transform(trans, input, output);
}

GstFlowReturn transformFrame(GstVideoFilter* filter, GstVideoFrame* input, GstVideoFrame* output) {
  GstBaseTransform* trans = GST_BASE_TRANSFORM(filter);
  return processFrames(trans, input, output, streamTimeOf(trans, input->buffer));
}

gboolean stop(GstBaseTransform* trans) {
  QOV_VIDEO_FILTER(trans)->threads.release();
  const auto parentStop = GST_BASE_TRANSFORM_CLASS(qov_video_filter_parent_class)->stop;
  return parentStop == nullptr || parentStop(trans);
}

void finalize(GObject* object) {
  QOV_VIDEO_FILTER(object)->threads.release();
  G_OBJECT_CLASS(qov_video_filter_parent_class)->finalize(object);
}

}  // namespace

static void qov_video_filter_class_init(QovVideoFilterClass* klass) {
  G_OBJECT_CLASS(klass)->finalize = finalize;
  GstBaseTransformClass* trans = GST_BASE_TRANSFORM_CLASS(klass);
  trans->prepare_output_buffer = prepareOutputBuffer;
  trans->transform = transform;
  trans->stop = stop;
  GST_VIDEO_FILTER_CLASS(klass)->transform_frame = transformFrame;
}

static void qov_video_filter_init(QovVideoFilter* /*filter*/) {}
