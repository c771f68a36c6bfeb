// The gallery's mouse: the page button flips pages, an unlocked cell plays its
// clip on the main screen, the back button resumes the paused clip.
#include "app/messages.h"
#include "app/player_app.h"
#include "gfx/gfx.h"
#include "gfx/layout.h"

namespace {

// Whether the entry names a clip the play table has.
bool entryNamesClip(const ThumbnailEntry& Entry, const PlayItem* Items, int32_t ItemCount) {
    if (Entry.item < 0 || Entry.item >= ItemCount) return false;
    int32_t ClipCount = Items[Entry.item].clipCount;
    if (ClipCount == 0) return Entry.clip == 0;
    return Entry.clip >= 0 && Entry.clip < ClipCount;
}

}  // namespace

int32_t PlayerApp::handleThumbnailScreenInput() {
    if (leftReleased != 1) return 1;
    POINT Mouse = {mouseX, mouseY};

    if (pointInRect(&kPageButtonRect, &Mouse) == 1) thumbnailPage = thumbnailPage == 0 ? 1 : 0;

    int32_t Index = thumbnailPage * kCellsPerPage;
    for (int32_t Row = 0; Row < kGalleryRows; ++Row) {
        for (int32_t Column = 0; Column < kGalleryColumns; ++Column, ++Index) {
            if (Index < 0 || Index >= MAX_TABLE_CLIPS || unlockFlags[Index] != 1) continue;
            RECT Cell = cellRect(Row, Column);
            if (pointInRect(&Cell, &Mouse) != 1) continue;
            // An entry naming no clip of the table leaves the cell without an action.
            const ThumbnailEntry& Entry = thumbnailTable[Index];
            if (!entryNamesClip(Entry, playItems, itemCount)) return 1;
            screenMode = SCREEN_MAIN;
            currentItem = Entry.item;
            currentClip = Entry.clip;
            if (!loadMovie(currentItem, currentClip)) {
                showError(hwnd, kMessageMovieFailed);
                return 0;
            }
            videoWindow->put_Visible(OATRUE);
            mediaControl->Run();
            return 1;
        }
    }

    if (pointInRect(&kBackButtonRect, &Mouse) == 1) {
        screenMode = SCREEN_MAIN;
        videoWindow->put_Visible(OATRUE);
        mediaControl->Run();
    }
    return 1;
}
