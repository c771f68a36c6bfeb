// The two screens, each with its drawing and the meaning of its clicks. They read
// plain views of the player's state and decide; the application applies.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "tables/tables.h"

// A key as the window procedure records it: its virtual-key code, with this bit when
// it is a held key's repeat.
const int32_t KEY_REPEATED = 0x10000;

enum {
    DRAG_NONE = 0,
    DRAG_SEEK = 1,
    DRAG_VOLUME = 2,
};

// --- Main screen ----------------------------------------------------------------------

// What the main screen shows and reacts to.
struct MainScreenView {
    int32_t mouseX;
    int32_t mouseY;
    int32_t currentItem;
    int32_t itemCount;
    int32_t currentClip;
    int32_t clipCount;  // clips of the current item; 0 for a SingleItem
    int32_t isPlaying;
    int32_t volume;
    int32_t dragMode;
    double playedFraction;  // 0 to 1
};

enum {
    MAIN_CLICK_NOTHING = 0,
    MAIN_CLICK_PREVIOUS,
    MAIN_CLICK_STOP,
    MAIN_CLICK_PLAY,
    MAIN_CLICK_NEXT,
    MAIN_CLICK_GALLERY,
    MAIN_CLICK_CLIP,    // clip button MainScreenClick::clip
    MAIN_CLICK_VOLUME,  // a volume key: the volume becomes MainScreenClick::volume
};

struct MainScreenClick {
    int32_t action;
    int32_t clip;
    int32_t volume;
};

void drawMainScreenView(IDirect3DDevice9* device, IDirect3DTexture9* atlas, const MainScreenView& view);

// What a release with no drag under way means: a transport or clip button that is shown
// and live, or nothing.
MainScreenClick mainScreenClick(const MainScreenView& view);

// What a key means: the release the button it stands for would get (Space: Stop or
// Play, Left and Right: Previous and Next, 1 to 4: the clip buttons, G: the
// thumbnail-screen button), or a volume step (Up, Down). Only the volume keys repeat.
MainScreenClick mainScreenKey(MainScreenView view, int32_t key);

// The bar a press at the mouse starts dragging: DRAG_SEEK, DRAG_VOLUME or DRAG_NONE.
int32_t mainScreenPress(const MainScreenView& view);

// Where column x lies along a bar, 0 to 1.
double sliderFraction(int32_t x);

// The volume for column x of the volume bar: quietest on the left, full on the right.
int32_t volumeForX(int32_t x);

// --- Gallery --------------------------------------------------------------------------

// What the gallery shows and reacts to.
struct GalleryView {
    int32_t mouseX;
    int32_t mouseY;
    int32_t page;                   // 0 or 1
    const uint8_t* unlockFlags;     // MAX_TABLE_CLIPS flags
    const ThumbnailEntry* entries;  // MAX_THUMBNAILS entries
    const PlayItem* playItems;
    int32_t itemCount;
    int32_t highlight;  // the slot the arrow keys highlight, or -1
};

struct GalleryTextures {
    IDirect3DTexture9* background[2];  // one per page
    IDirect3DTexture9* atlas;
};

enum {
    GALLERY_CLICK_NOTHING = 0,
    GALLERY_CLICK_PAGE,       // flip the page
    GALLERY_CLICK_PLAY,       // play GalleryClick::entry on the main screen
    GALLERY_CLICK_BACK,       // back to the main screen and the paused clip
    GALLERY_CLICK_HIGHLIGHT,  // an arrow key: the highlight moves to GalleryClick::highlight
};

struct GalleryClick {
    int32_t action;
    ThumbnailEntry entry;
    int32_t highlight;
};

void drawGalleryView(IDirect3DDevice9* device, const GalleryTextures& textures, const GalleryView& view);

// What a release means. An unlocked cell whose entry names no clip of the table means
// nothing.
GalleryClick galleryClick(const GalleryView& view);

// What a key means: the arrows move the highlight to the next unlocked cell of the page
// that way (and repeat), Return is a release on the highlighted cell, Page Down on page
// 0 and Page Up on page 1 on the page button, Escape, Backspace and G on the back button.
GalleryClick galleryKey(GalleryView view, int32_t key);
