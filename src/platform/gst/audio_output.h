// What clip.cpp takes from audio_output.cpp: a clip's audio sink, and the sound
// output that plays what reaches it, outside the clip's own pipeline.
#pragma once

#include <gst/gst.h>

namespace fwgst {

struct AudioOutput;

// The audio sink of a clip's pipeline: timed on the clip's clock like any sink,
// it hands its samples to the clip's output (or drops them when there is none).
GstElement* makeClipAudioSink();

// Starts playing what sink (from makeClipAudioSink, in the clip's pipeline)
// receives on the sound output whose sink element factory is named factory; sink
// then takes each sample a little before its moment, and the output plays it at
// its moment. Never waits on the output: it is played on a thread of its own.
// Null when no output can be had now (earlier ones are stuck in a sound server
// that does not answer).
AudioOutput* audioOutputOpen(GstElement* sink, const char* factory);

// The clip runs, or stands at positionNs (stream time): the output plays on, or
// falls silent at once, keeping what it has not played yet for when it runs again.
void audioOutputRun(AudioOutput* output, bool running, gint64 positionNs);

// After the clip's pipeline has stopped for good (no more samples).
void audioOutputClose(AudioOutput* output);

}  // namespace fwgst
