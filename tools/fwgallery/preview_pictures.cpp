// The pictures of `preview` (preview.h). Every pixel is one the program's own
// drawMainScreenView or drawGalleryView drew: a picture of a state is one drawing;
// a "hover" picture puts together one drawing per control with the mouse on it (or
// the knob dragged), each cut out at the control's own rectangle from gfx/layout.h.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "gfx/layout.h"
#include "png_file.h"
#include "preview.h"
#include "screens/screens.h"

namespace {

const int32_t kMouseAway = -1;  // on no control
const double kMiddle = 0.5;     // the seek knob halfway, where its look is seen on the bar
typedef std::vector<uint32_t> Picture;

struct Drawing {
    const PreviewGallery& gallery;
    const PreviewScreen& screen;

    Picture shot() const { return Picture(screen.pixels, screen.pixels + screen.width * screen.height); }
    Picture main(const MainScreenView& view) const {
        drawMainScreenView(gallery.device, gallery.mainAtlas, view);
        return shot();
    }
    Picture page(const GalleryView& view) const {
        GalleryTextures textures = {{gallery.pageBackgrounds[0], gallery.pageBackgrounds[1]}, gallery.galleryAtlas};
        drawGalleryView(gallery.device, textures, view);
        return shot();
    }
    // Copies a hit rectangle (right and bottom inside) of from into to.
    void cut(const Picture& from, Picture* to, const RECT& area) const {
        for (LONG y = area.top; y <= area.bottom; ++y)
            for (LONG x = area.left; x <= area.right; ++x) (*to)[y * screen.width + x] = from[y * screen.width + x];
    }
};

template <typename View>
View pointedAt(View view, const RECT& area) {
    view.mouseX = (area.left + area.right) / 2;
    view.mouseY = (area.top + area.bottom) / 2;
    return view;
}

// The item whose controls show the most: the most clips, then items on both sides.
int32_t showcaseItem(const PreviewGallery& gallery) {
    auto shown = [&](int32_t item) {
        return gallery.items[item].clipCount * 4 + (item > 0) + (item < gallery.itemCount - 1);
    };
    int32_t best = 0;
    for (int32_t item = 1; item < gallery.itemCount; ++item)
        if (shown(item) > shown(best)) best = item;
    return best;
}

MainScreenView mainView(const PreviewGallery& gallery, int32_t item, int32_t clip, int32_t playing, double played) {
    return {kMouseAway,     kMouseAway, item,  gallery.itemCount, clip, gallery.items[item].clipCount, playing,
            gallery.volume, DRAG_NONE,  played};
}

// Every button as under the mouse (Stop while playing, Play while stopped, the clip
// buttons but the current one) and both knobs dragged.
Picture mainHover(const Drawing& drawing, const MainScreenView& playing) {
    Picture composite = drawing.main(playing);
    MainScreenView stopped = playing;
    stopped.isPlaying = 0;
    const RECT* buttons[] = {&kPreviousRect,       &kStopRect,           &kNextRect,           &kThumbnailButtonRect,
                             &kClipButtonRects[0], &kClipButtonRects[1], &kClipButtonRects[2], &kClipButtonRects[3]};
    for (const RECT* area : buttons) drawing.cut(drawing.main(pointedAt(playing, *area)), &composite, *area);
    drawing.cut(drawing.main(pointedAt(stopped, kPlayRect)), &composite, kPlayRect);
    LONG knobWidth = kKnobNormal.right - kKnobNormal.left, knobHeight = kKnobNormal.bottom - kKnobNormal.top;
    for (int32_t drag : {DRAG_SEEK, DRAG_VOLUME}) {
        MainScreenView dragged = playing;
        dragged.dragMode = drag;
        LONG top = static_cast<LONG>(drag == DRAG_SEEK ? kSeekKnobY : kVolumeKnobY);
        RECT bar = {kKnobLeft, top, kKnobLeft + kSliderSpan + knobWidth - 1, top + knobHeight - 1};
        drawing.cut(drawing.main(dragged), &composite, bar);
    }
    return composite;
}

// Every cell and both buttons as under the mouse.
Picture pageHover(const Drawing& drawing, const GalleryView& view) {
    Picture composite = drawing.page(view);
    for (const RECT* button : {&kPageButtonRect, &kBackButtonRect})
        drawing.cut(drawing.page(pointedAt(view, *button)), &composite, *button);
    for (int32_t row = 0; row < kGalleryRows; ++row)
        for (int32_t column = 0; column < kGalleryColumns; ++column) {
            RECT cell = cellRect(row, column);
            drawing.cut(drawing.page(pointedAt(view, cell)), &composite, cell);
        }
    return composite;
}

}  // namespace

bool writePictureAtomically(const std::string& path, int32_t width, int32_t height, const uint8_t* bgrx, size_t stride,
                            std::string* error) {
    std::string partial = path + ".partial";
    if (!writePngPicture(partial.c_str(), width, height, bgrx, stride, false, error)) {
        unlink(partial.c_str());
        return false;
    }
    if (rename(partial.c_str(), path.c_str()) == 0) return true;
    *error = path + ": cannot write: " + std::strerror(errno);
    unlink(partial.c_str());
    return false;
}

bool drawPreviews(const PreviewGallery& gallery, const PreviewScreen& screen, ShowVideo showVideo,
                  const std::string& outDir, std::vector<std::string>* written, std::string* error) {
    Drawing drawing = {gallery, screen};
    auto save = [&](const char* name, const Picture& picture) {
        written->push_back(name);
        return writePictureAtomically(outDir + "/" + name, screen.width, screen.height,
                                      reinterpret_cast<const uint8_t*>(picture.data()), screen.width * 4u, error);
    };
    // The main screen as the player starts, then on the item that shows the most.
    int32_t item = showcaseItem(gallery);
    int32_t clip = gallery.items[item].clipCount >= 2 ? 1 : 0;
    showVideo(true);
    bool ok = save("main.png", drawing.main(mainView(gallery, 0, 0, 1, 0.0))) &&
              save("main-stopped.png", drawing.main(mainView(gallery, item, clip, 0, kMiddle))) &&
              save("main-hover.png", mainHover(drawing, mainView(gallery, item, clip, 1, kMiddle)));
    showVideo(false);
    uint8_t unlocked[MAX_TABLE_CLIPS];
    std::memset(unlocked, 1, sizeof unlocked);
    for (int32_t page = 0; ok && page < kGalleryPages; ++page) {
        std::string name = "page" + std::to_string(page + 1);
        GalleryView fresh = {kMouseAway,    kMouseAway,        page, gallery.firstClipFlags, gallery.entries,
                             gallery.items, gallery.itemCount, -1};
        GalleryView open = fresh;
        open.unlockFlags = unlocked;
        ok = save((name + "-locked.png").c_str(), drawing.page(fresh)) &&
             save((name + "-unlocked.png").c_str(), drawing.page(open)) &&
             save((name + "-hover.png").c_str(), pageHover(drawing, open));
    }
    return ok;
}
