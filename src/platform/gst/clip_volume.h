// What clip.cpp takes from clip_volume.cpp: the volume element before a clip's audio sink.
#pragma once

#include <gst/gst.h>

namespace fwgst {

// sink (floating) behind a volume element of its own, in a bin: playbin's audio
// sink, whose volume playbin sets as the clip's. sink itself when no volume
// element can be made.
GstElement* withVolume(GstElement* sink);

}  // namespace fwgst
