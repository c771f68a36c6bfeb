// A movie file played by one GStreamer playbin: the decoded video arrives at our
// own appsink as 32-bit BGRx frames and goes to the graph's child video; the audio
// goes through a volume element of ours (playbin sets it) to our audio sink, whose
// sound output (audio_output.cpp) plays it.
//
// Implements: opening with a bounded wait for the first frame, the graph states
// (stopped, cued, paused, running) on a pipeline that never leaves PAUSED/PLAYING
// so that the position survives a stop, seeks to the frame (accurate_seek.cpp),
// positions from 0 at the first frame (a demuxer's start offset is hidden) to the
// length, which runs to the end of the longest stream (measured from the file by
// clip_length.cpp where the demuxer only estimates it or cannot tell it; 0 when
// nothing tells it), linear volume, end-of-stream and error notes.
// Does not: run a GLib main loop (bus messages are handled synchronously as they
// are posted), render subtitles or visualisations, or choose among streams.
#include "clip.h"
#include "accurate_seek.h"
#include "audio_output.h"
#include "clip_length.h"
#include "clip_volume.h"
#include "decoders.h"
#include "missing_plugins.h"
#include "shared_pool.h"
#include "start.h"
#include "stream_errors.h"
#include "video_fit.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <malloc.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace fwgst {

namespace {

// How long opening may take before the file counts as unplayable: in all, and
// without a word from the pipeline. The second catches a demuxer that fails
// while its decoding bin still holds back errors during its own set-up (a
// truncated file can do this): nothing more ever happens then.
constexpr int kOpenTimeoutMs = 20000;
constexpr int kOpenSilenceMs = 3000;

// playbin's flags: video, audio and software volume (the audio sink's own volume
// element, see clip_volume.cpp); no subtitles, no visualisation.
constexpr int kPlayFlags = 0x1 | 0x2 | 0x10;

// How far before the asked position a seek starts at first in a container whose
// demuxer lands late (see onElementAdded): its mux delay plus a group of pictures;
// and how far before it the first picture decoded must lie, as its time stamp may
// be a guess (accurate_seek.h).
constexpr gint64 kLateDemuxerLeadNs = 1500 * GST_MSECOND;
constexpr gint64 kLateDemuxerMarginNs = 250 * GST_MSECOND;

}  // namespace

struct Clip {
    GstElement* pipeline = nullptr;
    fwlayer::ChildVideo* video = nullptr;
    GstElement* sinks[2] = {};      // video and audio, owned by the pipeline
    AudioOutput* output = nullptr;  // where the audio sink's samples are played
    Seeker* seeker = nullptr;
    VideoFit fit;             // on the video's streaming thread
    gint64 audioAheadNs = 0;  // how far the audio sink's position runs ahead
    int videoStreams = 0;
    int audioStreams = 0;
    gint64 startOffsetNs = 0;
    gint64 lengthNs = -1;      // from the first frame to the end, or -1 while unknown
    int64_t lastPosition = 0;  // the latest the program was told, in 100 ns units
    // Paused on its first frame since it opened: a seek to the start would only
    // flush and decode that frame again (the program rewinds every clip it loads).
    bool standingAtOpen = false;

    // Shared with the streaming threads.
    std::mutex lock;
    std::condition_variable changed;
    bool showFrames = false;
    uint64_t asyncDoneCount = 0;
    bool endOfStream = false;
    HRESULT error = S_OK;
    std::vector<std::string> missingPlugins;  // installer details, see missing_plugins.h
    GstSample* lastSample = nullptr;
    uint64_t lastSampleSerial = 0;
    uint64_t seekSerial = 0;
    bool seekPending = false;
    uint64_t seekAsyncBase = 0;
    int64_t seekTarget = 0;
    std::chrono::steady_clock::time_point lastMessage;

    // Set while the pipeline is being built, read afterwards: the demuxer only
    // estimates the length, and from its first time stamp on; so the file's end
    // is measured meanwhile (see measureLength).
    std::atomic<bool> lengthEstimated{false};
    std::string path;
    EndMeasurement* endMeasurement = nullptr;
};

namespace {

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

// The end measured while the pipeline opened, or -1.
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

// The latest position any of the two sinks reports, which is the pipeline's
// answer too: asked through the pipeline, the query takes the same maximum but
// first walks playbin's nested bins, several times the cost, and the screen asks
// on every frame. The audio sink of a clip with a sound output runs ahead of the
// picture; its position is taken back by that much.
gint64 queryPositionNs(Clip* clip) {
    gint64 latest = -1;
    for (GstElement* sink : clip->sinks) {
        gint64 position = -1;
        if (sink && gst_element_query_position(sink, GST_FORMAT_TIME, &position) && position >= 0) {
            if (sink == clip->sinks[1]) position -= clip->audioAheadNs;
            if (position > latest) latest = position;
        }
    }
    if (latest < 0 && !gst_element_query_position(clip->pipeline, GST_FORMAT_TIME, &latest)) return -1;
    return latest;
}

gint64 queryDurationNs(Clip* clip) {
    gint64 duration = -1;
    return gst_element_query_duration(clip->pipeline, GST_FORMAT_TIME, &duration) && duration > 0 ? duration : -1;
}

// The length a demuxer's duration tells (see measureLength), or -1.
gint64 lengthOfDuration(const Clip* clip, gint64 duration) {
    gint64 length = clip->lengthEstimated ? duration : duration - clip->startOffsetNs;
    return duration > 0 && length > 0 ? length : -1;
}

// From the first frame to the end of the longest stream: the demuxer's duration
// runs from stream time 0, an estimating one's from the first frame; where it
// only estimates (measured while the pipeline was opening) or cannot tell, the
// file's end is measured.
void measureLength(Clip* clip) {
    gint64 end = takeMeasuredEnd(clip);
    gint64 duration = queryDurationNs(clip);
    if (!clip->lengthEstimated && duration < 0) end = measureStreamEnd(clip->path.c_str());
    clip->lengthNs = end > clip->startOffsetNs ? end - clip->startOffsetNs : lengthOfDuration(clip, duration);
}

// A playbin for uri with our sinks, not started yet; null when GStreamer lacks a part.
Clip* buildClip(const char* utf8Path, const gchar* uri, fwlayer::ChildVideo* video, bool* silent) {
    Clip* clip = new Clip();
    clip->video = video;
    clip->path = utf8Path;
    clip->pipeline = gst_element_factory_make("playbin", nullptr);
    if (clip->pipeline) gst_object_ref_sink(clip->pipeline);
    GstElement* videoSink = clip->pipeline ? makeVideoSink(clip) : nullptr;
    const char* factory = audioOutputFactory();
    GstElement* audioSink = videoSink ? makeClipAudioSink() : nullptr;
    GstElement* audioInput = audioSink ? withVolume(audioSink) : nullptr;
    if (!audioInput) {
        if (videoSink) gst_object_unref(gst_object_ref_sink(videoSink));
        if (clip->pipeline) gst_object_unref(clip->pipeline);
        delete clip;
        return nullptr;
    }
    clip->seeker = seekerOpen(clip->pipeline, videoSink, audioSink);
    clip->sinks[0] = videoSink;  // playbin holds them for as long as it lives
    clip->sinks[1] = audioSink;  // in audioInput's bin
    if (factory) clip->output = audioOutputOpen(clip->pipeline, audioSink, factory, &clip->audioAheadNs);
    *silent = clip->output == nullptr;
    g_signal_connect(clip->pipeline, "deep-element-added", G_CALLBACK(onElementAdded), clip);
    g_object_set(clip->pipeline, "uri", uri, "video-sink", videoSink, "audio-sink", audioInput, "flags", kPlayFlags,
                 nullptr);
    if (GstElement* filter = videoFitMake(&clip->fit)) g_object_set(clip->pipeline, "video-filter", filter, nullptr);
    GstBus* bus = gst_element_get_bus(clip->pipeline);
    gst_bus_set_sync_handler(bus, onBusMessage, clip, nullptr);
    gst_object_unref(bus);
    return clip;
}

// Sets the new pipeline paused and waits, bounded, until it stands on its first
// frame: S_OK, or the error it reported, or VFW_E_CANNOT_RENDER.
HRESULT pauseOnFirstFrame(Clip* clip) {
    HRESULT failure = S_OK;
    std::chrono::steady_clock::time_point opened = std::chrono::steady_clock::now();
    clip->lastMessage = opened;
    if (gst_element_set_state(clip->pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) failure = E_FAIL;
    std::unique_lock<std::mutex> guard(clip->lock);
    for (;;) {
        if (clip->error != S_OK) return clip->error;
        if (clip->asyncDoneCount > 0) return failure;
        std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
        if (failure != S_OK || now - opened > std::chrono::milliseconds(kOpenTimeoutMs) ||
            now - clip->lastMessage > std::chrono::milliseconds(kOpenSilenceMs))
            return VFW_E_CANNOT_RENDER;
        clip->changed.wait_for(guard, std::chrono::milliseconds(50));
    }
}

}  // namespace

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
    bool silent = true;
    Clip* clip = buildClip(utf8Path, uri, video, &silent);
    g_free(uri);
    if (!clip) return nullptr;
    HRESULT failure = pauseOnFirstFrame(clip);
    {
        std::lock_guard<std::mutex> guard(clip->lock);
        reportMissingPlugins(utf8Path, clip->missingPlugins);  // whether or not the clip opens without it
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
    measureLength(clip);
    // Where the pipeline cannot tell its position yet (MPEG program streams), the
    // rewind's seek is what gives it one.
    clip->standingAtOpen = start >= 0;
    *result = (silent && clip->audioStreams > 0) ? VFW_S_AUDIO_NOT_RENDERED : S_OK;
    return clip;
}

void clipClose(Clip* clip) {
    if (!clip) return;
    if (clip->seeker) seekerClose(clip->seeker);
    if (clip->pipeline) {
        // Joins the streaming threads, so no callback runs after this.
        gst_element_set_state(clip->pipeline, GST_STATE_NULL);
        GstBus* bus = gst_element_get_bus(clip->pipeline);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
        gst_object_unref(clip->pipeline);
    }
    // After the streaming threads: a demuxer added while the clip failed to open
    // starts a measurement that must be joined too.
    takeMeasuredEnd(clip);
    if (clip->seeker) seekerFree(clip->seeker);
    if (clip->output) audioOutputClose(clip->output);
    if (clip->lastSample) gst_sample_unref(clip->lastSample);
    videoFitRelease(&clip->fit);
    delete clip;
    // Every clip runs on streaming threads of its own, whose allocator arenas
    // would otherwise keep the freed frames: give the memory back per clip.
    malloc_trim(0);
}

bool clipHasVideo(const Clip* clip) { return clip->videoStreams > 0; }
bool clipHasAudio(const Clip* clip) { return clip->audioStreams > 0; }

void clipSetState(Clip* clip, ClipState state) {
    if (state == ClipState::Running) clip->standingAtOpen = false;
    GstSample* standing = nullptr;
    {
        std::lock_guard<std::mutex> guard(clip->lock);
        clip->showFrames = state != ClipState::Stopped;
        // Cueing shows the frame the clip stands on now, unless a seek's frame is
        // still on its way (then that frame shows when it arrives).
        if (state == ClipState::Cued && clip->lastSample && clip->lastSampleSerial == clip->seekSerial)
            standing = gst_sample_ref(clip->lastSample);
    }
    if (clip->output) audioOutputRun(clip->output, state == ClipState::Running, queryPositionNs(clip));
    gst_element_set_state(clip->pipeline, state == ClipState::Running ? GST_STATE_PLAYING : GST_STATE_PAUSED);
    if (standing) {
        lendFrame(clip->video, standing);
        gst_sample_unref(standing);
    }
}

bool clipDuration(Clip* clip, int64_t* duration) {
    // A demuxer that could not tell the duration at first may have learnt it.
    if (clip->lengthNs < 0) clip->lengthNs = lengthOfDuration(clip, queryDurationNs(clip));
    *duration = clip->lengthNs > 0 ? clip->lengthNs / 100 : 0;
    return true;
}

bool clipPosition(Clip* clip, int64_t* position) {
    {
        std::lock_guard<std::mutex> guard(clip->lock);
        if (clip->seekPending && clip->asyncDoneCount == clip->seekAsyncBase && clip->error == S_OK) {
            *position = clip->lastPosition = clip->seekTarget;
            return true;
        }
        clip->seekPending = false;
    }
    // A pipeline that cannot tell its position for a moment (an end reached right
    // after a seek, in a file whose time stamps jump) stands where it was last seen.
    gint64 ns = queryPositionNs(clip);
    int64_t units = ns < 0 ? clip->lastPosition : (ns - clip->startOffsetNs) / 100;
    int64_t duration = 0;
    clipDuration(clip, &duration);
    if (units > duration) units = duration;
    *position = clip->lastPosition = units < 0 ? 0 : units;
    return true;
}

bool clipSeek(Clip* clip, int64_t position) {
    int64_t duration = 0;
    clipDuration(clip, &duration);
    if (position < 0) position = 0;
    if (position > duration) position = duration;
    gint64 target = position * 100;
    // A seek to the very end would find no frame to stand on; the last frame
    // covers the final moment before it.
    if (target > 0 && target >= duration * 100) target = duration * 100 - GST_MSECOND;
    if (target < 0) target = 0;
    if (target == 0 && clip->standingAtOpen) {
        std::lock_guard<std::mutex> guard(clip->lock);
        clip->endOfStream = false;
        return true;
    }
    clip->standingAtOpen = false;
    {
        std::lock_guard<std::mutex> guard(clip->lock);
        ++clip->seekSerial;
        clip->seekPending = true;
        clip->seekAsyncBase = clip->asyncDoneCount;
        clip->seekTarget = position;
        clip->endOfStream = false;
    }
    bool ok = seekerSeek(clip->seeker, target + clip->startOffsetNs);
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
