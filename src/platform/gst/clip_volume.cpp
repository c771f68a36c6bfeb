// The clip's volume element, ours rather than playbin's.
//
// Implements: withVolume (a bin of a volume element and the clip's audio sink,
//   which playbin takes as a sink with a volume of its own and sets as the clip's).
// Does not: set the volume (playbin does, from the graph's put_Volume).
//
// Why: asked for software volume without a sink that has one, playbin's audio
// converter (GStreamer 1.22) keeps the volume element it makes one reference too
// many, so that element and its pads outlived every clip.
#include "clip_volume.h"

namespace fwgst {

GstElement* withVolume(GstElement* sink) {
    GstElement* volume = gst_element_factory_make("volume", nullptr);
    if (!volume) return sink;
    GstElement* bin = gst_bin_new(nullptr);
    gst_bin_add_many(GST_BIN(bin), volume, sink, nullptr);
    gst_element_link(volume, sink);
    GstPad* input = gst_element_get_static_pad(volume, "sink");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", input));
    gst_object_unref(input);
    return bin;
}

}  // namespace fwgst
