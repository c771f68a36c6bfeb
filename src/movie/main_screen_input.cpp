// The main screen's mouse: transport and clip buttons act on a release, the seek
// and volume bars on a press, and a knob follows the cursor while it is dragged.
#include "app/messages.h"
#include "app/player_app.h"
#include "gfx/gfx.h"
#include "gfx/layout.h"

namespace {

// Where column x lies along a bar, 0 to 1.
double sliderFraction(int32_t x) {
    double Fraction = static_cast<double>(x - kSliderOrigin) / kSliderSpan;
    if (!(Fraction > 0.0)) return 0.0;
    if (Fraction >= 1.0) return 1.0;
    return Fraction;
}

// The volume bar runs from the quietest setting on the left to full on the right.
int32_t volumeForX(int32_t x) {
    double Quietness = 1.0 - static_cast<double>(x - kSliderOrigin) / kSliderSpan;
    if (!(Quietness > 0.0)) Quietness = 0.0;
    if (Quietness >= 1.0) Quietness = 1.0;
    return static_cast<int32_t>(kQuietestVolume * Quietness);
}

}  // namespace

int32_t PlayerApp::cursorClientX() {
    POINT WorldCursorPos;
    RECT Rect;
    GetCursorPos(&WorldCursorPos);
    GetWindowRect(hwnd, &Rect);
    return WorldCursorPos.x - Rect.left - GetSystemMetrics(SM_CXEDGE) - GetSystemMetrics(SM_CXFIXEDFRAME);
}

int32_t PlayerApp::handleMainScreenInput() {
    POINT Mouse = {mouseX, mouseY};
    auto inside = [&Mouse](const RECT& Rect) { return pointInRect(&Rect, &Mouse) == 1; };
    auto seekTo = [this](int32_t x) {
        LONGLONG SeekPos = static_cast<LONGLONG>(static_cast<double>(duration) * sliderFraction(x));
        mediaSeeking->SetPositions(&SeekPos, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    };
    // Loads the clip now named by currentItem and currentClip and runs it.
    auto playCurrent = [this]() {
        if (!loadMovie(currentItem, currentClip)) {
            showError(hwnd, kMessageMovieFailed);
            return false;
        }
        mediaControl->Run();
        return true;
    };

    // The release: a button, or the end of a drag.
    if (leftReleased == 1) {
        if (dragMode == DRAG_NONE) {
            int32_t ClipCount = playItems[currentItem].clipCount;
            if (currentItem > 0 && inside(kPreviousRect)) {
                --currentItem;
                currentClip = 0;
                if (!playCurrent()) return 0;
            } else if (inside(kStopRect)) {
                isPlaying = 0;
                mediaControl->Stop();
            } else if (inside(kPlayRect)) {
                isPlaying = 1;
                mediaControl->Run();
            } else if (currentItem < itemCount - 1 && inside(kNextRect)) {
                ++currentItem;
                currentClip = 0;
                if (!playCurrent()) return 0;
            } else if (inside(kThumbnailButtonRect)) {
                screenMode = SCREEN_THUMBNAIL;
                mediaControl->Pause();
                videoWindow->put_Visible(OAFALSE);
            } else {
                for (int32_t k = 0; k < kClipButtonCount; ++k) {
                    if (ClipCount < 2 || ClipCount <= k || currentClip == k) continue;
                    if (!inside(kClipButtonRects[k])) continue;
                    currentClip = k;
                    if (!playCurrent()) return 0;
                    break;
                }
            }
        } else {
            if (dragMode == DRAG_SEEK && isPlaying == 1) mediaControl->Run();
            dragMode = DRAG_NONE;
        }
    }

    // The press: a bar starts a drag.
    if (leftPressed == 1) {
        if (inside(kSeekBarRect)) {
            mediaControl->Stop();
            seekTo(mouseX);
            dragLastX = cursorClientX();
            dragMode = DRAG_SEEK;
        }
        if (inside(kVolumeBarRect)) {
            volume = volumeForX(mouseX);
            basicAudio->put_Volume(volume);
            dragLastX = cursorClientX();
            dragMode = DRAG_VOLUME;
        }
    }

    // The drag follows the cursor's column, also beyond the window's edges.
    if (dragMode == DRAG_SEEK) {
        int32_t x = cursorClientX();
        if (x != dragLastX) {
            seekTo(x);
            mediaControl->StopWhenReady();  // show the frame at the new position
            dragLastX = x;
        }
    } else if (dragMode == DRAG_VOLUME) {
        int32_t x = cursorClientX();
        if (x != dragLastX) {
            volume = volumeForX(x);
            basicAudio->put_Volume(volume);
            dragLastX = x;
        }
    }
    return 1;
}
