// The libav video decoders, set for the player's small pictures.
//
// Implements: tuneVideoDecoder (direct rendering off; the thread count chosen
//   from the first caps, before the codec opens).
// Does not: touch audio decoders (they have neither property) or other decoders.
#include "decoders.h"

#include <cstdint>

namespace fwgst {

namespace {

// The program's video area: pictures up to this many pixels decode on one thread.
constexpr int64_t kOneThreadPixels = 640 * 480;

// On a libav video decoder's input, before it opens its codec for these caps:
// one thread for a picture no larger than the video area. Frame threads cost more
// to start with every clip, and more CPU per picture, than they save at that size;
// larger pictures keep them (0: as many as there are cores).
GstPadProbeReturn onDecoderCaps(GstPad* pad, GstPadProbeInfo* info, gpointer) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (!event || GST_EVENT_TYPE(event) != GST_EVENT_CAPS) return GST_PAD_PROBE_OK;
    GstCaps* caps = nullptr;
    gst_event_parse_caps(event, &caps);
    const GstStructure* format = caps && gst_caps_get_size(caps) > 0 ? gst_caps_get_structure(caps, 0) : nullptr;
    int width = 0, height = 0;
    bool small = format && gst_structure_get_int(format, "width", &width) &&
                 gst_structure_get_int(format, "height", &height) && int64_t(width) * height <= kOneThreadPixels;
    GstElement* decoder = gst_pad_get_parent_element(pad);
    if (!decoder) return GST_PAD_PROBE_OK;
    g_object_set(decoder, "max-threads", small ? 1 : 0, nullptr);
    gst_object_unref(decoder);
    return GST_PAD_PROBE_OK;
}

}  // namespace

// The libav video decoders' direct rendering hands each picture downstream while
// the codec still holds it as a reference, so its buffer cannot go back to the
// pool: a fresh one is mapped and faulted in for every frame (the allocator maps
// anything this large, see the entry point). Decoding into the codec's own reused
// pictures and copying each out costs less than those page faults.
void tuneVideoDecoder(GstElement* decoder) {
    GObjectClass* type = G_OBJECT_GET_CLASS(decoder);
    if (g_object_class_find_property(type, "direct-rendering"))
        g_object_set(decoder, "direct-rendering", FALSE, nullptr);
    GstPad* input = gst_element_get_static_pad(decoder, "sink");
    if (!input) return;
    if (g_object_class_find_property(type, "max-threads"))
        gst_pad_add_probe(input, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, onDecoderCaps, nullptr, nullptr);
    gst_object_unref(input);
}

}  // namespace fwgst
