// What clip.cpp takes from decoders.cpp: settings for the decoders a playbin adds.
#pragma once

#include <gst/gst.h>

namespace fwgst {

// Tunes a libav video decoder as it is added: no direct rendering, and one
// thread for pictures no larger than the video area.
void tuneVideoDecoder(GstElement* decoder);

}  // namespace fwgst
