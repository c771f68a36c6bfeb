// What runs on a clip's streaming threads: its frames kept and shown, its bus
// messages noted, and the elements playbin adds tuned.
//
// Implements: the video sink's frames (the latest one kept to stand on, shown
//   unless the graph is stopped), errors, end of stream, the pipeline's async
//   completions and missing-plugin notes from the bus; video decoders' threading,
//   and the later seek start and measured length of MPEG program and transport
//   streams.
// Does not: run a GLib main loop (every message is handled and dropped as it is
//   posted), or act on any other message.
#include "clip_state.h"
#include "decoders.h"
#include "missing_plugins.h"
#include "shared_pool.h"
#include "stream_errors.h"

#include <gst/app/gstappsink.h>

#include <cstring>

namespace fwgst {

namespace {

// How far before the asked position a seek starts at first in a container whose
// demuxer lands late (see onElementAdded): its mux delay plus a group of pictures;
// and how far before it the first picture decoded must lie, as its time stamp may
// be a guess (accurate_seek.h).
constexpr gint64 kLateDemuxerLeadNs = 1500 * GST_MSECOND;
constexpr gint64 kLateDemuxerMarginNs = 250 * GST_MSECOND;

// Streaming thread: keep the sample as the one the clip stands on, and show it
// unless the graph is stopped.
GstFlowReturn takeSample(Clip* clip, GstSample* sample) {
    if (!sample) return GST_FLOW_OK;
    videoFitFollow(&clip->fit, clip->video, sample);
    bool show;
    {
        std::lock_guard<std::mutex> guard(clip->lock);
        if (clip->lastSample) gst_sample_unref(clip->lastSample);
        clip->lastSample = gst_sample_ref(sample);
        clip->lastSampleSerial = clip->seekSerial;
        show = clip->showFrames;
    }
    if (show) lendFrame(clip->video, sample);
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

GstFlowReturn onNewPreroll(GstAppSink* sink, gpointer user) {
    return takeSample(static_cast<Clip*>(user), gst_app_sink_pull_preroll(sink));
}

GstFlowReturn onNewSample(GstAppSink* sink, gpointer user) {
    return takeSample(static_cast<Clip*>(user), gst_app_sink_pull_sample(sink));
}

// Runs on whichever thread posts; every message is dropped here, so nothing piles
// up on a bus that no main loop reads.
GstBusSyncReply onBusMessage(GstBus*, GstMessage* message, gpointer user) {
    Clip* clip = static_cast<Clip*>(user);
    {
        std::lock_guard<std::mutex> guard(clip->lock);
        clip->lastMessage = std::chrono::steady_clock::now();
    }
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR: {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        HRESULT hr = errorToHresult(error);
        if (error) g_error_free(error);
        std::lock_guard<std::mutex> guard(clip->lock);
        if (clip->error == S_OK) clip->error = hr;
        clip->changed.notify_all();
        break;
    }
    case GST_MESSAGE_EOS: {
        std::lock_guard<std::mutex> guard(clip->lock);
        clip->endOfStream = true;
        break;
    }
    case GST_MESSAGE_ASYNC_DONE:
        if (GST_MESSAGE_SRC(message) == GST_OBJECT(clip->pipeline)) {
            std::lock_guard<std::mutex> guard(clip->lock);
            ++clip->asyncDoneCount;
            clip->changed.notify_all();
        }
        break;
    case GST_MESSAGE_ELEMENT: {
        std::string missing = missingPluginDetail(message);
        if (missing.empty()) break;
        std::lock_guard<std::mutex> guard(clip->lock);
        clip->missingPlugins.push_back(missing);
        break;
    }
    default: break;
    }
    // A handler that drops a message owns it.
    gst_message_unref(message);
    return GST_BUS_DROP;
}

// MPEG program and transport stream demuxers find a seek's place by the
// system clock references, which run ahead of the pictures' time stamps by the
// mux delay: they land after the key frame the asked picture needs, so their
// seeks start earlier. They reckon the length from the first and the last time
// stamp they find near the file's ends, frames short.
void onElementAdded(GstBin*, GstBin*, GstElement* element, gpointer user) {
    GstElementFactory* factory = gst_element_get_factory(element);
    if (!factory) return;
    const char* name = gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory));
    if (g_str_has_prefix(name, "avdec_")) tuneVideoDecoder(element);  // audio decoders have neither property
    if (std::strcmp(name, "mpegpsdemux") == 0 || std::strcmp(name, "tsdemux") == 0) {
        Clip* clip = static_cast<Clip*>(user);
        seekerSetLead(clip->seeker, kLateDemuxerLeadNs, kLateDemuxerMarginNs);
        clip->lengthEstimated = true;
        std::lock_guard<std::mutex> guard(clip->lock);
        if (!clip->endMeasurement) clip->endMeasurement = endMeasurementStart(clip->path.c_str());
    }
}

}  // namespace

gint64 takeMeasuredEnd(Clip* clip) {
    EndMeasurement* measurement = nullptr;
    {
        std::lock_guard<std::mutex> guard(clip->lock);
        std::swap(measurement, clip->endMeasurement);
    }
    return measurement ? endMeasurementFinish(measurement) : -1;
}

GstElement* makeVideoSink(Clip* clip) {
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    if (!sink) return nullptr;
    GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", nullptr);
    // qos lets late frames be skipped on a slow machine instead of drifting behind.
    g_object_set(sink, "caps", caps, "sync", TRUE, "qos", TRUE, "enable-last-sample", FALSE, "max-buffers", 2, nullptr);
    gst_caps_unref(caps);
    GstAppSinkCallbacks callbacks = {};
    callbacks.new_preroll = onNewPreroll;
    callbacks.new_sample = onNewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, clip, nullptr);
    offerSharedFrames(sink);
    return sink;
}

void watchClip(Clip* clip) {
    g_signal_connect(clip->pipeline, "deep-element-added", G_CALLBACK(onElementAdded), clip);
    GstBus* bus = gst_element_get_bus(clip->pipeline);
    gst_bus_set_sync_handler(bus, onBusMessage, clip, nullptr);
    gst_object_unref(bus);
}

}  // namespace fwgst
