// A movie file played by one GStreamer playbin: the decoded video arrives at our
// own appsink as 32-bit BGRx frames and goes to the graph's child video; the audio
// goes through a volume element of ours (playbin sets it) to our audio sink, whose
// sound output (audio_output.cpp) plays it. The playbin and its sinks outlive the
// file: parked when the clip is taken down, they play the graph's next file.
//
// Implements: opening with a bounded wait for the first frame, the graph states
// (stopped, cued, paused, running) on a pipeline that never leaves PAUSED/PLAYING
// so that the position survives a stop, seeks to the frame (accurate_seek.cpp),
// positions from 0 at the first frame (a demuxer's start offset is hidden) to the
// length, which runs to the end of the longest stream (measured from the file by
// clip_length.cpp where the demuxer only estimates it or cannot tell it; 0 when
// nothing tells it), linear volume, end-of-stream and error notes (their
// streaming side is clip_events.cpp).
// Does not: render subtitles or visualisations, choose among streams, or use again
// a pipeline that reported an error.
#include "clip.h"
#include "clip_state.h"
#include "clip_volume.h"
#include "missing_plugins.h"
#include "shared_pool.h"
#include "start.h"

#include <gst/gst.h>
#include <malloc.h>
#include <sys/stat.h>

#include <algorithm>

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

// A playbin with our sinks and no file yet; null when GStreamer lacks a part.
Clip* buildClip(fwlayer::ChildVideo* video) {
    Clip* clip = new Clip();
    clip->video = video;
    clip->pipeline = gst_element_factory_make("playbin", nullptr);
    if (clip->pipeline) gst_object_ref_sink(clip->pipeline);
    GstElement* videoSink = clip->pipeline ? makeVideoSink(clip) : nullptr;
    GstElement* audioSink = videoSink ? makeClipAudioSink() : nullptr;
    GstElement* audioInput = audioSink ? withVolume(audioSink) : nullptr;
    if (!audioInput) {
        if (videoSink) gst_object_unref(gst_object_ref_sink(videoSink));
        if (clip->pipeline) gst_object_unref(clip->pipeline);
        delete clip;
        return nullptr;
    }
    clip->sinks[0] = videoSink;  // playbin holds them for as long as it lives
    clip->sinks[1] = audioSink;  // in audioInput's bin
    g_object_set(clip->pipeline, "video-sink", videoSink, "audio-sink", audioInput, "flags", kPlayFlags, nullptr);
    if (GstElement* filter = videoFitMake(&clip->fit)) g_object_set(clip->pipeline, "video-filter", filter, nullptr);
    watchClip(clip);
    return clip;
}

// Points the stopped pipeline at uri, with what a file needs of its own; *silent
// when its sound has nowhere to go.
void startFile(Clip* clip, const char* utf8Path, const gchar* uri, bool* silent) {
    clip->path = utf8Path;
    clip->seeker = seekerOpen(clip->pipeline, clip->sinks[0], clip->sinks[1]);
    // An output opened for the file before sets the picture's lead; none may open now.
    g_object_set(clip->pipeline, "av-offset", gint64(0), nullptr);
    if (const char* factory = audioOutputFactory())
        clip->output = audioOutputOpen(clip->pipeline, clip->sinks[1], factory, &clip->audioAheadNs);
    *silent = clip->output == nullptr;
    g_object_set(clip->pipeline, "uri", uri, nullptr);
}

// Sets the pipeline paused and waits, bounded, until it stands on its first
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

// Brings the pipeline down to state, which joins its streaming threads, and lets
// go of what belonged to its file.
void endFile(Clip* clip, GstState state) {
    if (clip->seeker) seekerClose(clip->seeker);
    gst_element_set_state(clip->pipeline, state);
    // After the streaming threads: a demuxer added while the clip failed to open
    // starts a measurement that must be joined too.
    takeMeasuredEnd(clip);
    if (clip->seeker) seekerFree(clip->seeker);
    if (clip->output) audioOutputClose(clip->output);
    std::lock_guard<std::mutex> guard(clip->lock);
    if (clip->lastSample) gst_sample_unref(clip->lastSample);
    static_cast<ClipFile&>(*clip) = ClipFile();
    clip->lengthEstimated = false;
    // Every clip runs on streaming threads of its own, whose allocator arenas
    // would otherwise keep the freed frames: give the memory back per clip.
    malloc_trim(0);
}

// The file opened on the clip's pipeline, standing on its first frame; else the
// clip is closed and *result says why.
Clip* openFile(Clip* clip, const char* utf8Path, const gchar* uri, HRESULT* result) {
    bool silent = true;
    startFile(clip, utf8Path, uri, &silent);
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

}  // namespace

Clip* clipOpen(const char* utf8Path, fwlayer::ChildVideo* video, Clip** spare, HRESULT* result) {
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
    Clip* clip = *spare ? *spare : buildClip(video);
    *spare = nullptr;
    if (clip) clip = openFile(clip, utf8Path, uri, result);
    g_free(uri);
    return clip;
}

Clip* clipPark(Clip* clip) {
    if (!clip) return nullptr;
    bool failed;
    {
        std::lock_guard<std::mutex> guard(clip->lock);
        failed = clip->error != S_OK;
    }
    // A pipeline that failed may hold a part in a state of its own: not used again.
    if (failed) {
        clipClose(clip);
        return nullptr;
    }
    endFile(clip, GST_STATE_READY);
    videoFitReset(&clip->fit);
    return clip;
}

void clipClose(Clip* clip) {
    if (!clip) return;
    endFile(clip, GST_STATE_NULL);
    GstBus* bus = gst_element_get_bus(clip->pipeline);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_object_unref(bus);
    gst_object_unref(clip->pipeline);
    videoFitRelease(&clip->fit);
    delete clip;
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
