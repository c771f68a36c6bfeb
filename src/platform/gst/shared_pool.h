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
// Lends the sample's frame to video, mapped (and so referenced) until video hands
// it back; in place, with its shared memory segment when it came from such a pool.
void lendFrame(fwlayer::ChildVideo* video, GstSample* sample);

}  // namespace fwgst
