// fwgallery thumbnail CLIP PNG: the 100 x 75 picture of a clip's gallery cell.
// fwgallery preview [--out DIR] [GALLERY]: the screens as the player will show them.
//
// preview starts as the player does, in its order (the save data, the device, the
// four pictures, the play table, the thumbnail table, the first clip), and where the
// player would stop with a message box it stops with that message on one line and
// exit status 1. It then draws with the player's own device description and screens
// code on the cpu renderer's device into memory (no window, no display); the first
// clip's picture is decoded with GStreamer and shown by the renderer's own child
// video, scaled into the video area as the player scales it.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "clip_frame.h"
#include "errors/errors.h"
#include "gallery_check.h"
#include "gfx/device_setup.h"
#include "gfx/gfx.h"
#include "gfx/layout.h"
#include "platform/common/layer.h"
#include "platform/cpu/cpu_renderer.h"
#include "preview.h"

namespace {

enum { DONE = 0, PLAYER_STOPS = 1, CANNOT_RUN = 2, NO_PICTURE = 3 };

int said(const std::string& line, int status) {
    std::fprintf(stderr, "fwgallery: %s\n", line.c_str());
    return status;
}

// What the player would show in its message box before it ends.
int playerStops(const std::string& why, const char* box) {
    return said(why + ": the player stops at start with \"" + shown(box) + "\"", PLAYER_STOPS);
}

// The video area's owner: the device's window, which has no window behind it here.
int gOwnerTag;
HWND owner() { return reinterpret_cast<HWND>(&gOwnerTag); }
fwlayer::ChildVideo* gVideo = nullptr;

void showVideo(bool visible) { fwlayer::childVideoSetVisible(gVideo, visible); }

// The volume as the player reads it from GameData.sys: a short file leaves the rest
// of it as it was.
void readSaveData(int32_t* volume) {
    FILE* file = std::fopen(kSaveDataPath, "rb");
    if (!file) return;
    size_t read = std::fread(volume, 1, sizeof *volume, file);
    (void)read;
    std::fclose(file);
}

// The player's start on the gallery in the current folder, up to its first clip's picture.
int startLikeThePlayer(PreviewGallery* gallery, ClipFrame* frame) {
    IDirect3DTexture9** textures[] = {&gallery->mainAtlas, &gallery->pageBackgrounds[0], &gallery->pageBackgrounds[1],
                                      &gallery->galleryAtlas};
    for (int i = 0; i < 4; ++i)
        if (loadBitmapTexture(gallery->device, textures[i], nullptr, kPicturePaths[i]) != 0)
            return playerStops(std::string(kPicturePaths[i]) + " cannot be read as a picture", kMessageTextureFailed);
    if (!readPlayItems(kPlayTablePath, gallery->items, &gallery->itemCount))
        return playerStops(std::string(kPlayTablePath) + " cannot be read or holds no item", kMessagePlayTableFailed);
    if (!readThumbnailEntries(kThumbnailTablePath, gallery->entries))
        return playerStops(std::string(kThumbnailTablePath) + " cannot be read", kMessageThumbnailTableFailed);
    const PlayClip& first = gallery->items[0].clips[0];
    gallery->firstClipFlags[first.sequenceNumber] = 1;  // the player unlocks it as it loads it
    std::string path = shown(first.path), why = clipPlayFault(path.c_str());
    if (!why.empty()) return playerStops("the first clip \"" + path + "\": " + why, kMessageMovieFailed);
    if (!grabClipFrame(path.c_str(), 0, 0, frame, &why))
        said("\"" + path + "\": no picture (" + why + "); the video area is drawn black", DONE);
    return DONE;
}

// Draws the pictures of the gallery in the current folder into outDir (made once the
// start succeeds) and prints their paths in shownDir, the folder as the user named it.
int drawGallery(const std::string& outDir, const std::string& shownDir) {
    static PreviewGallery gallery;  // large: kept off the stack
    std::memset(&gallery, 0, sizeof gallery);
    readSaveData(&gallery.volume);
    D3DPRESENT_PARAMETERS params;
    describePlayerDevice(owner(), &params);
    std::vector<uint32_t> pixels(static_cast<size_t>(params.BackBufferWidth) * params.BackBufferHeight);
    PreviewScreen screen = {pixels.data(), static_cast<int32_t>(params.BackBufferWidth),
                            static_cast<int32_t>(params.BackBufferHeight)};
    if (fwcpu::createMemoryDevice(owner(), &params, pixels.data(), screen.width, &gallery.device) != D3D_OK ||
        !setPlayerDeviceState(gallery.device))
        return said("preview: the cpu renderer cannot make a device", CANNOT_RUN);
    ClipFrame frame;
    int status = startLikeThePlayer(&gallery, &frame);
    std::vector<std::string> written;
    std::string error;
    if (status == DONE && mkdir(outDir.c_str(), 0777) != 0 && errno != EEXIST)
        status = said(outDir + ": " + std::strerror(errno), CANNOT_RUN);
    if (status == DONE) {
        gVideo = fwlayer::childVideoCreate();
        fwlayer::childVideoSetOwner(gVideo, owner());
        fwlayer::childVideoSetRect(gVideo, kVideoLeft, kVideoTop, kVideoWidth, kVideoHeight);
        if (frame.width > 0)
            fwlayer::childVideoPushFrame(gVideo, frame.bgrx.data(), frame.width, frame.height, frame.width * 4);
        if (!drawPreviews(gallery, screen, showVideo, outDir, &written, &error)) status = said(error, CANNOT_RUN);
        fwlayer::childVideoDestroy(gVideo);
    }
    for (IDirect3DTexture9* texture :
         {gallery.mainAtlas, gallery.pageBackgrounds[0], gallery.pageBackgrounds[1], gallery.galleryAtlas})
        if (texture) texture->Release();
    gallery.device->Release();
    if (status == DONE)
        for (const std::string& name : written) std::printf("%s/%s\n", shownDir.c_str(), name.c_str());
    return status;
}

}  // namespace

int thumbnailCommand(int argc, char** argv) {
    if (argc != 4) return said("usage: fwgallery thumbnail CLIP PNG", CANNOT_RUN);
    std::string clip = argv[2], why = clipPlayFault(argv[2]);
    if (!why.empty()) return said(clip + ": " + why, PLAYER_STOPS);
    ClipFrame frame;
    if (!grabClipFrame(argv[2], kCellWidth, kCellHeight, &frame, &why))
        return said(clip + ": no picture: " + why, NO_PICTURE);
    if (!writePictureAtomically(argv[3], frame.width, frame.height, frame.bgrx.data(), frame.width * 4u, &why))
        return said(why, CANNOT_RUN);
    return DONE;
}

int previewCommand(int argc, char** argv) {
    const char* folder = nullptr;
    std::string outDir;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) outDir = argv[++i];
        else if (argv[i][0] == '-' || folder) return said("usage: fwgallery preview [--out DIR] [GALLERY]", CANNOT_RUN);
        else folder = argv[i];
    }
    if (!folder) folder = ".";
    if (outDir.empty()) outDir = std::string(folder) + "/preview";
    std::string shownDir = outDir;
    char here[4096];
    if (outDir[0] != '/' && getcwd(here, sizeof here)) outDir = std::string(here) + "/" + outDir;
    // The player opens everything relative to its current folder.
    if (chdir(folder) != 0) return said(std::string(folder) + ": " + std::strerror(errno), CANNOT_RUN);
    return drawGallery(outDir, shownDir);
}
