// What audio_output.cpp takes from sound_stream.cpp: one stream to the sound
// server, a small pipeline of its own on the system clock, fed from a pad of ours
// with sound placed at moments of that clock.
#pragma once

#include <gst/gst.h>

#include <atomic>

namespace fwgst {

struct SoundStream {
    GstElement* pipeline = nullptr;
    GstPad* feed = nullptr;
    GstCaps* caps = nullptr;    // what the feed carries now
    GstCaps* format = nullptr;  // what the server's stream plays
    GstClockTime base = 0;      // its base time on the system clock
    GstClockTime filledTo = 0;  // the moment the sound given so far reaches
};

// Builds a stream to the sink element factory's server playing format (what it is
// fed is converted to it), connects it and starts it, playing silence from now: it
// is never paused, so the server's timing stays right, and sound given to it later
// plays at its moment. May wait on the server. Bus messages go to onMessage.
bool soundStreamOpen(SoundStream* stream, const char* factory, GstCaps* format, GstBusSyncHandler onMessage,
                     gpointer data, GDestroyNotify freeData);
// Plays the sample from the moment at (system clock) on, over whatever was given
// for that time before. May wait on the server for room.
bool soundStreamPlay(SoundStream* stream, GstSample* sample, GstClockTime at);
// Silence from the moment from up to until, over whatever was given for it.
bool soundStreamSilence(SoundStream* stream, GstClockTime from, GstClockTime until);
// Takes the stream down, or stops a stream's pipeline, on a thread of its own:
// stopping a server's stream can wait on the server.
void soundStreamDrop(SoundStream* stream);
void soundPipelineStopSoon(GstElement* pipeline);

// The system clock's time, the one the clips and the streams run on.
GstClockTime soundClockNow();
// A copy of a clip's sample that also keeps the clip's base time when it came.
GstSample* sampleWithBaseTime(GstSample* sample, GstClockTime baseTime);
GstClockTime sampleBaseTime(GstSample* sample);
// A sample's running time on its clip's timeline, its stream time (or -1), and its length.
GstClockTime sampleRunningTime(GstSample* sample);
gint64 sampleStreamTime(GstSample* sample);
GstClockTime sampleDuration(GstSample* sample);
// Its channel count, or 0.
int sampleChannels(GstCaps* caps);

// Threads still inside a sound server's sink past their time, or taking a stream
// down: while there are a few, new clips play without sound rather than add to them.
std::atomic<int>& soundThreadsWaiting();

}  // namespace fwgst
