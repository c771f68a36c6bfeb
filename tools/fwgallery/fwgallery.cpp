// fwgallery: the gallery maker's tool.
//
//   fwgallery check [--json] [DIR]     every problem the player would meet in the gallery DIR
//   fwgallery new [options] DIR CLIP...  a new gallery from clips (tools/fwgallery/new_gallery.py)
//   fwgallery limits                   the tables' room in the player, one name and number a line
//   fwgallery preview [--out DIR] [GALLERY]   pictures of the screens as the player will show them
//   fwgallery thumbnail CLIP PNG       the clip's 100 x 75 gallery cell, as new takes it
//
// check exits with 0 when it finds no error, 1 when it does, 2 when it cannot run.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "gallery_check.h"
#include "gfx/layout.h"
#include "preview.h"
#include "tables/tables.h"

namespace {

const char kPython[] = "/usr/bin/python3";  // the system's, with its numpy and PIL

int usage() {
    std::fputs(
        "usage: fwgallery check [--json] [DIR]\n"
        "       fwgallery new [--group N] [--link] [--name NAME] [--force] [--skip-bad] [--quiet] DIR CLIP...\n"
        "       fwgallery preview [--out DIR] [GALLERY]\n"
        "       fwgallery thumbnail CLIP PNG\n"
        "       fwgallery limits\n",
        stderr);
    return 2;
}

int check(int argc, char** argv) {
    bool json = false;
    const char* folder = ".";
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) json = true;
        else if (argv[i][0] == '-' || folder[0] != '.' || folder[1] != '\0') return usage();
        else folder = argv[i];
    }
    // The player opens everything relative to its current folder.
    if (chdir(folder) != 0) {
        std::fprintf(stderr, "fwgallery: %s: %s\n", folder, std::strerror(errno));
        return 2;
    }
    static Gallery gallery;  // large: kept off the stack
    Findings findings;
    checkPlayTable(gallery, findings);
    if (!checkClips(gallery, findings)) {
        std::fputs("fwgallery: GStreamer cannot start\n", stderr);
        return 2;
    }
    checkThumbnailTable(gallery, findings);
    checkPictures(findings);
    checkSaveData(gallery, findings);
    findings.finish();
    findings.print(stdout, json);
    return findings.hasErrors() ? 1 : 0;
}

// What the player's tables and gallery hold (tables.h, layout.h), for new_gallery.py.
int limits() {
    std::printf(
        "play-items %d\nitem-clips %d\ntable-clips %d\nthumbnails %d\npath-bytes %d\nline-bytes %d\n"
        "gallery-slots %d\n",
        MAX_PLAY_ITEMS, MAX_ITEM_CLIPS, MAX_TABLE_CLIPS, MAX_THUMBNAILS, PLAY_PATH_SIZE - 1, TABLE_LINE_SIZE - 1,
        kGallerySlots);
    return 0;
}

// `new` is written in Python (the atlas art is the demo's); it calls this program back for `check`.
int makeNew(int argc, char** argv) {
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return 2;
    self[length] = '\0';
    std::string script = FWGALLERY_NEW_SCRIPT;
    std::string selfArgument = std::string("--fwgallery=") + self;
    char** arguments = new char*[argc + 3];
    arguments[0] = const_cast<char*>(kPython);
    arguments[1] = const_cast<char*>(script.c_str());
    arguments[2] = const_cast<char*>(selfArgument.c_str());
    for (int i = 2; i < argc; ++i) arguments[i + 1] = argv[i];
    arguments[argc + 1] = nullptr;
    // The pictures are drawn by the player's layout (tools/layout); a setting of the user's stays.
    setenv("FW_LAYOUT_JSON", FWGALLERY_LAYOUT_PROGRAM, 0);
    execv(kPython, arguments);
    std::fprintf(stderr, "fwgallery: cannot run %s: %s\n", kPython, std::strerror(errno));
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "check") == 0) return check(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "new") == 0) return makeNew(argc, argv);
    if (argc == 2 && std::strcmp(argv[1], "limits") == 0) return limits();
    if (argc >= 2 && std::strcmp(argv[1], "preview") == 0) return previewCommand(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "thumbnail") == 0) return thumbnailCommand(argc, argv);
    return usage();
}
