// The screens in the frame: each screen of screens/ draws itself and says what a
// click means; here the application applies it to its state, the graph and the drag.
#include "app/player_app.h"

MainScreenView PlayerApp::mainScreenView() {
    // The played fraction asks the graph; only the drawing needs it and fills it in.
    MainScreenView View = {mouseX,    mouseY, currentItem, itemCount, currentClip, playItems[currentItem].clipCount,
                           isPlaying, volume, dragMode,    0.0};
    return View;
}

GalleryView PlayerApp::galleryView() {
    GalleryView View = {mouseX,         mouseY,    thumbnailPage, unlockFlags,
                        thumbnailTable, playItems, itemCount,     galleryHighlight};
    return View;
}

int32_t PlayerApp::drawMainScreen() {
    MainScreenView View = mainScreenView();
    View.playedFraction = playedFraction(mediaSeeking, duration);
    drawMainScreenView(device, texMainBG, View);
    return 1;
}

int32_t PlayerApp::drawThumbnailScreen() {
    GalleryTextures Textures = {{texThumbnailBG1, texThumbnailBG2}, texThumbnail};
    drawGalleryView(device, Textures, galleryView());
    return 1;
}

int32_t PlayerApp::cursorClientX() {
    POINT WorldCursorPos;
    RECT Rect;
    GetCursorPos(&WorldCursorPos);
    GetWindowRect(hwnd, &Rect);
    return WorldCursorPos.x - Rect.left - GetSystemMetrics(SM_CXEDGE) - GetSystemMetrics(SM_CXFIXEDFRAME);
}

namespace {

// What a release on the main screen's buttons does. 0 when a clip fails to load.
int32_t applyClick(PlayerApp& App, const MainScreenClick& Click) {
    switch (Click.action) {
    case MAIN_CLICK_PREVIOUS:
    case MAIN_CLICK_NEXT:
    case MAIN_CLICK_CLIP: {
        int32_t Item = App.currentItem;
        if (Click.action != MAIN_CLICK_CLIP) Item += Click.action == MAIN_CLICK_NEXT ? 1 : -1;
        if (!playClip(App.movieState(), Item, Click.action == MAIN_CLICK_CLIP ? Click.clip : 0)) return 0;
        App.mediaControl->Run();
        break;
    }
    case MAIN_CLICK_STOP:
        App.isPlaying = 0;
        App.mediaControl->Stop();
        break;
    case MAIN_CLICK_PLAY:
        App.isPlaying = 1;
        App.mediaControl->Run();
        break;
    case MAIN_CLICK_GALLERY:
        App.screenMode = SCREEN_THUMBNAIL;
        App.mediaControl->Pause();
        App.videoWindow->put_Visible(OAFALSE);
        break;
    case MAIN_CLICK_VOLUME:
        App.volume = Click.volume;
        App.basicAudio->put_Volume(App.volume);
        break;
    default: break;
    }
    return 1;
}

// What a release or a key on the gallery does. 0 when the chosen clip fails to load.
int32_t applyGalleryClick(PlayerApp& App, const GalleryClick& Click) {
    if (Click.action == GALLERY_CLICK_PAGE) {
        App.thumbnailPage = App.thumbnailPage == 0 ? 1 : 0;
    } else if (Click.action == GALLERY_CLICK_PLAY) {
        App.screenMode = SCREEN_MAIN;
        if (!playClip(App.movieState(), Click.entry.item, Click.entry.clip)) return 0;
        App.videoWindow->put_Visible(OATRUE);
        App.mediaControl->Run();
    } else if (Click.action == GALLERY_CLICK_BACK) {
        App.screenMode = SCREEN_MAIN;
        App.videoWindow->put_Visible(OATRUE);
        App.mediaControl->Run();
    } else if (Click.action == GALLERY_CLICK_HIGHLIGHT) {
        App.galleryHighlight = Click.highlight;
    }
    return 1;
}

// The drag follows the cursor's column, also beyond the window's edges.
void followDrag(PlayerApp& App) {
    if (App.dragMode == DRAG_NONE) return;
    int32_t x = App.cursorClientX();
    if (x == App.dragLastX) return;
    if (App.dragMode == DRAG_SEEK) {
        seekToFraction(App.mediaSeeking, App.duration, sliderFraction(x));
        App.mediaControl->StopWhenReady();  // show the frame at the new position
    } else {
        App.volume = volumeForX(x);
        App.basicAudio->put_Volume(App.volume);
    }
    App.dragLastX = x;
}

}  // namespace

int32_t PlayerApp::handleMainScreenInput() {
    // The release: a button, or the end of a drag.
    if (leftReleased == 1 && dragMode != DRAG_NONE) {
        if (dragMode == DRAG_SEEK && isPlaying == 1) mediaControl->Run();
        dragMode = DRAG_NONE;
    } else if (leftReleased == 1) {
        if (!applyClick(*this, mainScreenClick(mainScreenView()))) return 0;
    }

    // The press: a bar starts a drag.
    int32_t Bar = leftPressed == 1 ? mainScreenPress(mainScreenView()) : DRAG_NONE;
    if (Bar == DRAG_SEEK) {
        mediaControl->Stop();
        seekToFraction(mediaSeeking, duration, sliderFraction(mouseX));
    } else if (Bar == DRAG_VOLUME) {
        volume = volumeForX(mouseX);
        basicAudio->put_Volume(volume);
    }
    if (Bar != DRAG_NONE) {
        dragLastX = cursorClientX();
        dragMode = Bar;
    }
    followDrag(*this);
    return 1;
}

int32_t PlayerApp::handleThumbnailScreenInput() {
    if (leftReleased != 1) return 1;
    return applyGalleryClick(*this, galleryClick(galleryView()));
}

// The oldest key waiting, on the screen shown: what a click on its button does, by the
// same rules. While a knob is dragged, as a release then, no button acts.
int32_t PlayerApp::handleKey() {
    int32_t Key = keyQueue[0];
    for (int32_t k = 1; k < keyCount; ++k) keyQueue[k - 1] = keyQueue[k];
    --keyCount;
    if (screenMode == SCREEN_MAIN && dragMode == DRAG_NONE)
        return applyClick(*this, mainScreenKey(mainScreenView(), Key));
    if (screenMode == SCREEN_THUMBNAIL) return applyGalleryClick(*this, galleryKey(galleryView(), Key));
    return 1;
}
