// The play sequence: each clip plays its repeat count of times, then clip 0 of
// the next item; after the last item the first is cued and the sequence stops.
#include "app/messages.h"
#include "app/player_app.h"

int32_t PlayerApp::advanceSequence() {
    if (isPlaying != 1) return 1;

    LONG EventCode = 0;
    mediaEvent->WaitForCompletion(0, &EventCode);
    if (EventCode != EC_COMPLETE) return 1;

    ++clipPlayCount;
    int32_t RepeatCount = playItems[currentItem].clips[currentClip].repeatCount;
    if (RepeatCount <= 0 || clipPlayCount < RepeatCount) {
        // Rewind: the graph keeps running from the start.
        LONGLONG SeekPos = 0;
        mediaSeeking->SetPositions(&SeekPos, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
        return 1;
    }

    bool bLastItem = currentItem >= itemCount - 1;
    currentItem = bLastItem ? 0 : currentItem + 1;
    currentClip = 0;
    if (!loadMovie(currentItem, currentClip)) {
        showError(hwnd, kMessageMovieFailed);
        return 0;
    }
    if (bLastItem) {
        mediaControl->StopWhenReady();
        isPlaying = 0;
    } else {
        mediaControl->Run();
    }
    return 1;
}
