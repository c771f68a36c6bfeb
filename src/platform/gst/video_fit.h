// What clip.cpp takes from video_fit.cpp: a clip's frames brought down to the size
// they are shown at before they are converted to the window's pixels.
#pragma once

#include <gst/gst.h>

#include "../common/layer.h"

namespace fwgst {

struct VideoFit {
    GstElement* scaler = nullptr;  // the scaler, referenced
    GstElement* size = nullptr;    // the capsfilter after it, referenced
    int width = 0, height = 0;     // the size asked for; 0 while frames pass as they are
};

// playbin's video filter (floating), whose size fit keeps; null when GStreamer lacks
// a part, and frames then reach the sink as decoded.
GstElement* videoFitMake(VideoFit* fit);
// Streaming thread, with each frame the sink takes: the next frames come at the size
// video shows them when that has fewer pixels than the decoded frames, else as
// decoded.
void videoFitFollow(VideoFit* fit, fwlayer::ChildVideo* video, GstSample* sample);
// While the pipeline is stopped, before it opens another file: frames pass as decoded.
void videoFitReset(VideoFit* fit);
// Once the pipeline is down.
void videoFitRelease(VideoFit* fit);

}  // namespace fwgst
