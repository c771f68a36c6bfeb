// fwgallery's pictures: a clip's gallery cell (`thumbnail`) and the screens as the
// player will show them (`preview`), drawn by the program's own screens code through
// the cpu renderer into memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tables/tables.h"

// The commands, called with fwgallery's whole command line.
int thumbnailCommand(int argc, char** argv);
int previewCommand(int argc, char** argv);

// What the player has once it has started on a gallery, for the pictures.
struct PreviewGallery {
    IDirect3DDevice9* device;
    IDirect3DTexture9* mainAtlas;
    IDirect3DTexture9* pageBackgrounds[2];
    IDirect3DTexture9* galleryAtlas;
    PlayItem items[MAX_PLAY_ITEMS];
    int32_t itemCount;
    ThumbnailEntry entries[MAX_THUMBNAILS];
    int32_t volume;
    uint8_t firstClipFlags[MAX_TABLE_CLIPS];  // a fresh save's, after the start has played the first clip
};

// The back buffer the device draws into: width x height pixels of B, G, R, X.
struct PreviewScreen {
    const uint32_t* pixels;
    int32_t width;
    int32_t height;
};

// Sets the video area shown on the main screen (the child video owned by the device's
// window), or hides it for the gallery.
typedef void (*ShowVideo)(bool visible);

// Draws every picture into outDir as name.png, written under a temporary name and
// renamed; their names, or false with *error.
bool drawPreviews(const PreviewGallery& gallery, const PreviewScreen& screen, ShowVideo showVideo,
                  const std::string& outDir, std::vector<std::string>* written, std::string* error);

// Writes the B, G, R, X pixels as an RGB PNG at path, through a temporary name.
bool writePictureAtomically(const std::string& path, int32_t width, int32_t height, const uint8_t* bgrx, size_t stride,
                            std::string* error);
