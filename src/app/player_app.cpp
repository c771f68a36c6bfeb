// The application object: construction, start-up, the paced main loop, the frame,
// and shutdown; the operations the tables, the graphics and the movie carry out.
#include "app/player_app.h"

#include <cstring>

#include "gfx/gfx.h"
#include "errors/errors.h"

namespace {

const DWORD kFrameInterval = 15;  // ms from the start of one frame to the start of the next

template <typename T>
void releaseInterface(T*& pInterface) {
    if (pInterface) {
        pInterface->Release();
        pInterface = nullptr;
    }
}

}  // namespace

PlayerApp::PlayerApp()
    : hwnd(nullptr),
      d3d(nullptr),
      device(nullptr),
      presentParams(),
      texMainBG(nullptr),
      texThumbnailBG1(nullptr),
      texThumbnailBG2(nullptr),
      texThumbnail(nullptr),
      graphBuilder(nullptr),
      mediaControl(nullptr),
      basicAudio(nullptr),
      videoWindow(nullptr),
      mediaSeeking(nullptr),
      mediaEvent(nullptr),
      duration(0),
      screenMode(SCREEN_MAIN),
      itemCount(0),
      currentItem(0),
      currentClip(0),
      clipPlayCount(0),
      thumbnailPage(0),
      isPlaying(1),
      volume(0),
      dragMode(DRAG_NONE),
      dragLastX(0),
      mouseX(0),
      mouseY(0),
      leftPressed(0),
      leftReleased(0),
      keyCount(0),
      galleryHighlight(-1),
      displayRequired(0) {
    std::memset(keyQueue, 0, sizeof(keyQueue));
    std::memset(playItems, 0, sizeof(playItems));
    std::memset(thumbnailTable, 0, sizeof(thumbnailTable));
    std::memset(unlockFlags, 0, sizeof(unlockFlags));
}

PlayerApp::~PlayerApp() { shutDown(); }

int32_t PlayerApp::run(HINSTANCE hInstance) {
    if (startUp(hInstance) == 1) {
        MSG msg;
        DWORD Last = timeGetTime();
        for (;;) {
            if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
                if (GetMessageA(&msg, nullptr, 0, 0) <= 0) break;
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
                continue;
            }
            DWORD Now = timeGetTime();
            if (static_cast<int32_t>(Now - Last) >= static_cast<int32_t>(kFrameInterval)) {
                if (!runFrame()) break;
                Last = Now;
            } else {
                Sleep(1);
            }
        }
    }
    shutDown();
    return 1;
}

int32_t PlayerApp::readPlayTable(const char* path) { return readPlayItems(path, playItems, &itemCount); }

int32_t PlayerApp::readThumbnailTable(const char* path) { return readThumbnailEntries(path, thumbnailTable); }

int32_t PlayerApp::createDevice() { return createPlayerDevice(hwnd, d3d, device, presentParams); }

int32_t PlayerApp::loadTextures() {
    if (loadBitmapTexture(device, &texMainBG, nullptr, "Bmp/MainBG.bmp") != 0) return 0;
    if (loadBitmapTexture(device, &texThumbnailBG1, nullptr, "Bmp/ThumbnailBG1.bmp") != 0) return 0;
    if (loadBitmapTexture(device, &texThumbnailBG2, nullptr, "Bmp/ThumbnailBG2.bmp") != 0) return 0;
    if (loadBitmapTexture(device, &texThumbnail, nullptr, "Bmp/Thumbnail.bmp") != 0) return 0;
    return 1;
}

MovieState PlayerApp::movieState() {
    MovieGraph Graph = {graphBuilder, mediaControl, basicAudio, videoWindow, mediaSeeking, mediaEvent};
    return {hwnd,      Graph,        playItems,    itemCount,      unlockFlags, &volume,
            &duration, &currentItem, &currentClip, &clipPlayCount, &isPlaying};
}

int32_t PlayerApp::createMovieGraph() {
    // Written back whatever happens: shutDown releases what was obtained before a failure.
    MovieGraph Graph = {graphBuilder, mediaControl, basicAudio, videoWindow, mediaSeeking, mediaEvent};
    int32_t Result = createGraph(&Graph);
    graphBuilder = Graph.graphBuilder;
    mediaControl = Graph.mediaControl;
    basicAudio = Graph.basicAudio;
    videoWindow = Graph.videoWindow;
    mediaSeeking = Graph.mediaSeeking;
    mediaEvent = Graph.mediaEvent;
    return Result;
}

int32_t PlayerApp::loadMovie(int32_t item, int32_t clip) { return loadClip(movieState(), item, clip); }

int32_t PlayerApp::advanceSequence() { return stepSequence(movieState()); }

int32_t PlayerApp::startUp(HINSTANCE hInstance) {
    CoInitialize(nullptr);
    loadSaveData();
    if (!createMainWindow(hInstance)) {
        showError(hwnd, kMessageWindowFailed);
        return 0;
    }
    if (!createDevice()) {
        showError(hwnd, kMessageGraphicsFailed);
        return 0;
    }
    if (!createMovieGraph()) {
        showError(hwnd, kMessageShowFailed);
        return 0;
    }
    if (!loadTextures()) {
        showError(hwnd, kMessageTextureFailed);
        return 0;
    }
    if (!readPlayTable("Data/PlayTable.txt")) {
        showError(hwnd, kMessagePlayTableFailed);
        return 0;
    }
    if (!readThumbnailTable("Data/ThumbnailTable.txt")) {
        showError(hwnd, kMessageThumbnailTableFailed);
        return 0;
    }
    if (!playClip(movieState(), 0, 0)) return 0;
    if (isPlaying == 1) mediaControl->Run();
    return 1;
}

int32_t PlayerApp::runFrame() {
    drawScreen();
    advanceSequence();
    int32_t Result = handleInput() != 0 ? 1 : 0;
    requireDisplay(screenMode == SCREEN_MAIN && isPlaying == 1 ? 1 : 0);
    return Result;
}

int32_t PlayerApp::drawScreen() {
    if (screenMode == SCREEN_MAIN) return drawMainScreen();
    if (screenMode == SCREEN_THUMBNAIL) return drawThumbnailScreen();
    return 1;
}

int32_t PlayerApp::handleInput() {
    // Another screen value never occurs; it is left alone and the loop goes on.
    int32_t Result = 1;
    if (screenMode == SCREEN_MAIN) Result = handleMainScreenInput();
    else if (screenMode == SCREEN_THUMBNAIL) Result = handleThumbnailScreenInput();
    if (Result == 1 && keyCount > 0) Result = handleKey();
    leftPressed = 0;
    leftReleased = 0;
    return Result;
}

// While the sequence plays on the main screen the display stays on; asked only on a change.
void PlayerApp::requireDisplay(int32_t required) {
    if (required == displayRequired) return;
    displayRequired = required;
    SetThreadExecutionState(required == 1 ? ES_CONTINUOUS | ES_DISPLAY_REQUIRED : ES_CONTINUOUS);
}

void PlayerApp::shutDown() {
    if (!writeSaveData()) showError(nullptr, kMessageSaveFailed);

    releaseInterface(texMainBG);
    releaseInterface(texThumbnailBG1);
    releaseInterface(texThumbnailBG2);
    releaseInterface(texThumbnail);
    releaseInterface(device);
    releaseInterface(d3d);

    // The video window is hidden and detached from the main window before the graph goes.
    if (videoWindow) {
        videoWindow->put_Visible(OAFALSE);
        videoWindow->put_Owner(0);
    }
    if (mediaControl) mediaControl->Stop();
    requireDisplay(0);
    releaseInterface(mediaControl);
    releaseInterface(basicAudio);
    releaseInterface(videoWindow);
    releaseInterface(mediaSeeking);
    releaseInterface(mediaEvent);
    releaseInterface(graphBuilder);

    CoUninitialize();
}
