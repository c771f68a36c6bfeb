// Prints the player's layout (gfx/layout.h) as JSON, so the end-to-end tests place
// their clicks and compose their expected screens from the program's own numbers.
#include <cstdio>

#include "gfx/layout.h"

namespace {

bool gFirst = true;

void key(const char* name) {
    std::printf("%s\n  \"%s\": ", gFirst ? "{" : ",", name);
    gFirst = false;
}

void rect(const char* name, const RECT& r) {
    key(name);
    std::printf("[%ld, %ld, %ld, %ld]", static_cast<long>(r.left), static_cast<long>(r.top),
                static_cast<long>(r.right), static_cast<long>(r.bottom));
}

void rects(const char* name, const RECT* r, int count) {
    key(name);
    for (int i = 0; i < count; ++i)
        std::printf("%s[%ld, %ld, %ld, %ld]", i ? ", " : "[", static_cast<long>(r[i].left),
                    static_cast<long>(r[i].top), static_cast<long>(r[i].right), static_cast<long>(r[i].bottom));
    std::printf("]");
}

void number(const char* name, double value) {
    key(name);
    std::printf("%g", value);
}

}  // namespace

int main() {
#define RECT_OF(name) rect(#name, name)
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
#undef RECT_OF
    const struct {
        const char* name;
        double value;
    } kNumbers[] = {{"kSliderOrigin", kSliderOrigin}, {"kSliderSpan", kSliderSpan},
                    {"kQuietestVolume", kQuietestVolume}, {"kKnobLeft", kKnobLeft},
                    {"kSeekKnobY", kSeekKnobY}, {"kVolumeKnobY", kVolumeKnobY},
                    {"kGalleryRows", kGalleryRows}, {"kGalleryColumns", kGalleryColumns},
                    {"kCellWidth", kCellWidth}, {"kCellHeight", kCellHeight}, {"kCellLeft", kCellLeft},
                    {"kCellTop", kCellTop}, {"kCellStepX", kCellStepX}, {"kCellStepY", kCellStepY},
                    {"kAtlasPageHeight", kAtlasPageHeight}};
    for (const auto& n : kNumbers) number(n.name, n.value);
    std::printf("\n}\n");
    return 0;
}
