// The application object: the whole state of the player and every operation on it.
#pragma once

#include <cstdint>

#include "movie/movie.h"
#include "platform/platform.h"
#include "screens/screens.h"
#include "tables/tables.h"

// Keys pressed and not yet handled (one is handled a frame); more are dropped.
const int32_t MAX_QUEUED_KEYS = 16;

enum {
    SCREEN_MAIN = 0,       // the movie plays; controls around it
    SCREEN_THUMBNAIL = 1,  // the gallery; movie paused, video hidden
};

class PlayerApp {
public:
    PlayerApp();
    ~PlayerApp();
    PlayerApp(const PlayerApp&) = delete;
    PlayerApp& operator=(const PlayerApp&) = delete;

    // app/player_app.cpp
    int32_t run(HINSTANCE hInstance);
    int32_t startUp(HINSTANCE hInstance);
    int32_t runFrame();
    int32_t drawScreen();
    int32_t handleInput();
    void requireDisplay(int32_t required);
    void shutDown();

    // app/main_window.cpp
    int32_t createMainWindow(HINSTANCE hInstance);
    static LRESULT CALLBACK mainWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    void setMousePosition(int32_t x, int32_t y);
    void setLeftPressed();
    void setLeftReleased();
    void setKeyPressed(int32_t key, bool repeated);

    // app/save_data.cpp
    int32_t loadSaveData();
    int32_t writeSaveData();

    // app/player_app.cpp, through the readers of tables/
    int32_t readPlayTable(const char* path);
    int32_t readThumbnailTable(const char* path);

    // app/player_app.cpp, through gfx/ and movie/
    int32_t createDevice();
    int32_t loadTextures();
    int32_t createMovieGraph();
    int32_t loadMovie(int32_t item, int32_t clip);
    int32_t advanceSequence();

    // app/screens.cpp: the screens of screens/ draw and read clicks; these apply them
    int32_t drawMainScreen();
    int32_t drawThumbnailScreen();
    int32_t handleMainScreenInput();
    int32_t handleThumbnailScreenInput();
    int32_t handleKey();
    int32_t cursorClientX();

    // The fields the lower folders work on, handed over as plain views.
    MovieState movieState();
    MainScreenView mainScreenView();
    GalleryView galleryView();

    // Fields, in this order.
    HWND hwnd;
    IDirect3D9* d3d;
    IDirect3DDevice9* device;
    D3DPRESENT_PARAMETERS presentParams;
    IDirect3DTexture9* texMainBG;
    IDirect3DTexture9* texThumbnailBG1;
    IDirect3DTexture9* texThumbnailBG2;
    IDirect3DTexture9* texThumbnail;
    IGraphBuilder* graphBuilder;
    IMediaControl* mediaControl;
    IBasicAudio* basicAudio;
    IVideoWindow* videoWindow;
    IMediaSeeking* mediaSeeking;
    IMediaEvent* mediaEvent;
    int64_t duration;
    int32_t screenMode;
    PlayItem playItems[MAX_PLAY_ITEMS];
    int32_t itemCount;
    int32_t currentItem;
    int32_t currentClip;
    int32_t clipPlayCount;
    ThumbnailEntry thumbnailTable[MAX_THUMBNAILS];
    uint8_t unlockFlags[MAX_TABLE_CLIPS];
    int32_t thumbnailPage;
    int32_t isPlaying;
    int32_t volume;
    int32_t dragMode;
    int32_t dragLastX;
    int32_t mouseX;
    int32_t mouseY;
    int32_t leftPressed;
    int32_t leftReleased;
    int32_t keyQueue[MAX_QUEUED_KEYS];  // virtual-key codes, oldest first; KEY_REPEATED on a repeat
    int32_t keyCount;
    int32_t galleryHighlight;  // the slot the arrow keys highlight, or -1
    int32_t displayRequired;   // 1 while the display is asked to stay on
};
