// A picture from a clip (clip_frame.h): playbin with its video alone, paused on the
// picture asked for, handing it to an appsink.
#include "clip_frame.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <cstring>

namespace {

const GstClockTime kWait = 20 * GST_SECOND;  // for each pause and each seek
const double kPlaces[] = {0.1, 0.3, 0.5};    // along the clip, tried in turn while the picture is black
const int kPlayVideoOnly = 0x1;              // playbin's flags: video; no audio, subtitles or visualisation
const uint8_t kBlackest = 24;                // a picture with no channel above this is black

// The pipeline's error, or what else kept it from pausing on a picture.
std::string pipelineFault(GstElement* pipeline) {
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
    gst_object_unref(bus);
    if (!message) return "GStreamer gave no picture within " + std::to_string(kWait / GST_SECOND) + " s";
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    std::string why = error ? error->message : "GStreamer failed";
    g_clear_error(&error);
    gst_message_unref(message);
    return why;
}

// Waits until the pipeline stands paused on a picture (after a pause or a seek).
bool settled(GstElement* pipeline) {
    return gst_element_get_state(pipeline, nullptr, nullptr, kWait) == GST_STATE_CHANGE_SUCCESS;
}

bool takeSample(GstElement* sink, ClipFrame* frame) {
    GstSample* sample = gst_app_sink_try_pull_preroll(GST_APP_SINK(sink), 0);
    if (!sample) return false;
    GstVideoInfo info;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    bool ok = gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) && buffer &&
              gst_buffer_map(buffer, &map, GST_MAP_READ);
    if (ok) {
        frame->width = GST_VIDEO_INFO_WIDTH(&info);
        frame->height = GST_VIDEO_INFO_HEIGHT(&info);
        size_t rowBytes = static_cast<size_t>(frame->width) * 4, stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
        ok = map.size >= stride * (frame->height - 1) + rowBytes;
        frame->bgrx.resize(rowBytes * frame->height);
        for (int32_t y = 0; ok && y < frame->height; ++y)
            std::memcpy(frame->bgrx.data() + y * rowBytes, map.data + y * stride, rowBytes);
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
    return ok;
}

bool isBlack(const ClipFrame& frame) {
    for (size_t i = 0; i < frame.bgrx.size(); i += 4)
        if (std::max({frame.bgrx[i], frame.bgrx[i + 1], frame.bgrx[i + 2]}) > kBlackest) return false;
    return true;
}

// The appsink, behind a scaler into the cell with bars when fit is asked for.
GstElement* makeVideoSink(int32_t fitWidth, int32_t fitHeight, GstElement** sink) {
    if (fitWidth <= 0 || fitHeight <= 0) {
        *sink = gst_element_factory_make("appsink", nullptr);
        GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", nullptr);
        if (*sink) g_object_set(*sink, "caps", caps, nullptr);
        gst_caps_unref(caps);
        return *sink;
    }
    std::string description =
        "videoscale method=lanczos add-borders=true ! appsink name=sink caps=video/x-raw,"
        "format=BGRx,pixel-aspect-ratio=1/1,width=" +
        std::to_string(fitWidth) + ",height=" + std::to_string(fitHeight);
    GstElement* bin = gst_parse_bin_from_description(description.c_str(), TRUE, nullptr);
    *sink = bin ? gst_bin_get_by_name(GST_BIN(bin), "sink") : nullptr;
    if (*sink) gst_object_unref(*sink);  // the bin holds it
    return bin;
}

// Pauses on each place in turn until a picture is not black.
bool pauseOnPicture(GstElement* pipeline, GstElement* sink, ClipFrame* frame) {
    if (gst_element_set_state(pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE || !settled(pipeline))
        return false;
    gint64 length = 0;
    if (!gst_element_query_duration(pipeline, GST_FORMAT_TIME, &length) || length <= 0) return takeSample(sink, frame);
    bool taken = false;
    for (double place : kPlaces) {
        auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
        if (!gst_element_seek_simple(pipeline, GST_FORMAT_TIME, flags, static_cast<gint64>(length * place)) ||
            !settled(pipeline))
            break;
        ClipFrame picture;
        if (!takeSample(sink, &picture)) break;
        *frame = std::move(picture);
        taken = true;
        if (!isBlack(*frame)) break;
    }
    return taken || takeSample(sink, frame);
}

}  // namespace

bool grabClipFrame(const char* path, int32_t fitWidth, int32_t fitHeight, ClipFrame* frame, std::string* why) {
    GError* error = nullptr;
    if (!gst_init_check(nullptr, nullptr, &error)) {
        g_clear_error(&error);
        *why = "GStreamer cannot start";
        return false;
    }
    GstElement* pipeline = gst_element_factory_make("playbin", nullptr);
    GstElement* sink = nullptr;
    GstElement* videoSink = pipeline ? makeVideoSink(fitWidth, fitHeight, &sink) : nullptr;
    gchar* uri = gst_filename_to_uri(path, nullptr);
    bool ok = false;
    if (!pipeline || !videoSink || !sink || !uri) {
        *why = "GStreamer lacks playbin, appsink or videoscale";
        if (videoSink) gst_object_unref(videoSink);
    } else {
        // A sink of its own for the sound, which is not played, keeps playbin from trying the machine's.
        GstElement* silence = gst_element_factory_make("fakesink", nullptr);
        g_object_set(pipeline, "uri", uri, "flags", kPlayVideoOnly, "video-sink", videoSink, "audio-sink", silence,
                     nullptr);
        ok = pauseOnPicture(pipeline, sink, frame);
        if (!ok) *why = pipelineFault(pipeline);
        gst_element_set_state(pipeline, GST_STATE_NULL);
    }
    g_free(uri);
    if (pipeline) gst_object_unref(pipeline);
    return ok;
}
