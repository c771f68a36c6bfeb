// The movie: the filter graph, loading a clip into it, and the play sequence.
// Free functions over the fields PlayerApp hands them; nothing here knows PlayerApp.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "tables/tables.h"

// The graph's six interfaces, as PlayerApp holds them.
struct MovieGraph {
    IGraphBuilder* graphBuilder;
    IMediaControl* mediaControl;
    IBasicAudio* basicAudio;
    IVideoWindow* videoWindow;
    IMediaSeeking* mediaSeeking;
    IMediaEvent* mediaEvent;
};

// What loading and sequencing read and change: the graph, the tables, and PlayerApp's
// play position, unlock flags and volume by address.
struct MovieState {
    HWND owner;  // the main window: the video's parent and the failure message's owner
    MovieGraph graph;
    const PlayItem* playItems;
    int32_t itemCount;
    uint8_t* unlockFlags;
    const int32_t* volume;
    int64_t* duration;
    int32_t* currentItem;
    int32_t* currentClip;
    int32_t* clipPlayCount;
    int32_t* isPlaying;
};

// Creates the graph and queries its interfaces into graph: 1, or 0 at the first failure.
int32_t createGraph(MovieGraph* graph);

// Stops and empties the graph, unlocks the clip, renders its file into the video area
// of the owner window and cues it at the start: 1, or 0 when a step fails.
int32_t loadClip(const MovieState& movie, int32_t item, int32_t clip);

// The one place a clip is loaded for playing: makes it the current one and loads it,
// showing "ムービーのロードに失敗しました" when that fails (then 0).
int32_t playClip(const MovieState& movie, int32_t item, int32_t clip);

// One frame of the sequence: on the clip's end, rewind it or move on. 0 when the next
// clip fails to load (the message has been shown).
int32_t stepSequence(const MovieState& movie);

// Moves the graph to fraction (0 to 1) of duration.
void seekToFraction(IMediaSeeking* seeking, int64_t duration, double fraction);

// How far the graph has played, 0 to 1; 0 when duration or position is unknown.
double playedFraction(IMediaSeeking* seeking, int64_t duration);
