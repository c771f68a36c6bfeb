// The gallery: two pages of 4 x 7 cells, locked cells under a translucent lock,
// unlocked cells highlighted under the mouse or the arrow keys; the page button flips
// pages, an unlocked cell plays its clip, the back button returns to the main screen.
#include "gfx/gfx.h"
#include "gfx/layout.h"
#include "screens/screens.h"

namespace {

const D3DCOLOR kOpaque = 0xFFFFFFFF;
const D3DCOLOR kLockTint = 0xC0FFFFFF;  // the lock at 192/255

struct Cell {
    int32_t row;
    int32_t column;
    RECT rect;      // hit rectangle
    bool unlocked;  // the flag of the cell's slot on the page shown
    bool hovered;
};

// Visits the page's cells row by row, each with its slot's flag, until visit returns
// false. The drawing and the clicks both walk the cells here.
template <typename Visit>
void walkCells(const GalleryView& View, Visit visit) {
    POINT Mouse = {View.mouseX, View.mouseY};
    int32_t Index = View.page * kCellsPerPage;
    for (int32_t Row = 0; Row < kGalleryRows; ++Row) {
        for (int32_t Column = 0; Column < kGalleryColumns; ++Column, ++Index) {
            Cell C = {Row, Column, cellRect(Row, Column), false, false};
            C.unlocked = Index >= 0 && Index < MAX_TABLE_CLIPS && View.unlockFlags[Index] == 1;
            C.hovered = pointInRect(&C.rect, &Mouse) == 1;
            if (!visit(C, Index)) return;
        }
    }
}

// Whether the entry names a clip the play table has.
bool entryNamesClip(const ThumbnailEntry& Entry, const PlayItem* Items, int32_t ItemCount) {
    if (Entry.item < 0 || Entry.item >= ItemCount) return false;
    int32_t ClipCount = Items[Entry.item].clipCount;
    if (ClipCount == 0) return Entry.clip == 0;
    return Entry.clip >= 0 && Entry.clip < ClipCount;
}

bool hovered(const GalleryView& View, const RECT& Rect) {
    POINT Mouse = {View.mouseX, View.mouseY};
    return pointInRect(&Rect, &Mouse) == 1;
}

}  // namespace

void drawGalleryView(IDirect3DDevice9* device, const GalleryTextures& textures, const GalleryView& view) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00000000, 1.0f, 0);
    device->BeginScene();

    IDirect3DTexture9* Atlas = textures.atlas;
    int32_t Page = view.page == 0 ? 0 : 1;
    drawQuad(device, textures.background[Page], 1, 0.0f, 0.0f, &kMainBackground, kOpaque);

    device->SetTexture(0, Atlas);
    auto button = [&](const RECT& Area, const RECT& Image) {
        drawQuad(device, Atlas, 0, static_cast<float>(Area.left), static_cast<float>(Area.top), &Image, kOpaque);
    };
    button(kPageButtonRect, hovered(view, kPageButtonRect) ? kPageButtonHighlighted[Page] : kPageButtonNormal[Page]);

    // An unlocked cell that is not hovered shows the background's own picture.
    walkCells(view, [&](const Cell& C, int32_t Index) {
        float x = static_cast<float>(C.rect.left);
        float y = static_cast<float>(C.rect.top);
        if (!C.unlocked) {
            drawQuad(device, Atlas, 0, x, y, &kLockImage, kLockTint);
        } else if (C.hovered || Index == view.highlight) {
            LONG Left = kCellWidth * C.column;
            LONG Top = kCellHeight * C.row + kAtlasPageHeight * view.page;
            RECT Image = {Left, Top, Left + kCellWidth, Top + kCellHeight};
            drawQuad(device, Atlas, 0, x, y, &Image, kOpaque);
        }
        return true;
    });

    button(kBackButtonRect, hovered(view, kBackButtonRect) ? kBackButtonHighlighted : kBackButtonNormal);

    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
}

GalleryClick galleryClick(const GalleryView& view) {
    GalleryClick Click = {GALLERY_CLICK_NOTHING, {0, 0}, 0};
    if (hovered(view, kPageButtonRect)) {
        Click.action = GALLERY_CLICK_PAGE;
        return Click;
    }
    bool bOnCell = false;
    walkCells(view, [&](const Cell& C, int32_t Index) {
        if (!C.unlocked || !C.hovered) return true;
        bOnCell = true;
        const ThumbnailEntry& Entry = view.entries[Index];
        if (entryNamesClip(Entry, view.playItems, view.itemCount)) {
            Click.action = GALLERY_CLICK_PLAY;
            Click.entry = Entry;
        }
        return false;
    });
    if (!bOnCell && hovered(view, kBackButtonRect)) Click.action = GALLERY_CLICK_BACK;
    return Click;
}

GalleryClick galleryKey(GalleryView view, int32_t key) {
    GalleryClick Click = {GALLERY_CLICK_NOTHING, {0, 0}, view.highlight};
    int32_t Code = key & ~KEY_REPEATED;
    int32_t First = view.page * kCellsPerPage;
    bool bOnPage = view.highlight >= First && view.highlight < First + kCellsPerPage;
    int32_t Step = Code == VK_LEFT    ? -1
                   : Code == VK_RIGHT ? 1
                   : Code == VK_UP    ? -kGalleryColumns
                   : Code == VK_DOWN  ? kGalleryColumns
                                      : 0;
    if (Step != 0) {
        // From no highlight on this page, the first unlocked cell.
        int32_t From = bOnPage ? view.highlight : First - 1;
        if (!bOnPage) Step = 1;
        for (int32_t Index = From + Step; Index >= First && Index < First + kCellsPerPage; Index += Step) {
            if (view.unlockFlags[Index] != 1) continue;
            Click.action = GALLERY_CLICK_HIGHLIGHT;
            Click.highlight = Index;
            break;
        }
        return Click;
    }
    RECT Target = {-1, -1, -1, -1};
    if (Code == VK_ESCAPE || Code == VK_BACK || Code == 'G') Target = kBackButtonRect;
    else if ((Code == VK_NEXT && view.page == 0) || (Code == VK_PRIOR && view.page == 1)) Target = kPageButtonRect;
    else if (Code == VK_RETURN && bOnPage)
        Target = cellRect((view.highlight - First) / kGalleryColumns, (view.highlight - First) % kGalleryColumns);
    if (key != Code || Target.left < 0) return Click;
    // A release on the control's corner: the same rules as the mouse's.
    view.mouseX = Target.left;
    view.mouseY = Target.top;
    return galleryClick(view);
}
