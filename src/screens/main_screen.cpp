// The main screen: background, knobs, transport buttons and clip buttons around
// the video; transport and clip buttons act on a release, the bars on a press.
#include "gfx/gfx.h"
#include "gfx/layout.h"
#include "screens/screens.h"

namespace {

const D3DCOLOR kOpaque = 0xFFFFFFFF;

bool hovered(const MainScreenView& View, const RECT& Rect) {
    POINT Mouse = {View.mouseX, View.mouseY};
    return pointInRect(&Rect, &Mouse) == 1;
}

// Button k is shown when the item has more than k clips, and at least two.
bool clipButtonShown(const MainScreenView& View, int32_t k) { return View.clipCount >= 2 && View.clipCount > k; }

// Left edge of a knob whose fraction along its bar is Fraction (0 to 1).
float knobX(double Fraction) {
    return static_cast<float>(kKnobLeft + static_cast<int32_t>(Fraction * static_cast<double>(kSliderSpan)));
}

float volumeKnobX(int32_t Volume) {
    double VolumeX = static_cast<double>(kSliderSpan) -
                     static_cast<double>(Volume) * static_cast<double>(kSliderSpan) / kQuietestVolume;
    return static_cast<float>(kKnobLeft + static_cast<int32_t>(VolumeX));
}

}  // namespace

double sliderFraction(int32_t x) {
    double Fraction = static_cast<double>(x - kSliderOrigin) / kSliderSpan;
    if (!(Fraction > 0.0)) return 0.0;
    if (Fraction >= 1.0) return 1.0;
    return Fraction;
}

int32_t volumeForX(int32_t x) {
    double Quietness = 1.0 - static_cast<double>(x - kSliderOrigin) / kSliderSpan;
    if (!(Quietness > 0.0)) Quietness = 0.0;
    if (Quietness >= 1.0) Quietness = 1.0;
    return static_cast<int32_t>(kQuietestVolume * Quietness);
}

void drawMainScreenView(IDirect3DDevice9* device, IDirect3DTexture9* atlas, const MainScreenView& view) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00000000, 1.0f, 0);
    device->BeginScene();
    device->SetTexture(0, atlas);

    auto draw = [&](float x, float y, const RECT& Image) { drawQuad(device, atlas, 0, x, y, &Image, kOpaque); };
    // A button drawn over its own hit rectangle.
    auto button = [&](const RECT& Area, const RECT& Image) {
        draw(static_cast<float>(Area.left), static_cast<float>(Area.top), Image);
    };
    auto hover = [&](const RECT& Area) { return hovered(view, Area); };

    draw(0.0f, 0.0f, kMainBackground);
    draw(knobX(view.playedFraction), kSeekKnobY, view.dragMode == DRAG_SEEK ? kKnobDragged : kKnobNormal);
    draw(volumeKnobX(view.volume), kVolumeKnobY, view.dragMode == DRAG_VOLUME ? kKnobDragged : kKnobNormal);

    if (view.currentItem > 0) button(kPreviousRect, hover(kPreviousRect) ? kPreviousHighlighted : kPreviousNormal);
    button(kStopRect, view.isPlaying == 0 ? kStopInactive : hover(kStopRect) ? kStopHighlighted : kStopNormal);
    button(kPlayRect, view.isPlaying == 1 ? kPlayInactive : hover(kPlayRect) ? kPlayHighlighted : kPlayNormal);
    if (view.currentItem < view.itemCount - 1) button(kNextRect, hover(kNextRect) ? kNextHighlighted : kNextNormal);
    button(kThumbnailButtonRect, hover(kThumbnailButtonRect) ? kThumbnailButtonHighlighted : kThumbnailButtonNormal);

    for (int32_t k = 0; k < kClipButtonCount; ++k) {
        if (!clipButtonShown(view, k)) continue;
        const RECT& Area = kClipButtonRects[k];
        button(Area, view.currentClip == k ? kClipButtonCurrent
                     : hover(Area)         ? kClipButtonHighlighted
                                           : kClipButtonNormal);
    }

    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
}

MainScreenClick mainScreenClick(const MainScreenView& view) {
    MainScreenClick Click = {MAIN_CLICK_NOTHING, 0, 0};
    if (view.currentItem > 0 && hovered(view, kPreviousRect)) Click.action = MAIN_CLICK_PREVIOUS;
    else if (hovered(view, kStopRect)) Click.action = MAIN_CLICK_STOP;
    else if (hovered(view, kPlayRect)) Click.action = MAIN_CLICK_PLAY;
    else if (view.currentItem < view.itemCount - 1 && hovered(view, kNextRect)) Click.action = MAIN_CLICK_NEXT;
    else if (hovered(view, kThumbnailButtonRect)) Click.action = MAIN_CLICK_GALLERY;
    else
        for (int32_t k = 0; k < kClipButtonCount; ++k) {
            if (!clipButtonShown(view, k) || view.currentClip == k || !hovered(view, kClipButtonRects[k])) continue;
            Click.action = MAIN_CLICK_CLIP;
            Click.clip = k;
            break;
        }
    return Click;
}

int32_t mainScreenPress(const MainScreenView& view) {
    if (hovered(view, kSeekBarRect)) return DRAG_SEEK;
    if (hovered(view, kVolumeBarRect)) return DRAG_VOLUME;
    return DRAG_NONE;
}

MainScreenClick mainScreenKey(MainScreenView view, int32_t key) {
    MainScreenClick Click = {MAIN_CLICK_NOTHING, 0, 0};
    int32_t Code = key & ~KEY_REPEATED;
    if (Code == VK_UP || Code == VK_DOWN) {
        int32_t Volume = view.volume + (Code == VK_UP ? kVolumeStep : -kVolumeStep);
        Click.action = MAIN_CLICK_VOLUME;
        Click.volume = Volume > 0 ? 0 : Volume < kQuietestVolume ? kQuietestVolume : Volume;
        return Click;
    }
    const RECT* Button = nullptr;
    if (Code == VK_SPACE) Button = view.isPlaying == 1 ? &kStopRect : &kPlayRect;
    else if (Code == VK_LEFT) Button = &kPreviousRect;
    else if (Code == VK_RIGHT) Button = &kNextRect;
    else if (Code == 'G') Button = &kThumbnailButtonRect;
    else if (Code >= '1' && Code < '1' + kClipButtonCount) Button = &kClipButtonRects[Code - '1'];
    if (!Button || key != Code) return Click;
    // A release on the button's corner: the same rules as the mouse's.
    view.mouseX = Button->left;
    view.mouseY = Button->top;
    return mainScreenClick(view);
}
