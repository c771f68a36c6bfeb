// The gallery: two pages of 4 x 7 cells, locked cells under a translucent lock,
// unlocked cells highlighted under the mouse.
#include "app/player_app.h"
#include "gfx/gfx.h"
#include "gfx/layout.h"

namespace {

const D3DCOLOR kOpaque = 0xFFFFFFFF;
const D3DCOLOR kLockTint = 0xC0FFFFFF;  // the lock at 192/255

}  // namespace

int32_t PlayerApp::drawThumbnailScreen() {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00000000, 1.0f, 0);
    device->BeginScene();

    POINT Mouse = {mouseX, mouseY};
    RECT Rect = kMainBackground;
    drawQuad(device, thumbnailPage == 0 ? texThumbnailBG1 : texThumbnailBG2, 1, 0.0f, 0.0f, &Rect, kOpaque);

    device->SetTexture(0, texThumbnail);
    int32_t Page = thumbnailPage == 0 ? 0 : 1;
    bool bHovered = pointInRect(&kPageButtonRect, &Mouse) == 1;
    Rect = bHovered ? kPageButtonHighlighted[Page] : kPageButtonNormal[Page];
    drawQuad(device, texThumbnail, 0, static_cast<float>(kPageButtonRect.left),
             static_cast<float>(kPageButtonRect.top), &Rect, kOpaque);

    // The flags are read for the page shown; an unlocked cell that is not hovered
    // shows the background's own picture.
    int32_t Index = thumbnailPage * kCellsPerPage;
    for (int32_t Row = 0; Row < kGalleryRows; ++Row) {
        for (int32_t Column = 0; Column < kGalleryColumns; ++Column, ++Index) {
            RECT Cell = cellRect(Row, Column);
            float x = static_cast<float>(Cell.left);
            float y = static_cast<float>(Cell.top);
            bool bUnlocked = Index >= 0 && Index < MAX_TABLE_CLIPS && unlockFlags[Index] == 1;
            if (bUnlocked) {
                if (pointInRect(&Cell, &Mouse) != 1) continue;
                LONG Left = kCellWidth * Column;
                LONG Top = kCellHeight * Row + kAtlasPageHeight * thumbnailPage;
                Rect = {Left, Top, Left + kCellWidth, Top + kCellHeight};
                drawQuad(device, texThumbnail, 0, x, y, &Rect, kOpaque);
            } else {
                Rect = kLockImage;
                drawQuad(device, texThumbnail, 0, x, y, &Rect, kLockTint);
            }
        }
    }

    Rect = pointInRect(&kBackButtonRect, &Mouse) == 1 ? kBackButtonHighlighted : kBackButtonNormal;
    drawQuad(device, texThumbnail, 0, static_cast<float>(kBackButtonRect.left),
             static_cast<float>(kBackButtonRect.top), &Rect, kOpaque);

    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
    return 1;
}
