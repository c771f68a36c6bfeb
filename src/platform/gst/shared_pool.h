// Decoded frames in shared memory the X server reads in place (see
// common/shared_frames.cpp): the video sink offers a pool of them upstream while a
// presenter wants them.
#pragma once

#include <gst/gst.h>

#include "../common/layer.h"

namespace fwgst {

// Answers the allocation queries reaching sink with a pool of shared-memory frames,
// while fwlayer::sharedFramesAreWanted().
void offerSharedFrames(GstElement* sink);
// The segment a buffer's pixels lie in, when it came from such a pool.
bool sharedSegmentOf(GstBuffer* buffer, fwlayer::SharedFrameSegment* segment);

}  // namespace fwgst
