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
    GalleryView View = {mouseX, mouseY, thumbnailPage, unlockFlags, thumbnailTable, playItems, itemCount};
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

int32_t PlayerApp::handleMainScreenInput() {
    // The release: a button, or the end of a drag.
    if (leftReleased == 1 && dragMode != DRAG_NONE) {
        if (dragMode == DRAG_SEEK && isPlaying == 1) mediaControl->Run();
        dragMode = DRAG_NONE;
    } else if (leftReleased == 1) {
        MainScreenClick Click = mainScreenClick(mainScreenView());
        int32_t Item = currentItem;
        switch (Click.action) {
        case MAIN_CLICK_PREVIOUS:
        case MAIN_CLICK_NEXT:
        case MAIN_CLICK_CLIP:
            if (Click.action != MAIN_CLICK_CLIP) Item += Click.action == MAIN_CLICK_NEXT ? 1 : -1;
            if (!playClip(movieState(), Item, Click.action == MAIN_CLICK_CLIP ? Click.clip : 0)) return 0;
            mediaControl->Run();
            break;
        case MAIN_CLICK_STOP:
            isPlaying = 0;
            mediaControl->Stop();
            break;
        case MAIN_CLICK_PLAY:
            isPlaying = 1;
            mediaControl->Run();
            break;
        case MAIN_CLICK_GALLERY:
            screenMode = SCREEN_THUMBNAIL;
            mediaControl->Pause();
            videoWindow->put_Visible(OAFALSE);
            break;
        default:
            break;
        }
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

    // The drag follows the cursor's column, also beyond the window's edges.
    if (dragMode == DRAG_NONE) return 1;
    int32_t x = cursorClientX();
    if (x == dragLastX) return 1;
    if (dragMode == DRAG_SEEK) {
        seekToFraction(mediaSeeking, duration, sliderFraction(x));
        mediaControl->StopWhenReady();  // show the frame at the new position
    } else {
        volume = volumeForX(x);
        basicAudio->put_Volume(volume);
    }
    dragLastX = x;
    return 1;
}

int32_t PlayerApp::handleThumbnailScreenInput() {
    if (leftReleased != 1) return 1;
    GalleryClick Click = galleryClick(galleryView());
    if (Click.action == GALLERY_CLICK_PAGE) {
        thumbnailPage = thumbnailPage == 0 ? 1 : 0;
    } else if (Click.action == GALLERY_CLICK_PLAY) {
        screenMode = SCREEN_MAIN;
        if (!playClip(movieState(), Click.entry.item, Click.entry.clip)) return 0;
        videoWindow->put_Visible(OATRUE);
        mediaControl->Run();
    } else if (Click.action == GALLERY_CLICK_BACK) {
        screenMode = SCREEN_MAIN;
        videoWindow->put_Visible(OATRUE);
        mediaControl->Run();
    }
    return 1;
}
