// The cpu backend's child videos and the composition of a picture on the window.
//
// Implemented: Present and the window's repaint handler draw the visible child video
//   areas (common/child_video.cpp) over the picture straight from the frame the
//   decoder lent: black before the first frame, then the latest frame, copied into
//   the window's image when it has the area's size and scaled with linear
//   filtering otherwise (cpu_scale.cpp). Where the client area is placed larger on
//   the window (a whole scale, fullscreen), the picture is enlarged onto the
//   window's image and each video is scaled from its frame straight to its area
//   there; bars around the picture are black. A frame in shared memory with the area's size is not
//   copied at all: the X server reads it in place (cpu_xshm.cpp), and the window's
//   image is sent around it. A new frame between the program's frames arrives as a
//   repaint: only the video areas are drawn and sent to the window. A frame changed
//   in part is drawn only where it can differ from the last one shown
//   (frameDamage), since the window's image keeps the last picture.
// Does not: keep a copy of a video frame (a picture redrawn under a video draws the
//   video again from the frame still lent); blend a video with what lies under it.
#include <SDL.h>

#include <algorithm>
#include <cstring>

#include "cpu_device.h"

namespace fwcpu {

namespace {

PixelRect areaOf(const fwlayer::ChildVideoView& view) {
    return {view.left, view.top, view.left + view.width, view.top + view.height};
}

PixelRect unite(const PixelRect& a, const PixelRect& b) {
    if (b.empty()) return a;
    if (a.empty()) return b;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

void collectArea(const fwlayer::ChildVideoView& view, void* user) {
    static_cast<std::vector<PixelRect>*>(user)->push_back(areaOf(view));
}

// Part of the frame's area (window pixels) from the frame: black before the first
// frame, copied at the area's size, scaled with linear filtering otherwise.
void drawVideo(const fwlayer::ChildVideoView& view, const PixelRect& area, const PixelRect& part, CpuDevice& device) {
    if (part.empty()) return;
    bool hasFrame = view.frameWidth > 0 && view.frameHeight > 0 && view.frameBgra;
    if (hasFrame && (view.frameWidth != area.right - area.left || view.frameHeight != area.bottom - area.top)) {
        device.scaler.draw(view, area, part, device.windowPixels, device.windowPitch);
        return;
    }
    size_t rowBytes = static_cast<size_t>(part.right - part.left) * 4;
    for (int y = part.top; y < part.bottom; ++y) {
        uint32_t* row = device.windowPixels + static_cast<size_t>(y) * device.windowPitch + part.left;
        if (!hasFrame) {
            std::fill(row, row + (part.right - part.left), 0xFF000000u);
            continue;
        }
        const uint8_t* frameRow = view.frameBgra + static_cast<size_t>(y - area.top) * view.frameStride;
        std::memcpy(row, frameRow + (part.left - area.left) * 4, rowBytes);
    }
}

// The window's pixels in from but not in hole, as up to four bands.
void subtract(const PixelRect& from, const PixelRect& hole, std::vector<PixelRect>* out) {
    PixelRect cut = intersection(from, hole);
    if (cut.empty()) {
        out->push_back(from);
        return;
    }
    const PixelRect bands[] = {{from.left, from.top, from.right, cut.top},
                               {from.left, cut.bottom, from.right, from.bottom},
                               {from.left, cut.top, cut.left, cut.bottom},
                               {cut.right, cut.top, from.right, cut.bottom}};
    for (const PixelRect& band : bands)
        if (!band.empty()) out->push_back(band);
}

}  // namespace

// One pass over the visible videos, under their lock: each is put on the window
// from shared memory where it can be (its area is then left out of the window's
// image), or else drawn into the image within the clip. Window pixels throughout.
struct VideoPass {
    CpuDevice* device;
    PixelRect shown;
    PixelRect clip;
    std::vector<PixelRect> putAreas;

    static void visit(const fwlayer::ChildVideoView& view, void* user) {
        VideoPass& pass = *static_cast<VideoPass*>(user);
        CpuDevice& device = *pass.device;
        PixelRect area = device.placed(areaOf(view));
        PixelRect within = intersection(area, device.placed(device.drawable));
        if (sharedVideoCanPut(device.sharedVideo, view, area)) {
            PixelRect part = intersection(within, pass.shown);
            if (part.empty() || sharedVideoPut(device.sharedVideo, view, area, part)) {
                if (!part.empty()) ++device.stats.videoPuts;
                pass.putAreas.push_back(within);
                return;
            }
        }
        drawVideo(view, area, intersection(within, pass.clip), device);
    }
};

// The window's surface for this picture (a memory device's memory) and where the
// back buffer lies on it; false when there is none fit to draw in. A surface made
// anew (the window was resized) or placed anew holds nothing of the last picture.
bool CpuDevice::takeSurface(SDL_Window* window, bool* kept) {
    if (memoryPixels) {
        *kept = pixels == memoryPixels;
        pixels = windowPixels = memoryPixels;
        pitch = windowPitch = memoryPitch;
        drawable = {0, 0, width, height};
        return true;
    }
    SDL_Surface* now = window ? SDL_GetWindowSurface(window) : nullptr;
    if (!now || now->format->BytesPerPixel != 4) {
        surface = nullptr;
        return false;
    }
    *kept = !takePlacement() && now == surface;
    surface = now;
    windowPixels = static_cast<uint32_t*>(now->pixels);
    windowPitch = now->pitch / 4;
    PixelRect area =
        enlarged ? PixelRect{0, 0, width, height} : intersection({0, 0, width, height}, {0, 0, now->w, now->h});
    *kept = *kept && area == drawable;
    drawable = area;
    pixels = windowPixels;
    pitch = windowPitch;
    if (enlarged) {
        if (picture.size() != static_cast<size_t>(width) * height)
            picture.assign(static_cast<size_t>(width) * height, 0);
        pixels = picture.data();
        pitch = width;
    }
    return true;
}

void CpuDevice::collectVideoAreas() {
    std::vector<PixelRect> areas;
    fwlayer::childVideoForEachVisible(hwnd, &collectArea, &areas);
    videoAreasChanged =
        areas.size() != videoAreas.size() || !std::equal(areas.begin(), areas.end(), videoAreas.begin());
    videoAreas.swap(areas);
}

// Puts the videos and then the rest of rect (window pixels) on the window.
void CpuDevice::putOnWindow(SDL_Window* window, const PixelRect& rect) {
    sharedVideoTidy(sharedVideo);
    VideoPass pass = {this, rect, placed(clip), {}};
    if (!videoAreas.empty()) fwlayer::childVideoForEachVisible(hwnd, &VideoPass::visit, &pass);
    std::vector<PixelRect> parts = {rect};
    for (const PixelRect& hole : pass.putAreas) {
        std::vector<PixelRect> left;
        for (const PixelRect& part : parts) subtract(part, hole, &left);
        parts.swap(left);
    }
    updateWindow(window, parts);
}

// Puts frame and the child videos on the window, redrawing as little as the kept
// image allows: the part of the picture that differs from the last frame (all of it
// when the video areas moved, the surface is new or the difference cannot be
// bounded), and the videos where they changed or where the picture under them was
// redrawn. Only that rectangle is sent to the window.
void CpuDevice::compose(SDL_Window* window, const FrameRecord& frame, bool frameChanged, bool videoChanged) {
    bool surfaceKept = false;
    if (!takeSurface(window, &surfaceKept)) return;
    collectVideoAreas();
    PixelRect redraw = redrawArea(frame, frameChanged, surfaceKept && !videoAreasChanged, drawable);
    PixelRect shown = redraw;
    if (!redraw.empty()) {
        clip = redraw;
        replay(frame);
    }
    countRedraw(redraw, drawable);
    clip = videoChanged ? drawable : redraw;
    if (videoChanged)
        for (const PixelRect& area : videoAreas) shown = unite(shown, intersection(area, drawable));
    if (enlarged) {
        // The picture's new part enlarged; on a new surface the bars around it too.
        if (!surfaceKept) paintBars();
        if (!redraw.empty()) enlarge(redraw);
        shown = surfaceKept ? placed(shown) : PixelRect{0, 0, surface->w, surface->h};
    }
    if (!shown.empty()) putOnWindow(window, shown);
}

// Black around the enlarged picture.
void CpuDevice::paintBars() {
    std::vector<PixelRect> bars;
    subtract({0, 0, surface->w, surface->h}, placed(drawable), &bars);
    for (const PixelRect& bar : bars)
        for (int y = bar.top; y < bar.bottom; ++y) {
            uint32_t* row = windowPixels + static_cast<size_t>(y) * windowPitch;
            std::fill(row + bar.left, row + bar.right, 0xFF000000u);
        }
}

void CpuDevice::updateWindow(SDL_Window* window, const std::vector<PixelRect>& rects) {
    std::vector<SDL_Rect> sdlRects;
    for (const PixelRect& rect : rects)
        if (!rect.empty()) sdlRects.push_back({rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top});
    ++stats.presents;
    if (!sdlRects.empty() && window)
        SDL_UpdateWindowSurfaceRects(window, sdlRects.data(), static_cast<int>(sdlRects.size()));
}

// A new video frame between the program's frames, or the window uncovered.
void CpuDevice::onRepaint(void* user) {
    CpuDevice* device = static_cast<CpuDevice*>(user);
    if (!device->alive() || !device->lastValid) return;
    SDL_Window* window = fwlayer::windowSdlHandle(device->hwnd);
    if (!window) return;
    ++device->stats.repaints;
    uint64_t generation = fwlayer::childVideoGeneration(device->hwnd);
    if (generation != device->lastVideoGeneration) {
        device->lastVideoGeneration = generation;
        device->compose(window, device->last, false, true);
    } else {
        device->clip = {0, 0, 0, 0};  // the image still holds every video it can show
        device->putOnWindow(
            window, device->enlarged ? PixelRect{0, 0, device->surface->w, device->surface->h} : device->drawable);
    }
}

}  // namespace fwcpu
