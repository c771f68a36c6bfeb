// The main screen: background, knobs, transport buttons and clip buttons around
// the video.
#include "app/player_app.h"
#include "gfx/gfx.h"
#include "gfx/layout.h"

namespace {

const D3DCOLOR kOpaque = 0xFFFFFFFF;

// Left edge of a knob whose fraction along its bar is Fraction (0 to 1).
float knobX(double Fraction) {
    return static_cast<float>(kKnobLeft + static_cast<int32_t>(Fraction * static_cast<double>(kSliderSpan)));
}

}  // namespace

int32_t PlayerApp::drawMainScreen() {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00000000, 1.0f, 0);
    device->BeginScene();
    device->SetTexture(0, texMainBG);

    POINT Mouse = {mouseX, mouseY};
    auto hovered = [&Mouse](const RECT& Rect) { return pointInRect(&Rect, &Mouse) == 1; };
    auto draw = [this](float x, float y, const RECT& Image) {
        drawQuad(device, texMainBG, 0, x, y, &Image, kOpaque);
    };

    draw(0.0f, 0.0f, kMainBackground);

    // An unknown duration or position puts the seek knob at its start.
    LONGLONG CurrentPos = 0;
    double SeekFraction = 0.0;
    if (mediaSeeking && SUCCEEDED(mediaSeeking->GetCurrentPosition(&CurrentPos)) && duration > 0) {
        SeekFraction = static_cast<double>(CurrentPos) / static_cast<double>(duration);
        if (SeekFraction < 0.0) SeekFraction = 0.0;
        if (SeekFraction > 1.0) SeekFraction = 1.0;
    }
    draw(knobX(SeekFraction), kSeekKnobY, dragMode == DRAG_SEEK ? kKnobDragged : kKnobNormal);

    double VolumeX = static_cast<double>(kSliderSpan) -
                     static_cast<double>(volume) * static_cast<double>(kSliderSpan) / kQuietestVolume;
    draw(static_cast<float>(kKnobLeft + static_cast<int32_t>(VolumeX)), kVolumeKnobY,
         dragMode == DRAG_VOLUME ? kKnobDragged : kKnobNormal);

    if (currentItem > 0)
        draw(456.0f, 535.0f, hovered(kPreviousRect) ? kPreviousHighlighted : kPreviousNormal);
    draw(514.0f, 535.0f, isPlaying == 0 ? kStopInactive : hovered(kStopRect) ? kStopHighlighted : kStopNormal);
    draw(572.0f, 535.0f, isPlaying == 1 ? kPlayInactive : hovered(kPlayRect) ? kPlayHighlighted : kPlayNormal);
    if (currentItem < itemCount - 1)
        draw(630.0f, 535.0f, hovered(kNextRect) ? kNextHighlighted : kNextNormal);
    draw(714.0f, 535.0f, hovered(kThumbnailButtonRect) ? kThumbnailButtonHighlighted : kThumbnailButtonNormal);

    // Button k is drawn when the item has more than k clips, and at least two.
    int32_t ClipCount = playItems[currentItem].clipCount;
    for (int32_t k = 0; k < kClipButtonCount; ++k) {
        if (ClipCount < 2 || ClipCount <= k) continue;
        const RECT& Area = kClipButtonRects[k];
        const RECT& Image = currentClip == k       ? kClipButtonCurrent
                            : hovered(Area)        ? kClipButtonHighlighted
                                                   : kClipButtonNormal;
        draw(static_cast<float>(Area.left), static_cast<float>(Area.top), Image);
    }

    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
    return 1;
}
