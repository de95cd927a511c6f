// QovVideoFilter, what the elements qovmlaa and qovsetmatte share: an abstract video filter
// that processes a frame in place when its buffer is writable (and every memory of it),
// otherwise from the input into a new buffer, which leaves the input untouched. Either way
// the frames are mapped as they are, with their own strides: a padded frame is not copied.
// It also counts the element as a user of the worker threads until it stops.
#pragma once

#include <gst/video/gstvideofilter.h>

#include "gst/element_threads.h"

struct QovVideoFilter {
  GstVideoFilter parent;
  qov::gst::ElementThreads threads;
};

struct QovVideoFilterClass {
  GstVideoFilterClass parent_class;
  // One frame: `input` and `output` are mapped with the negotiated infos, and are the same
  // frame when the buffer is processed in place. `streamTime` is the input's position in
  // the stream (for controlled properties), or GST_CLOCK_TIME_NONE.
  GstFlowReturn (*process)(QovVideoFilter* filter, const GstVideoFrame* input, GstVideoFrame* output,
                           GstClockTime streamTime);
};

GType qov_video_filter_get_type();
#define QOV_TYPE_VIDEO_FILTER (qov_video_filter_get_type())
#define QOV_VIDEO_FILTER(object) (G_TYPE_CHECK_INSTANCE_CAST((object), QOV_TYPE_VIDEO_FILTER, QovVideoFilter))
#define QOV_VIDEO_FILTER_GET_CLASS(object) \
  (G_TYPE_INSTANCE_GET_CLASS((object), QOV_TYPE_VIDEO_FILTER, QovVideoFilterClass))
