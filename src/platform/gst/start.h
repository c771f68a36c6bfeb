// What clip.cpp takes from start.cpp: the audio sink of a new clip.
#pragma once

#include <gst/gst.h>

namespace fwgst {

// The default audio output, or (with *silent set) a fake sink paced by the clock
// when there is none; null when GStreamer has neither.
GstElement* makeAudioSink(bool* silent);

}  // namespace fwgst
