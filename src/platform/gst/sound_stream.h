// What audio_output.cpp takes from sound_stream.cpp: one stream to the sound
// server, a small pipeline of its own fed from a pad of ours.
#pragma once

#include <gst/gst.h>

#include <atomic>

namespace fwgst {

struct SoundStream {
    GstElement* pipeline = nullptr;
    GstPad* feed = nullptr;
    GstCaps* caps = nullptr;
    bool started = false;   // has been set playing: it plays on, and is never paused
    GstClockTime lead = 0;  // how long it plays silence before the clip's running time 0
};

// Builds a stream to the sink element factory's server and sets it paused, which
// connects to the server (and may wait on it). Its bus messages go to onMessage.
bool soundStreamOpen(SoundStream* stream, const char* factory, GstBusSyncHandler onMessage, gpointer data,
                     GDestroyNotify freeData);
// What the stream will play; the sink opens the server's stream for it.
void soundStreamSendCaps(SoundStream* stream, GstCaps* caps);
// Sets it playing on a clip's timeline (the same clock and base time) with lead of
// silence before the running time from: the server's stream starts playing only
// some time after it is started, so it starts that early, and each sample plays
// lead after its running time, as the clip's picture does.
bool soundStreamStart(SoundStream* stream, GstClockTime baseTime, GstClockTime from, GstClockTime lead, GstCaps* caps);
// One sample, played at its running time (may wait on the server for room).
bool soundStreamPush(SoundStream* stream, GstSample* sample);
// Takes the stream down, or stops a stream's pipeline, on a thread of its own:
// stopping a server's stream can wait on the server.
void soundStreamDrop(SoundStream* stream);
void soundPipelineStopSoon(GstElement* pipeline);

// A sample's running time on its clip's timeline.
GstClockTime sampleRunningTime(GstSample* sample);

// Threads still inside a sound server's sink past their time, or taking a stream
// down: while there are a few, new clips play without sound rather than add to them.
std::atomic<int>& soundThreadsWaiting();

}  // namespace fwgst
