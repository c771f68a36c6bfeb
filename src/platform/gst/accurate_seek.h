// What clip.cpp takes from accurate_seek.cpp: seeks that show the frame at the
// asked time whatever the spacing of the key frames.
#pragma once

#include <gst/gst.h>

namespace fwgst {

struct Seeker;

// Watches the sinks' input of pipeline (either sink may be null).
Seeker* seekerOpen(GstElement* pipeline, GstElement* videoSink, GstElement* audioSink);
// No more seeks: waits for a retry in flight to end. Before the pipeline stops.
void seekerClose(Seeker* seeker);
// After the pipeline has stopped: the sinks are no longer watched.
void seekerFree(Seeker* seeker);

// How far before the asked time a seek starts, for a demuxer that lands after the
// key frame the asked picture needs, and how far before it the first picture
// decoded must lie: where the file leaves pictures' time stamps out (MPEG streams
// do), the decoder guesses the first ones after a flush from their decoding
// times, a few pictures early. Any thread.
void seekerSetLead(Seeker* seeker, gint64 leadNs, gint64 marginNs);

// A flushing seek to stream time targetNs: the first picture to show is the one
// at that time (seeking again from further back, in the background, when the
// decoding started after it). False when the pipeline refused it.
bool seekerSeek(Seeker* seeker, gint64 targetNs);

}  // namespace fwgst
