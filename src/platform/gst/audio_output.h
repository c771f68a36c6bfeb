// What clip.cpp takes from audio_output.cpp: a clip's audio sink, and the sound
// output that plays what reaches it, outside the clip's own pipeline.
#pragma once

#include <gst/gst.h>

namespace fwgst {

struct AudioOutput;

// The audio sink of a clip's pipeline: timed on the clip's clock like any sink,
// it hands its samples to the clip's output (or drops them when there is none).
GstElement* makeClipAudioSink();

// Starts playing what sink (from makeClipAudioSink, in playbin) receives on the
// sound output whose sink element factory is named factory. playbin then shows the
// picture a little later, for the output's start, and sink runs *aheadNs ahead of
// it (its samples leave early). Never waits on the output: it opens, plays, pauses
// and closes on threads of its own. Null when no output can be had now (earlier
// ones are stuck in a sound server that does not answer).
AudioOutput* audioOutputOpen(GstElement* playbin, GstElement* sink, const char* factory, gint64* aheadNs);

// The clip runs, or stands at positionNs (stream time): the output plays on, or
// stops at once, keeping what it has not played yet for when it runs again.
void audioOutputRun(AudioOutput* output, bool running, gint64 positionNs);

// After the clip's pipeline has stopped (no more samples): the output goes away on
// its own thread, and the sink, which may play another file, drops its samples.
void audioOutputClose(AudioOutput* output);

}  // namespace fwgst
