// The play sequence: each clip plays its repeat count of times, then clip 0 of
// the next item; after the last item the first is cued and the sequence stops.
#include "movie/movie.h"

int32_t stepSequence(const MovieState& movie) {
    if (*movie.isPlaying != 1) return 1;

    LONG EventCode = 0;
    movie.graph.mediaEvent->WaitForCompletion(0, &EventCode);
    if (EventCode != EC_COMPLETE) return 1;

    ++*movie.clipPlayCount;
    int32_t RepeatCount = movie.playItems[*movie.currentItem].clips[*movie.currentClip].repeatCount;
    if (RepeatCount <= 0 || *movie.clipPlayCount < RepeatCount) {
        // Rewind: the graph keeps running from the start.
        LONGLONG SeekPos = 0;
        movie.graph.mediaSeeking->SetPositions(&SeekPos, AM_SEEKING_AbsolutePositioning, nullptr,
                                               AM_SEEKING_NoPositioning);
        return 1;
    }

    bool bLastItem = *movie.currentItem >= movie.itemCount - 1;
    if (!playClip(movie, bLastItem ? 0 : *movie.currentItem + 1, 0)) return 0;
    if (bLastItem) {
        movie.graph.mediaControl->StopWhenReady();
        *movie.isPlaying = 0;
    } else {
        movie.graph.mediaControl->Run();
    }
    return 1;
}
