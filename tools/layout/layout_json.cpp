// fw_layout_json: prints the player's layout (gfx/layout.h) as JSON, so that the
// end-to-end tests, the benchmark and the demo pictures take their places from the
// program's own numbers (tools/layout/layout.py reads it).
#include <cstdio>

#include "gfx/layout.h"

namespace {

const char* gSeparator = "{";

void key(const char* name) {
    std::printf("%s\n  \"%s\": ", gSeparator, name);
    gSeparator = ",";
}

// [left, top, right, bottom]; a list of them unless one stands alone.
void rects(const char* name, const RECT* r, int count, bool alone = false) {
    key(name);
    for (int i = 0; i < count; ++i)
        std::printf("%s[%ld, %ld, %ld, %ld]",
                    alone ? ""
                    : i   ? ", "
                          : "[",
                    static_cast<long>(r[i].left), static_cast<long>(r[i].top), static_cast<long>(r[i].right),
                    static_cast<long>(r[i].bottom));
    std::printf("%s", alone ? "" : "]");
}

}  // namespace

int main() {
#define RECT_OF(name) rects(#name, &name, 1, true)
#define NUMBER_OF(name) key(#name), std::printf("%g", static_cast<double>(name))
    RECT_OF(kSeekBarRect), RECT_OF(kVolumeBarRect), RECT_OF(kPreviousRect), RECT_OF(kStopRect);
    RECT_OF(kPlayRect), RECT_OF(kNextRect), RECT_OF(kThumbnailButtonRect);
    rects("kClipButtonRects", kClipButtonRects, kClipButtonCount);
    RECT_OF(kMainBackground), RECT_OF(kPreviousNormal), RECT_OF(kStopNormal), RECT_OF(kPlayNormal);
    RECT_OF(kNextNormal), RECT_OF(kThumbnailButtonNormal), RECT_OF(kPreviousHighlighted);
    RECT_OF(kStopHighlighted), RECT_OF(kPlayHighlighted), RECT_OF(kNextHighlighted);
    RECT_OF(kThumbnailButtonHighlighted), RECT_OF(kStopInactive), RECT_OF(kPlayInactive);
    RECT_OF(kClipButtonNormal), RECT_OF(kClipButtonHighlighted), RECT_OF(kClipButtonCurrent);
    RECT_OF(kKnobNormal), RECT_OF(kKnobDragged), RECT_OF(kPageButtonRect), RECT_OF(kBackButtonRect);
    RECT_OF(kLockImage), RECT_OF(kBackButtonNormal), RECT_OF(kBackButtonHighlighted);
    rects("kPageButtonNormal", kPageButtonNormal, 2);
    rects("kPageButtonHighlighted", kPageButtonHighlighted, 2);
    NUMBER_OF(kSliderOrigin), NUMBER_OF(kSliderSpan), NUMBER_OF(kQuietestVolume), NUMBER_OF(kKnobLeft);
    NUMBER_OF(kSeekKnobY), NUMBER_OF(kVolumeKnobY), NUMBER_OF(kGalleryRows), NUMBER_OF(kGalleryColumns);
    NUMBER_OF(kCellWidth), NUMBER_OF(kCellHeight), NUMBER_OF(kCellLeft), NUMBER_OF(kCellTop);
    NUMBER_OF(kCellStepX), NUMBER_OF(kCellStepY), NUMBER_OF(kAtlasPageHeight), NUMBER_OF(kGalleryPages);
    NUMBER_OF(kVideoLeft), NUMBER_OF(kVideoTop), NUMBER_OF(kVideoWidth), NUMBER_OF(kVideoHeight);
#undef RECT_OF
#undef NUMBER_OF
    std::printf("\n}\n");
    return 0;
}
