// One stream to the sound server: our pad, the converters and the server's sink
// in a pipeline on the system clock, playing the samples of one stretch of a
// clip's playing at the clip's own moments.
//
// Implements: building and opening it paused, the caps and segment ahead of the
//   first sample, starting it on a clip's base time, pushing samples at their
//   running times, taking it down on a thread of its own.
// Does not: pause or resume a stream (a server's timing reports can go wrong after
//   that; a new stretch of playing gets a new stream), or decide when the output
//   is lost (audio_output.cpp does).
#include "sound_stream.h"

#include <gst/audio/audio.h>

#include <initializer_list>
#include <thread>

namespace fwgst {

namespace {

std::atomic<int> gWaitingThreads{0};

// The sink plays each sample at its moment on the system clock, as the clip's own
// sink would have; the server's timing is used only within one stream.
GstElement* makeServerSink(const char* factory) {
    GstElement* sink = gst_element_factory_make(factory, nullptr);
    if (!sink) return nullptr;
    g_object_set(sink, "async", FALSE, nullptr);
    // A server's stream starts playing once a whole buffer's worth lies ahead of
    // it: keep that shorter than the samples' lead, so it starts at once.
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(sink), "buffer-time"))
        g_object_set(sink, "buffer-time", gint64(40000), "latency-time", gint64(10000), nullptr);
    return sink;
}

// Builds the stream's pipeline and links our pad to it; false when a part is missing.
bool buildStream(SoundStream* stream, const char* factory) {
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* resample = gst_element_factory_make("audioresample", nullptr);
    GstElement* sink = makeServerSink(factory);
    stream->pipeline = gst_pipeline_new(nullptr);
    gst_object_ref_sink(stream->pipeline);
    if (!convert || !resample || !sink) {
        for (GstElement* part : {convert, resample, sink})
            if (part) gst_object_unref(gst_object_ref_sink(part));
        return false;
    }
    gst_bin_add_many(GST_BIN(stream->pipeline), convert, resample, sink, nullptr);
    GstClock* system = gst_system_clock_obtain();
    gst_pipeline_use_clock(GST_PIPELINE(stream->pipeline), system);
    gst_object_unref(system);
    stream->feed = gst_pad_new("feed", GST_PAD_SRC);
    gst_pad_set_active(stream->feed, TRUE);
    GstPad* input = gst_element_get_static_pad(convert, "sink");
    bool linked =
        gst_element_link_many(convert, resample, sink, nullptr) && gst_pad_link(stream->feed, input) == GST_PAD_LINK_OK;
    gst_object_unref(input);
    return linked;
}

// Takes over the references to pipeline and feed.
void stopSoon(GstElement* pipeline, GstPad* feed) {
    ++gWaitingThreads;
    std::thread([pipeline, feed] {
        gst_element_set_state(pipeline, GST_STATE_NULL);
        if (feed) gst_object_unref(feed);
        gst_object_unref(pipeline);
        --gWaitingThreads;
    }).detach();
}

}  // namespace

bool soundStreamOpen(SoundStream* stream, const char* factory, GstBusSyncHandler onMessage, gpointer data,
                     GDestroyNotify freeData) {
    bool built = buildStream(stream, factory);
    GstBus* bus = gst_element_get_bus(stream->pipeline);
    gst_bus_set_sync_handler(bus, onMessage, data, freeData);
    gst_object_unref(bus);
    if (!built || gst_element_set_state(stream->pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) return false;
    gst_pad_push_event(stream->feed, gst_event_new_stream_start("fernwood2-sound"));
    return true;
}

void soundStreamSendCaps(SoundStream* stream, GstCaps* caps) {
    if (!caps || (stream->caps && gst_caps_is_equal(caps, stream->caps))) return;
    bool first = !stream->caps;
    gst_caps_replace(&stream->caps, caps);
    gst_pad_push_event(stream->feed, gst_event_new_caps(caps));
    GstSegment segment;
    gst_segment_init(&segment, GST_FORMAT_TIME);
    if (first) gst_pad_push_event(stream->feed, gst_event_new_segment(&segment));
}

bool soundStreamStart(SoundStream* stream, GstClockTime baseTime, GstClockTime from, GstClockTime lead, GstCaps* caps) {
    stream->started = true;
    stream->lead = lead;
    gst_element_set_start_time(stream->pipeline, GST_CLOCK_TIME_NONE);
    gst_element_set_base_time(stream->pipeline, baseTime);
    GstAudioInfo info;
    if (gst_element_set_state(stream->pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE || !caps ||
        !gst_audio_info_from_caps(&info, caps))
        return false;
    soundStreamSendCaps(stream, caps);
    gsize frames = gsize(gst_util_uint64_scale_int(lead, GST_AUDIO_INFO_RATE(&info), GST_SECOND));
    GstBuffer* silence = gst_buffer_new_allocate(nullptr, frames * GST_AUDIO_INFO_BPF(&info), nullptr);
    GstMapInfo map;
    if (gst_buffer_map(silence, &map, GST_MAP_WRITE)) {
        gst_audio_format_info_fill_silence(info.finfo, map.data, map.size);
        gst_buffer_unmap(silence, &map);
    }
    GST_BUFFER_PTS(silence) = GST_CLOCK_TIME_IS_VALID(from) ? from : 0;
    GST_BUFFER_DURATION(silence) = lead;
    return gst_pad_push(stream->feed, silence) == GST_FLOW_OK;
}

bool soundStreamPush(SoundStream* stream, GstSample* sample) {
    soundStreamSendCaps(stream, gst_sample_get_caps(sample));
    GstBuffer* buffer = gst_buffer_copy(gst_sample_get_buffer(sample));
    GST_BUFFER_PTS(buffer) = sampleRunningTime(sample) + stream->lead;
    GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
    return gst_pad_push(stream->feed, buffer) == GST_FLOW_OK;
}

void soundStreamDrop(SoundStream* stream) {
    if (stream->caps) gst_caps_unref(stream->caps);
    if (stream->pipeline) stopSoon(stream->pipeline, stream->feed);
    *stream = SoundStream();
}

void soundPipelineStopSoon(GstElement* pipeline) { stopSoon(GST_ELEMENT(gst_object_ref(pipeline)), nullptr); }

GstClockTime sampleRunningTime(GstSample* sample) {
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    const GstSegment* segment = gst_sample_get_segment(sample);
    if (!buffer || !segment) return GST_CLOCK_TIME_NONE;
    return gst_segment_to_running_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
}

std::atomic<int>& soundThreadsWaiting() { return gWaitingThreads; }

}  // namespace fwgst
