// The state of one clip (clip.cpp) that its pipeline's streaming threads share,
// and what runs on those threads (clip_events.cpp). Private to the two files.
#pragma once

#include <gst/gst.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "../common/layer.h"
#include "accurate_seek.h"
#include "audio_output.h"
#include "clip_length.h"
#include "video_fit.h"

namespace fwgst {

// What belongs to the file being played: the pipeline kept for the next file
// starts it afresh (see clipPark).
struct ClipFile {
    AudioOutput* output = nullptr;  // where the audio sink's samples are played
    Seeker* seeker = nullptr;
    gint64 audioAheadNs = 0;  // how far the audio sink's position runs ahead
    int videoStreams = 0;
    int audioStreams = 0;
    gint64 startOffsetNs = 0;
    gint64 lengthNs = -1;      // from the first frame to the end, or -1 while unknown
    int64_t lastPosition = 0;  // the latest the program was told, in 100 ns units
    // Paused on its first frame since it opened: a seek to the start would only
    // flush and decode that frame again (the program rewinds every clip it loads).
    bool standingAtOpen = false;
    std::string path;

    // Shared with the streaming threads, under the clip's lock.
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
    // The demuxer only estimates the length, and from its first time stamp on; so
    // the file's end is measured while the pipeline opens (see measureLength).
    EndMeasurement* endMeasurement = nullptr;
};

struct Clip : ClipFile {
    GstElement* pipeline = nullptr;
    fwlayer::ChildVideo* video = nullptr;
    GstElement* sinks[2] = {};  // video and audio, owned by the pipeline
    VideoFit fit;               // on the video's streaming thread
    std::mutex lock;
    std::condition_variable changed;
    // Set while the pipeline is being built, read afterwards.
    std::atomic<bool> lengthEstimated{false};
};

// Frames from the video sink go to the clip's child video.
GstElement* makeVideoSink(Clip* clip);
// Handles the pipeline's bus messages as they are posted, and tunes the elements
// playbin adds, for as long as the pipeline lives.
void watchClip(Clip* clip);
// The end measured while the pipeline opened, or -1.
gint64 takeMeasuredEnd(Clip* clip);

}  // namespace fwgst
