// One rendered movie file as a GStreamer pipeline: what a filter graph holds
// between a successful RenderFile and its tear-down. Used by the filter graph
// manager (graph.cpp) on the thread that makes the COM calls; the pipeline's
// streaming threads only push frames and note bus messages.
#pragma once

#include <cstdint>

#include "../common/layer.h"

namespace fwgst {

struct Clip;

// Initialises GStreamer once per process; false when it cannot be.
bool ensureGstreamer();

// Opens the file (a UTF-8 name, relative to the current directory), builds its
// playback pipeline and waits until it stands paused on its first frame. On
// success *result is S_OK or VFW_S_AUDIO_NOT_RENDERED and the clip is returned;
// on failure a negative HRESULT and null. Frames go to video while the clip's
// state lets them show. A clip that clipPark kept for the same video in *spare
// lends its pipeline (*spare is then null), which saves building one.
Clip* clipOpen(const char* utf8Path, fwlayer::ChildVideo* video, Clip** spare, HRESULT* result);
// Stops the clip and lets go of what belongs to its file, keeping the pipeline for
// the next clipOpen: returns the spare, or null when the clip was closed instead
// (after a streaming error).
Clip* clipPark(Clip* clip);
void clipClose(Clip* clip);  // stops the pipeline and frees everything

bool clipHasVideo(const Clip* clip);
bool clipHasAudio(const Clip* clip);

// The graph's states, as the program sees them. The pipeline itself is paused in
// all but Running, so the position is kept.
enum class ClipState { Stopped, Cued, Paused, Running };
void clipSetState(Clip* clip, ClipState state);

// Positions and durations in 100 ns units from 0 at the first frame; the
// duration runs to the end of the longest stream, 0 when nothing tells it, and
// positions stay within it.
bool clipDuration(Clip* clip, int64_t* duration);
bool clipPosition(Clip* clip, int64_t* position);
bool clipSeek(Clip* clip, int64_t position);

// Linear gain, 0 to 1.
void clipSetVolume(Clip* clip, double gain);

// True once per end of stream reached while running (consumes it).
bool clipTakeCompletion(Clip* clip);
// The HRESULT of an error the pipeline reported after it was opened, or S_OK.
HRESULT clipStreamError(Clip* clip);

}  // namespace fwgst
