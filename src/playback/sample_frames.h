// Decoded pictures handed out without a copy: a frame keeps its GStreamer sample mapped for
// as long as any pane or snapshot holds it.
#pragma once

#include <memory>

#include "playback/video_surface.h"

typedef struct _GstSample GstSample;

namespace qelv::media {

// A frame over `sample`'s picture, taking over the caller's reference; null (and the sample
// released) when the sample holds no I420 picture.
std::shared_ptr<VideoFrame> frameOfSample(GstSample* sample);

}  // namespace qelv::media
