// A movie file played by one GStreamer playbin: the decoded video arrives at our
// own appsink as 32-bit BGRx frames and goes to the graph's child video; the audio
// goes to the default output (or, with no output device, to a clock-paced fake
// sink, so the clip still plays silently in real time) through playbin's volume.
//
// Implements: opening with a bounded wait for the first frame, the graph states
// (stopped, cued, paused, running) on a pipeline that never leaves PAUSED/PLAYING
// so that the position survives a stop, accurate flushing seeks, positions and
// durations from 0 at the first frame (a demuxer's start offset is hidden),
// linear volume, end-of-stream and error notes.
// Does not: run a GLib main loop (bus messages are handled synchronously as they
// are posted), render subtitles or visualisations, or choose among streams.
#include "clip.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <future>
#include <mutex>

namespace fwgst {

namespace {

// How long opening may take before the file counts as unplayable: in all, and
// without a word from the pipeline. The second catches a demuxer that fails
// while its decoding bin still holds back errors during its own set-up (a
// truncated file can do this): nothing more ever happens then.
constexpr int kOpenTimeoutMs = 20000;
constexpr int kOpenSilenceMs = 3000;

// playbin's flags: video, audio and software volume; no subtitles, no visualisation.
constexpr int kPlayFlags = 0x1 | 0x2 | 0x10;

// How far before the asked position a seek starts in a container whose demuxer
// lands late (see clipSeek): its mux delay plus a group of pictures.
constexpr gint64 kLateDemuxerLeadNs = 1500 * GST_MSECOND;

}  // namespace

struct Clip {
    GstElement* pipeline = nullptr;
    fwlayer::ChildVideo* video = nullptr;
    int videoStreams = 0;
    int audioStreams = 0;
    gint64 startOffsetNs = 0;
    gint64 durationNs = -1;

    // Shared with the streaming threads.
    std::mutex lock;
    std::condition_variable changed;
    bool showFrames = false;
    uint64_t asyncDoneCount = 0;
    bool endOfStream = false;
    HRESULT error = S_OK;
    GstSample* lastSample = nullptr;
    uint64_t lastSampleSerial = 0;
    uint64_t seekSerial = 0;
    bool seekPending = false;
    uint64_t seekAsyncBase = 0;
    int64_t seekTarget = 0;
    std::chrono::steady_clock::time_point lastMessage;

    // Set while the pipeline is being built, read afterwards.
    std::atomic<gint64> seekLeadNs{0};
    // Stream time that the sinks' segments must not start before, or -1.
    std::atomic<gint64> segmentFloorNs{-1};
};

namespace {

HRESULT errorToHresult(const GError* error) {
    if (!error) return VFW_E_CANNOT_RENDER;
    if (error->domain == GST_RESOURCE_ERROR) {
        if (error->code == GST_RESOURCE_ERROR_NOT_FOUND || error->code == GST_RESOURCE_ERROR_OPEN_READ ||
            error->code == GST_RESOURCE_ERROR_READ)
            return VFW_E_NOT_FOUND;
        return VFW_E_CANNOT_RENDER;
    }
    if (error->domain == GST_STREAM_ERROR) {
        switch (error->code) {
            case GST_STREAM_ERROR_TYPE_NOT_FOUND:
            case GST_STREAM_ERROR_WRONG_TYPE:
                return VFW_E_UNKNOWN_FILE_TYPE;
            case GST_STREAM_ERROR_CODEC_NOT_FOUND:
                return VFW_E_UNSUPPORTED_STREAM;
            case GST_STREAM_ERROR_DEMUX:
            case GST_STREAM_ERROR_DECODE:
            case GST_STREAM_ERROR_FORMAT:
                return VFW_E_INVALID_FILE_FORMAT;
            default:
                return VFW_E_CANNOT_RENDER;
        }
    }
    if (error->domain == GST_CORE_ERROR && error->code == GST_CORE_ERROR_MISSING_PLUGIN)
        return VFW_E_UNSUPPORTED_STREAM;
    return VFW_E_CANNOT_RENDER;
}

void pushSample(fwlayer::ChildVideo* video, GstSample* sample) {
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstVideoInfo info;
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps)) return;
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) return;
    fwlayer::childVideoPushFrame(video, static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                                 GST_VIDEO_FRAME_WIDTH(&frame), GST_VIDEO_FRAME_HEIGHT(&frame),
                                 GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0));
    gst_video_frame_unmap(&frame);
}

// Streaming thread: keep the sample as the one the clip stands on, and show it
// unless the graph is stopped.
GstFlowReturn takeSample(Clip* clip, GstSample* sample) {
    if (!sample) return GST_FLOW_OK;
    bool show;
    {
        std::lock_guard<std::mutex> guard(clip->lock);
        if (clip->lastSample) gst_sample_unref(clip->lastSample);
        clip->lastSample = gst_sample_ref(sample);
        clip->lastSampleSerial = clip->seekSerial;
        show = clip->showFrames;
    }
    if (show) pushSample(clip->video, sample);
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
        default:
            break;
    }
    // A handler that drops a message owns it.
    gst_message_unref(message);
    return GST_BUS_DROP;
}

// MPEG program and transport stream demuxers find a seek's place by the
// system clock references, which run ahead of the pictures' time stamps by the
// mux delay: they land after the key frame the asked picture needs, and even an
// accurate seek shows a later picture. Such clips seek from earlier instead.
void onElementAdded(GstBin*, GstBin*, GstElement* element, gpointer user) {
    GstElementFactory* factory = gst_element_get_factory(element);
    if (!factory) return;
    const char* name = gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory));
    if (std::strcmp(name, "mpegpsdemux") == 0 || std::strcmp(name, "tsdemux") == 0)
        static_cast<Clip*>(user)->seekLeadNs = kLateDemuxerLeadNs;
}

// On the sinks' input: a seek that started early (see clipSeek) moves the start
// of the segment to the asked position, so the sinks drop what comes before it
// and time the rest from there, as after an accurate seek.
GstPadProbeReturn onSinkEvent(GstPad*, GstPadProbeInfo* info, gpointer user) {
    Clip* clip = static_cast<Clip*>(user);
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (!event || GST_EVENT_TYPE(event) != GST_EVENT_SEGMENT) return GST_PAD_PROBE_OK;
    gint64 floor = clip->segmentFloorNs.load();
    if (floor < 0) return GST_PAD_PROBE_OK;
    const GstSegment* original = nullptr;
    gst_event_parse_segment(event, &original);
    if (original->format != GST_FORMAT_TIME || original->rate <= 0 || !GST_CLOCK_TIME_IS_VALID(original->time) ||
        !GST_CLOCK_TIME_IS_VALID(original->start) || gint64(original->time) >= floor)
        return GST_PAD_PROBE_OK;
    GstSegment segment;
    gst_segment_copy_into(original, &segment);
    guint64 advance = guint64(floor) - segment.time;
    segment.start += advance;
    segment.time += advance;
    segment.position = segment.start;
    if (GST_CLOCK_TIME_IS_VALID(segment.stop) && segment.start > segment.stop) segment.start = segment.stop;
    GstEvent* moved = gst_event_new_segment(&segment);
    gst_event_set_seqnum(moved, gst_event_get_seqnum(event));
    gst_event_unref(event);
    GST_PAD_PROBE_INFO_DATA(info) = moved;
    return GST_PAD_PROBE_OK;
}

void watchSinkSegments(GstElement* sink, Clip* clip) {
    GstPad* pad = gst_element_get_static_pad(sink, "sink");
    if (!pad) return;
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, onSinkEvent, clip, nullptr);
    gst_object_unref(pad);
}

// Whether anything is there to play sound to: an ALSA or OSS playback device, or
// a PulseAudio or PipeWire server. Without one, probing every audio system only
// fills standard error with their failures (ALSA's, OpenAL's, ...).
bool soundDevicePresent() {
    if (g_getenv("PULSE_SERVER") != nullptr || access("/dev/dsp", F_OK) == 0) return true;
    if (const char* runtime = g_getenv("XDG_RUNTIME_DIR")) {
        char path[4096];
        for (const char* server : {"pulse/native", "pipewire-0"})
            if (std::snprintf(path, sizeof path, "%s/%s", runtime, server) < int(sizeof path) &&
                access(path, F_OK) == 0)
                return true;
    }
    GDir* devices = g_dir_open("/dev/snd", 0, nullptr);
    if (devices == nullptr) return false;
    bool found = false;
    for (const char* name = g_dir_read_name(devices); name != nullptr && !found; name = g_dir_read_name(devices))
        found = g_str_has_prefix(name, "pcmC") && g_str_has_suffix(name, "p");   // a playback device
    g_dir_close(devices);
    return found;
}

// Whether the default audio output can be opened. With no device the automatic
// sink would fall back to a fake one on every load, with a warning and a probe of
// every audio system each time, so it is asked once per process, and not at all
// when there is no device.
bool probeAudioOutput() {
    if (!soundDevicePresent()) return false;
    int available = 0;
    GstElement* probe = gst_element_factory_make("autoaudiosink", nullptr);
    if (!probe) return false;
    gst_object_ref_sink(probe);
    if (gst_element_set_state(probe, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE) {
        GstIterator* children = gst_bin_iterate_elements(GST_BIN(probe));
        GValue item = G_VALUE_INIT;
        if (gst_iterator_next(children, &item) == GST_ITERATOR_OK) {
            GstElement* child = GST_ELEMENT(g_value_get_object(&item));
            GstElementFactory* factory = gst_element_get_factory(child);
            const char* name = factory ? gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)) : "";
            available = g_str_has_prefix(name, "fake") ? 0 : 1;
            g_value_reset(&item);
        }
        g_value_unset(&item);
        gst_iterator_free(children);
    }
    gst_element_set_state(probe, GST_STATE_NULL);
    gst_object_unref(probe);
    if (available != 1)
        std::fprintf(stderr, "fernwood2: the sound device could not be opened; playing without sound\n");
    return available == 1;
}

// The audio probe and the loading of the plugins every clip needs take tens of
// milliseconds: they run on a thread of their own from GStreamer's start, while
// the program goes on with its start-up, and the first load waits for them.
std::shared_future<bool>& warmUp() {
    static std::shared_future<bool> answer;
    return answer;
}

void startWarmUp() {
    warmUp() = std::async(std::launch::async, [] {
                   const char* const kPlugins[] = {"coreelements", "playback", "typefindfunctions", "app",
                                                   "isomp4", "libav", "videoconvertscale", "audioconvert",
                                                   "audioresample", "volume"};
                   for (const char* name : kPlugins)
                       if (GstPlugin* plugin = gst_plugin_load_by_name(name)) gst_object_unref(plugin);
                   return probeAudioOutput();
               }).share();
}

bool audioOutputAvailable() {
    static int available = -1;
    if (available < 0) available = (warmUp().valid() ? warmUp().get() : probeAudioOutput()) ? 1 : 0;
    return available == 1;
}

GstElement* makeAudioSink(bool* silent) {
    *silent = !audioOutputAvailable();
    if (!*silent) return gst_element_factory_make("autoaudiosink", nullptr);
    GstElement* sink = gst_element_factory_make("fakeaudiosink", nullptr);
    if (!sink) sink = gst_element_factory_make("fakesink", nullptr);
    if (sink) g_object_set(sink, "sync", TRUE, nullptr);
    return sink;
}

GstElement* makeVideoSink(Clip* clip) {
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    if (!sink) return nullptr;
    GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", nullptr);
    // qos lets late frames be skipped on a slow machine instead of drifting behind.
    g_object_set(sink, "caps", caps, "sync", TRUE, "qos", TRUE, "enable-last-sample", FALSE, "max-buffers", 2,
                 nullptr);
    gst_caps_unref(caps);
    GstAppSinkCallbacks callbacks = {};
    callbacks.new_preroll = onNewPreroll;
    callbacks.new_sample = onNewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, clip, nullptr);
    return sink;
}

gint64 queryPositionNs(Clip* clip) {
    gint64 position = -1;
    if (!gst_element_query_position(clip->pipeline, GST_FORMAT_TIME, &position)) return -1;
    return position;
}

void queryDuration(Clip* clip) {
    gint64 duration = -1;
    if (gst_element_query_duration(clip->pipeline, GST_FORMAT_TIME, &duration) && duration > 0)
        clip->durationNs = duration;
}

}  // namespace

bool ensureGstreamer() {
    static int initialised = -1;
    if (initialised < 0) {
        initialised = gst_init_check(nullptr, nullptr, nullptr) ? 1 : 0;
        if (initialised == 1) startWarmUp();
    }
    return initialised == 1;
}

Clip* clipOpen(const char* utf8Path, fwlayer::ChildVideo* video, HRESULT* result) {
    *result = VFW_E_CANNOT_RENDER;
    if (!ensureGstreamer()) return nullptr;
    struct stat status;
    if (stat(utf8Path, &status) != 0) {
        *result = VFW_E_NOT_FOUND;
        return nullptr;
    }
    if (!S_ISREG(status.st_mode)) {
        *result = VFW_E_UNKNOWN_FILE_TYPE;
        return nullptr;
    }
    gchar* uri = gst_filename_to_uri(utf8Path, nullptr);
    if (!uri) {
        *result = VFW_E_NOT_FOUND;
        return nullptr;
    }

    Clip* clip = new Clip();
    clip->video = video;
    clip->pipeline = gst_element_factory_make("playbin", nullptr);
    if (clip->pipeline) gst_object_ref_sink(clip->pipeline);
    bool silent = true;
    GstElement* videoSink = clip->pipeline ? makeVideoSink(clip) : nullptr;
    GstElement* audioSink = videoSink ? makeAudioSink(&silent) : nullptr;
    if (!audioSink) {
        if (videoSink) gst_object_unref(gst_object_ref_sink(videoSink));
        if (clip->pipeline) gst_object_unref(clip->pipeline);
        delete clip;
        g_free(uri);
        return nullptr;
    }
    watchSinkSegments(videoSink, clip);
    watchSinkSegments(audioSink, clip);
    g_signal_connect(clip->pipeline, "deep-element-added", G_CALLBACK(onElementAdded), clip);
    g_object_set(clip->pipeline, "uri", uri, "video-sink", videoSink, "audio-sink", audioSink, "flags", kPlayFlags,
                 nullptr);
    g_free(uri);
    GstBus* bus = gst_element_get_bus(clip->pipeline);
    gst_bus_set_sync_handler(bus, onBusMessage, clip, nullptr);
    gst_object_unref(bus);

    HRESULT failure = S_OK;
    std::chrono::steady_clock::time_point opened = std::chrono::steady_clock::now();
    clip->lastMessage = opened;
    if (gst_element_set_state(clip->pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) failure = E_FAIL;
    {
        std::unique_lock<std::mutex> guard(clip->lock);
        for (;;) {
            if (clip->error != S_OK) {
                failure = clip->error;
                break;
            }
            if (clip->asyncDoneCount > 0) break;
            std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
            if (failure != S_OK || now - opened > std::chrono::milliseconds(kOpenTimeoutMs) ||
                now - clip->lastMessage > std::chrono::milliseconds(kOpenSilenceMs)) {
                failure = VFW_E_CANNOT_RENDER;
                break;
            }
            clip->changed.wait_for(guard, std::chrono::milliseconds(50));
        }
    }
    if (failure == S_OK) {
        g_object_get(clip->pipeline, "n-video", &clip->videoStreams, "n-audio", &clip->audioStreams, nullptr);
        if (clip->videoStreams == 0 && clip->audioStreams == 0) failure = VFW_E_CANNOT_RENDER;
    }
    if (failure != S_OK) {
        clipClose(clip);
        *result = failure;
        return nullptr;
    }
    // Some containers (MPEG program streams among them) time their first frame
    // later than 0; the graph's positions start at that frame.
    gint64 start = queryPositionNs(clip);
    if (start > 0) clip->startOffsetNs = start;
    queryDuration(clip);
    *result = (silent && clip->audioStreams > 0) ? VFW_S_AUDIO_NOT_RENDERED : S_OK;
    return clip;
}

void clipClose(Clip* clip) {
    if (!clip) return;
    if (clip->pipeline) {
        // Joins the streaming threads, so no callback runs after this.
        gst_element_set_state(clip->pipeline, GST_STATE_NULL);
        GstBus* bus = gst_element_get_bus(clip->pipeline);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
        gst_object_unref(clip->pipeline);
    }
    if (clip->lastSample) gst_sample_unref(clip->lastSample);
    delete clip;
    // Every clip runs on streaming threads of its own, whose allocator arenas
    // would otherwise keep the freed frames: give the memory back per clip.
    malloc_trim(0);
}

bool clipHasVideo(const Clip* clip) { return clip->videoStreams > 0; }
bool clipHasAudio(const Clip* clip) { return clip->audioStreams > 0; }

void clipSetState(Clip* clip, ClipState state) {
    GstSample* standing = nullptr;
    {
        std::lock_guard<std::mutex> guard(clip->lock);
        clip->showFrames = state != ClipState::Stopped;
        // Cueing shows the frame the clip stands on now, unless a seek's frame is
        // still on its way (then that frame shows when it arrives).
        if (state == ClipState::Cued && clip->lastSample && clip->lastSampleSerial == clip->seekSerial)
            standing = gst_sample_ref(clip->lastSample);
    }
    gst_element_set_state(clip->pipeline, state == ClipState::Running ? GST_STATE_PLAYING : GST_STATE_PAUSED);
    if (standing) {
        pushSample(clip->video, standing);
        gst_sample_unref(standing);
    }
}

bool clipDuration(Clip* clip, int64_t* duration) {
    if (clip->durationNs < 0) queryDuration(clip);
    if (clip->durationNs < 0) return false;
    gint64 length = clip->durationNs - clip->startOffsetNs;
    *duration = length > 0 ? length / 100 : 0;
    return true;
}

bool clipPosition(Clip* clip, int64_t* position) {
    {
        std::lock_guard<std::mutex> guard(clip->lock);
        if (clip->seekPending && clip->asyncDoneCount == clip->seekAsyncBase && clip->error == S_OK) {
            *position = clip->seekTarget;
            return true;
        }
        clip->seekPending = false;
    }
    gint64 ns = queryPositionNs(clip);
    if (ns < 0) return false;
    int64_t units = (ns - clip->startOffsetNs) / 100;
    int64_t duration = 0;
    if (clipDuration(clip, &duration) && units > duration) units = duration;
    *position = units < 0 ? 0 : units;
    return true;
}

bool clipSeek(Clip* clip, int64_t position) {
    int64_t duration = 0;
    bool known = clipDuration(clip, &duration);
    if (position < 0) position = 0;
    if (known && position > duration) position = duration;
    gint64 target = position * 100;
    // A seek to the very end would find no frame to stand on; the last frame
    // covers the final moment before it.
    if (known && target > 0 && target >= duration * 100) target = duration * 100 - GST_MSECOND;
    if (target < 0) target = 0;
    gint64 start = target - clip->seekLeadNs.load();
    if (start < 0) start = 0;
    clip->segmentFloorNs = start < target ? target + clip->startOffsetNs : -1;
    {
        std::lock_guard<std::mutex> guard(clip->lock);
        ++clip->seekSerial;
        clip->seekPending = true;
        clip->seekAsyncBase = clip->asyncDoneCount;
        clip->seekTarget = position;
        clip->endOfStream = false;
    }
    gboolean ok = gst_element_seek(clip->pipeline, 1.0, GST_FORMAT_TIME,
                                   GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), GST_SEEK_TYPE_SET,
                                   start + clip->startOffsetNs, GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
    std::lock_guard<std::mutex> guard(clip->lock);
    // An end reached before the flush belongs to the old position.
    clip->endOfStream = false;
    if (!ok) clip->seekPending = false;
    return ok;
}

void clipSetVolume(Clip* clip, double gain) { g_object_set(clip->pipeline, "volume", gain, nullptr); }

bool clipTakeCompletion(Clip* clip) {
    std::lock_guard<std::mutex> guard(clip->lock);
    if (!clip->endOfStream) return false;
    clip->endOfStream = false;
    return true;
}

HRESULT clipStreamError(Clip* clip) {
    std::lock_guard<std::mutex> guard(clip->lock);
    return clip->error;
}

}  // namespace fwgst
