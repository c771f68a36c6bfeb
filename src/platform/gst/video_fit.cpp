// A clip larger than its video area, scaled down in the pipeline.
//
// Implements: videoFitMake (a bin of videoscale and a capsfilter, which playbin
//   puts between the decoder and its converter to the sink's 32-bit pixels) and
//   videoFitFollow (on each frame the sink takes, from the size the area is shown
//   at on the window: a decoded frame with more pixels than that is asked for at
//   that size, anything else as decoded).
// Does not: enlarge (the renderer scales a smaller frame up as it draws it), keep
//   the aspect ratio (the area is filled, as the renderer fills it), or resize the
//   frame at hand: the frames after it come at the new size.
//
// Why: the renderer would convert every decoded pixel to 32 bits and then scale the
// result down. Scaling the decoder's YUV planes first converts a quarter of the
// pixels of a 1280 x 720 clip shown at 640 x 480 and a seventh of a 1920 x 1080
// one, and a frame of the area's size is put on the window without a copy.
#include "video_fit.h"

namespace fwgst {

namespace {

bool sizeOf(GstCaps* caps, int* width, int* height) {
    GstStructure* structure = caps && gst_caps_get_size(caps) > 0 ? gst_caps_get_structure(caps, 0) : nullptr;
    return structure && gst_structure_get_int(structure, "width", width) &&
           gst_structure_get_int(structure, "height", height);
}

// The size decoded frames have, before the scaler.
bool decodedSize(const VideoFit* fit, int* width, int* height) {
    GstPad* input = gst_element_get_static_pad(fit->scaler, "sink");
    GstCaps* caps = gst_pad_get_current_caps(input);
    bool known = sizeOf(caps, width, height);
    if (caps) gst_caps_unref(caps);
    gst_object_unref(input);
    return known;
}

void askSize(VideoFit* fit, int width, int height) {
    GstCaps* caps = width > 0 ? gst_caps_new_simple("video/x-raw", "width", G_TYPE_INT, width, "height", G_TYPE_INT,
                                                    height, nullptr)
                              : gst_caps_new_empty_simple("video/x-raw");
    // A new size makes the scaler negotiate again before its next frame.
    g_object_set(fit->size, "caps", caps, nullptr);
    gst_caps_unref(caps);
    fit->width = width;
    fit->height = height;
}

}  // namespace

GstElement* videoFitMake(VideoFit* fit) {
    GstElement* scaler = gst_element_factory_make("videoscale", nullptr);
    GstElement* size = gst_element_factory_make("capsfilter", nullptr);
    if (!scaler || !size) {
        for (GstElement* element : {scaler, size})
            if (element) gst_object_unref(gst_object_ref_sink(element));
        return nullptr;
    }
    GstElement* bin = gst_bin_new(nullptr);
    gst_bin_add_many(GST_BIN(bin), scaler, size, nullptr);
    gst_element_link(scaler, size);
    GstPad* input = gst_element_get_static_pad(scaler, "sink");
    GstPad* output = gst_element_get_static_pad(size, "src");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", input));
    gst_element_add_pad(bin, gst_ghost_pad_new("src", output));
    gst_object_unref(input);
    gst_object_unref(output);
    fit->scaler = GST_ELEMENT(gst_object_ref(scaler));
    fit->size = GST_ELEMENT(gst_object_ref(size));
    return bin;
}

void videoFitFollow(VideoFit* fit, fwlayer::ChildVideo* video, GstSample* sample) {
    int shownWidth = 0, shownHeight = 0, width = 0, height = 0;
    if (!fit->size || !fwlayer::childVideoShownSize(video, &shownWidth, &shownHeight)) return;
    if (fit->width == shownWidth && fit->height == shownHeight) return;
    // Passing frames through, the frame at hand has the decoded size; scaling, ask the scaler.
    bool known =
        fit->width == 0 ? sizeOf(gst_sample_get_caps(sample), &width, &height) : decodedSize(fit, &width, &height);
    if (!known) return;
    bool larger = static_cast<long long>(width) * height > static_cast<long long>(shownWidth) * shownHeight;
    if (larger) askSize(fit, shownWidth, shownHeight);
    else if (fit->width != 0) askSize(fit, 0, 0);
}

void videoFitReset(VideoFit* fit) {
    if (fit->size && fit->width != 0) askSize(fit, 0, 0);
}

void videoFitRelease(VideoFit* fit) {
    for (GstElement** element : {&fit->scaler, &fit->size}) {
        if (*element) gst_object_unref(*element);
        *element = nullptr;
    }
}

}  // namespace fwgst
