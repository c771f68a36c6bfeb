// The cpu backend's child videos and the composition of a picture on the window.
//
// Implemented: Present and the window's repaint handler draw the visible child video
//   areas (common/child_video.cpp) over the picture straight from the frame the
//   decoder lent: black before the first frame, then the latest frame, copied into
//   the window's image when it has the area's size and scaled with bilinear
//   filtering otherwise. A frame in shared memory with the area's size is not
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

// One pixel of the frame at 16.16 fixed-point source position (x, y), blended
// from its four neighbours as OpenGL's linear filter does.
uint32_t sampleLinear(const fwlayer::ChildVideoView& view, int32_t x, int32_t y) {
    int x0 = std::max(0, x >> 16), y0 = std::max(0, y >> 16);
    int x1 = std::min(view.frameWidth - 1, x0 + 1), y1 = std::min(view.frameHeight - 1, y0 + 1);
    x0 = std::min(x0, view.frameWidth - 1);
    y0 = std::min(y0, view.frameHeight - 1);
    uint32_t fx = x < 0 ? 0 : (x >> 8) & 0xFF, fy = y < 0 ? 0 : (y >> 8) & 0xFF;
    const uint8_t* top = view.frameBgra + static_cast<size_t>(y0) * view.frameStride;
    const uint8_t* bottom = view.frameBgra + static_cast<size_t>(y1) * view.frameStride;
    uint32_t result = 0xFF000000u;
    for (int c = 0; c < 3; ++c) {
        uint32_t upper = top[x0 * 4 + c] * (256 - fx) + top[x1 * 4 + c] * fx;
        uint32_t lower = bottom[x0 * 4 + c] * (256 - fx) + bottom[x1 * 4 + c] * fx;
        result |= ((upper * (256 - fy) + lower * fy + 32768) >> 16) << (8 * c);
    }
    return result;
}

struct VideoDraw {
    uint32_t* pixels;
    int pitch;
    PixelRect clip;
};

// Pixel centres of the area onto the frame's, scaled, in 16.16 fixed point.
void scaleInto(const VideoDraw& draw, const fwlayer::ChildVideoView& view, const PixelRect& part) {
    int64_t stepX = (static_cast<int64_t>(view.frameWidth) << 16) / view.width;
    int64_t stepY = (static_cast<int64_t>(view.frameHeight) << 16) / view.height;
    for (int y = part.top; y < part.bottom; ++y) {
        int32_t sourceY = static_cast<int32_t>((2 * (y - view.top) + 1) * stepY / 2 - 32768);
        uint32_t* row = draw.pixels + static_cast<size_t>(y) * draw.pitch;
        for (int x = part.left; x < part.right; ++x)
            row[x] = sampleLinear(view, static_cast<int32_t>((2 * (x - view.left) + 1) * stepX / 2 - 32768), sourceY);
    }
}

void drawVideo(const fwlayer::ChildVideoView& view, const VideoDraw& draw) {
    PixelRect part = intersection(areaOf(view), draw.clip);
    if (part.empty()) return;
    bool hasFrame = view.frameWidth > 0 && view.frameHeight > 0 && view.frameBgra;
    if (hasFrame && (view.frameWidth != view.width || view.frameHeight != view.height)) {
        scaleInto(draw, view, part);
        return;
    }
    size_t rowBytes = static_cast<size_t>(part.right - part.left) * 4;
    for (int y = part.top; y < part.bottom; ++y) {
        uint32_t* row = draw.pixels + static_cast<size_t>(y) * draw.pitch + part.left;
        if (!hasFrame) {
            std::fill(row, row + (part.right - part.left), 0xFF000000u);
            continue;
        }
        const uint8_t* frameRow = view.frameBgra + static_cast<size_t>(y - view.top) * view.frameStride;
        std::memcpy(row, frameRow + (part.left - view.left) * 4, rowBytes);
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
// image), or else drawn into the image within the clip.
struct VideoPass {
    CpuDevice* device;
    PixelRect shown;
    std::vector<PixelRect> putAreas;

    static void visit(const fwlayer::ChildVideoView& view, void* user) {
        VideoPass& pass = *static_cast<VideoPass*>(user);
        CpuDevice& device = *pass.device;
        PixelRect area = intersection(areaOf(view), device.drawable);
        if (sharedVideoCanPut(device.sharedVideo, view)) {
            PixelRect part = intersection(area, pass.shown);
            if (part.empty() || sharedVideoPut(device.sharedVideo, view, part)) {
                if (!part.empty()) ++device.stats.videoPuts;
                pass.putAreas.push_back(area);
                return;
            }
        }
        drawVideo(view, VideoDraw{device.pixels, device.pitch, device.clip});
    }
};

// The window's surface for this picture (a memory device's memory); false when
// there is none fit to draw in. A surface made anew (the window was resized) holds
// nothing of the last picture.
bool CpuDevice::takeSurface(SDL_Window* window, bool* kept) {
    if (memoryPixels) {
        *kept = pixels == memoryPixels;
        pixels = memoryPixels;
        pitch = memoryPitch;
        drawable = {0, 0, width, height};
        return true;
    }
    SDL_Surface* now = window ? SDL_GetWindowSurface(window) : nullptr;
    if (!now || now->format->BytesPerPixel != 4) {
        surface = nullptr;
        return false;
    }
    PixelRect area = intersection({0, 0, width, height}, {0, 0, now->w, now->h});
    *kept = now == surface && area == drawable;
    surface = now;
    pixels = static_cast<uint32_t*>(now->pixels);
    pitch = now->pitch / 4;
    drawable = area;
    return true;
}

void CpuDevice::collectVideoAreas() {
    std::vector<PixelRect> areas;
    fwlayer::childVideoForEachVisible(hwnd, &collectArea, &areas);
    videoAreasChanged =
        areas.size() != videoAreas.size() || !std::equal(areas.begin(), areas.end(), videoAreas.begin());
    videoAreas.swap(areas);
}

// Puts the videos and then the rest of rect on the window.
void CpuDevice::putOnWindow(SDL_Window* window, const PixelRect& rect) {
    sharedVideoTidy(sharedVideo);
    VideoPass pass = {this, rect, {}};
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
    if (!shown.empty()) putOnWindow(window, shown);
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
        device->putOnWindow(window, device->drawable);
    }
}

}  // namespace fwcpu
