// What clip.cpp takes from audio_output.cpp: a clip's audio sink, and the sound
// output that plays what reaches it, outside the clip's own pipeline.
#pragma once

#include <gst/gst.h>

namespace fwgst {

struct AudioOutput;

// The audio sink of a clip's pipeline: timed on the clip's clock like any sink,
// it hands its samples to the clip's output (or drops them when there is none).
// Paced early by the output's buffer when output is true.
GstElement* makeClipAudioSink(bool output);

// Starts playing what sink (from makeClipAudioSink) receives on the sound output
// whose sink element factory is named factory. Never waits on the output: it opens,
// plays, pauses and closes on threads of its own. Null when no output can be had
// now (a previous one is still stuck in a sound server that does not answer).
AudioOutput* audioOutputOpen(GstElement* sink, const char* factory);

// The clip runs, or stands at positionNs (stream time): the output plays on, or
// stops at once, keeping what it has not played yet for when it runs again.
void audioOutputRun(AudioOutput* output, bool running, gint64 positionNs);

// After the clip's pipeline has stopped for good (no more samples): the output
// goes away on its own thread.
void audioOutputClose(AudioOutput* output);

}  // namespace fwgst
