// One stream to the sound server: our pad, the converters and the server's sink
// in a pipeline on the system clock, started once when it is opened and playing
// what it is given at the moments it is given for, and silence in between.
//
// Implements: building, connecting and starting it (the server's stream is
//   started once, with a little silence, and never paused), playing samples and
//   silence at moments of the system clock, over what was given for the same
//   moments before (the server keeps what it has not played yet and takes the
//   newer sound in its place), taking it down on a thread of its own.
// Does not: pause or resume a stream (a server's timing reports can go wrong after
//   that, and even while a stream connected but not started waits), or decide
//   when the output is lost (audio_output.cpp does).
#include "sound_stream.h"

#include <gst/audio/audio.h>

#include <algorithm>
#include <initializer_list>
#include <thread>

namespace fwgst {

namespace {

std::atomic<int> gWaitingThreads{0};

// Sound given for a moment this close to where the last ended joins it; farther
// off, before or after, it is placed at its moment anew.
constexpr GstClockTime kJoinNs = GST_MSECOND;
// A server may play whatever its buffer held where sound is placed past the end of
// what it was given (PipeWire's does): the gap is given silence first, from no
// earlier than this before the new sound (what is older has been played).
constexpr GstClockTime kGapFillNs = 100 * GST_MSECOND;
// The silence that starts the server's stream.
constexpr GstClockTime kFirstSilenceNs = 10 * GST_MSECOND;

// The sink plays each sample at its moment on the system clock; the server's
// timing is used only within the one stream, which is never paused.
GstElement* makeServerSink(const char* factory) {
    GstElement* sink = gst_element_factory_make(factory, nullptr);
    if (!sink) return nullptr;
    g_object_set(sink, "async", FALSE, nullptr);
    // The server reads (buffer-time - 2 * latency-time) / 2 = 10 ms ahead of what
    // is heard, so sound given a little more ahead is on time, and silence given
    // over it takes its place; and it takes up to 50 ms ahead, a sample's length
    // more than the clip gives (audio_output.cpp's kAheadNs).
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(sink), "buffer-time"))
        g_object_set(sink, "buffer-time", gint64(60000), "latency-time", gint64(20000), nullptr);
    return sink;
}

// Builds the stream's pipeline and links our pad to it; false when a part is missing.
bool buildStream(SoundStream* stream, const char* factory) {
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* resample = gst_element_factory_make("audioresample", nullptr);
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    GstElement* sink = makeServerSink(factory);
    stream->pipeline = gst_pipeline_new(nullptr);
    gst_object_ref_sink(stream->pipeline);
    if (!convert || !resample || !filter || !sink) {
        for (GstElement* part : {convert, resample, filter, sink})
            if (part) gst_object_unref(gst_object_ref_sink(part));
        return false;
    }
    g_object_set(filter, "caps", stream->format, nullptr);
    gst_bin_add_many(GST_BIN(stream->pipeline), convert, resample, filter, sink, nullptr);
    GstClock* system = gst_system_clock_obtain();
    gst_pipeline_use_clock(GST_PIPELINE(stream->pipeline), system);
    gst_object_unref(system);
    stream->feed = gst_pad_new("feed", GST_PAD_SRC);
    gst_pad_set_active(stream->feed, TRUE);
    GstPad* input = gst_element_get_static_pad(convert, "sink");
    bool linked = gst_element_link_many(convert, resample, filter, sink, nullptr) &&
                  gst_pad_link(stream->feed, input) == GST_PAD_LINK_OK;
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

void sendCaps(SoundStream* stream, GstCaps* caps) {
    if (!caps || (stream->caps && gst_caps_is_equal(caps, stream->caps))) return;
    gst_caps_replace(&stream->caps, caps);
    gst_pad_push_event(stream->feed, gst_event_new_caps(caps));
}

GstBuffer* makeSilence(GstCaps* caps, GstClockTime length, GstClockTime* duration) {
    GstAudioInfo info;
    if (!caps || !gst_audio_info_from_caps(&info, caps)) return nullptr;
    gsize frames = gsize(gst_util_uint64_scale_int(length, GST_AUDIO_INFO_RATE(&info), GST_SECOND));
    if (frames == 0) return nullptr;
    GstBuffer* silence = gst_buffer_new_allocate(nullptr, frames * GST_AUDIO_INFO_BPF(&info), nullptr);
    GstMapInfo map;
    if (gst_buffer_map(silence, &map, GST_MAP_WRITE)) {
        gst_audio_format_info_fill_silence(info.finfo, map.data, map.size);
        gst_buffer_unmap(silence, &map);
    }
    *duration = gst_util_uint64_scale_int(frames, GST_SECOND, GST_AUDIO_INFO_RATE(&info));
    return silence;
}

// Hands buffer over, placed at the moment at: joined to what was given before, or
// marked as a break, which the sink places at its moment exactly.
bool give(SoundStream* stream, GstBuffer* buffer, GstClockTime at, GstClockTime duration) {
    if (at < stream->base) {
        gst_buffer_unref(buffer);
        return true;
    }
    if (at + kJoinNs < stream->filledTo || at > stream->filledTo + kJoinNs)
        GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
    GST_BUFFER_PTS(buffer) = at - stream->base;
    GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
    GST_BUFFER_DURATION(buffer) = duration;
    stream->filledTo = at + duration;
    return gst_pad_push(stream->feed, buffer) == GST_FLOW_OK;
}

// Gives silence up to at from where the sound given so far ends.
bool fillGap(SoundStream* stream, GstClockTime at) {
    if (at <= stream->filledTo + kJoinNs) return true;
    GstClockTime from = std::max(stream->filledTo, at > kGapFillNs ? at - kGapFillNs : 0);
    GstClockTime duration = 0;
    GstBuffer* silence = makeSilence(stream->caps, at - from, &duration);
    return !silence || give(stream, silence, from, duration);
}

}  // namespace

bool soundStreamOpen(SoundStream* stream, const char* factory, GstCaps* format, GstBusSyncHandler onMessage,
                     gpointer data, GDestroyNotify freeData) {
    stream->format = gst_caps_ref(format);
    bool built = buildStream(stream, factory);
    GstBus* bus = gst_element_get_bus(stream->pipeline);
    gst_bus_set_sync_handler(bus, onMessage, data, freeData);
    gst_object_unref(bus);
    if (!built || gst_element_set_state(stream->pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) return false;
    gst_pad_push_event(stream->feed, gst_event_new_stream_start("fernwood2-sound"));
    sendCaps(stream, format);  // the sink connects the server's stream here
    GstSegment segment;
    gst_segment_init(&segment, GST_FORMAT_TIME);
    gst_pad_push_event(stream->feed, gst_event_new_segment(&segment));
    stream->base = soundClockNow();
    stream->filledTo = stream->base;
    gst_element_set_start_time(stream->pipeline, GST_CLOCK_TIME_NONE);
    gst_element_set_base_time(stream->pipeline, stream->base);
    if (gst_element_set_state(stream->pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) return false;
    GstClockTime now = soundClockNow();
    return soundStreamSilence(stream, now, now + kFirstSilenceNs);
}

bool soundStreamPlay(SoundStream* stream, GstSample* sample, GstClockTime at) {
    if (!fillGap(stream, at)) return false;
    sendCaps(stream, gst_sample_get_caps(sample));
    GstBuffer* buffer = gst_buffer_copy(gst_sample_get_buffer(sample));
    return give(stream, buffer, at, sampleDuration(sample));
}

bool soundStreamSilence(SoundStream* stream, GstClockTime from, GstClockTime until) {
    GstClockTime duration = 0;
    GstBuffer* silence = from < until ? makeSilence(stream->caps, until - from, &duration) : nullptr;
    return !silence || (fillGap(stream, from) && give(stream, silence, from, duration));
}

void soundStreamDrop(SoundStream* stream) {
    if (stream->caps) gst_caps_unref(stream->caps);
    if (stream->format) gst_caps_unref(stream->format);
    if (stream->pipeline) stopSoon(stream->pipeline, stream->feed);
    *stream = SoundStream();
}

void soundPipelineStopSoon(GstElement* pipeline) { stopSoon(GST_ELEMENT(gst_object_ref(pipeline)), nullptr); }

GstClockTime soundClockNow() {
    GstClock* system = gst_system_clock_obtain();
    GstClockTime now = gst_clock_get_time(system);
    gst_object_unref(system);
    return now;
}

GstSample* sampleWithBaseTime(GstSample* sample, GstClockTime baseTime) {
    GstStructure* info = gst_structure_new("fernwood2-sample", "base-time", G_TYPE_UINT64, guint64(baseTime), nullptr);
    return gst_sample_new(gst_sample_get_buffer(sample), gst_sample_get_caps(sample), gst_sample_get_segment(sample),
                          info);
}

GstClockTime sampleBaseTime(GstSample* sample) {
    guint64 base = GST_CLOCK_TIME_NONE;
    if (const GstStructure* info = gst_sample_get_info(sample)) gst_structure_get_uint64(info, "base-time", &base);
    return base;
}

gint64 sampleStreamTime(GstSample* sample) {
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    const GstSegment* segment = gst_sample_get_segment(sample);
    if (!buffer || !segment || !GST_BUFFER_PTS_IS_VALID(buffer)) return -1;
    guint64 time = gst_segment_to_stream_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
    return time == GST_CLOCK_TIME_NONE ? -1 : gint64(time);
}

GstClockTime sampleRunningTime(GstSample* sample) {
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    const GstSegment* segment = gst_sample_get_segment(sample);
    if (!buffer || !segment) return GST_CLOCK_TIME_NONE;
    return gst_segment_to_running_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
}

GstClockTime sampleDuration(GstSample* sample) {
    GstAudioInfo info;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstCaps* caps = gst_sample_get_caps(sample);
    if (!buffer || !caps || !gst_audio_info_from_caps(&info, caps) || GST_AUDIO_INFO_BPF(&info) == 0) return 0;
    guint64 frames = gst_buffer_get_size(buffer) / GST_AUDIO_INFO_BPF(&info);
    return gst_util_uint64_scale_int(frames, GST_SECOND, GST_AUDIO_INFO_RATE(&info));
}

int sampleChannels(GstCaps* caps) {
    GstAudioInfo info;
    return caps && gst_audio_info_from_caps(&info, caps) ? GST_AUDIO_INFO_CHANNELS(&info) : 0;
}

std::atomic<int>& soundThreadsWaiting() { return gWaitingThreads; }

}  // namespace fwgst
