// The child-video compositor, and the composition of a picture on the window.
//
// Implemented: Present and the window's repaint handler draw the visible child video
//   areas (common/child_video.cpp) over the picture: black before the first frame,
//   then the latest frame, copied when it has the area's size and scaled with linear
//   filtering otherwise (onto the window, where the back buffer is enlarged:
//   gl_enlarge.cpp). A new frame between the program's frames arrives as a
//   repaint: only the video areas are drawn over the kept picture and copied to the
//   window. When an area moves or hides, the last frame is replayed under it. A frame
//   changed in part is replayed only where it can differ from the last frame shown,
//   when the back buffer still holds that frame.
// Does not: keep video frames beyond the latest one an area shows; blend a video with
//   what lies under it; draw a video outside its owner's back buffer.
#include <algorithm>

#include "gl_objects.h"

namespace fwgl {

namespace {

struct VideoVisit {
    GlDevice* device;
    size_t index;
    bool rectsChanged;
};

void visitVideo(const fwlayer::ChildVideoView& view, void* user) {
    VideoVisit& visit = *static_cast<VideoVisit*>(user);
    visit.device->takeVideo(view, visit.index++, &visit.rectsChanged);
}

}  // namespace

// The visible video areas as they are now, their new frames uploaded.
void GlDevice::collectVideos() {
    VideoVisit visit = {this, 0, false};
    fwlayer::childVideoForEachVisible(hwnd, &visitVideo, &visit);
    if (visit.index != visibleVideos) visit.rectsChanged = true;
    visibleVideos = visit.index;
    videoRectsChanged = visit.rectsChanged;
}

void GlDevice::takeVideo(const fwlayer::ChildVideoView& view, size_t index, bool* rectsChanged) {
    if (index == videos.size()) {
        videos.push_back(VideoSlot());
        *rectsChanged = true;
    }
    VideoSlot& slot = videos[index];
    if (index >= visibleVideos || slot.left != view.left || slot.top != view.top || slot.width != view.width ||
        slot.height != view.height) {
        *rectsChanged = true;
        slot.uploaded = false;  // perhaps another video in this place now
    }
    slot.left = view.left;
    slot.top = view.top;
    slot.width = view.width;
    slot.height = view.height;
    slot.hasFrame = view.frameWidth > 0 && view.frameHeight > 0 && view.frameBgra;
    if (!slot.hasFrame || (slot.uploaded && view.frameSerial == slot.serial)) return;
    // The frame is only valid here, under the video's lock: upload it now.
    uploadVideoFrame(slot, view);
}

void GlDevice::uploadVideoFrame(VideoSlot& slot, const fwlayer::ChildVideoView& view) {
    if (!slot.texture) glGenTextures(1, &slot.texture);
    glBindTexture(GL_TEXTURE_2D, slot.texture);
    appliedTexture = slot.texture;
    glPixelStorei(GL_UNPACK_ROW_LENGTH, view.frameStride / 4);
    if (slot.textureWidth != view.frameWidth || slot.textureHeight != view.frameHeight) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, view.frameWidth, view.frameHeight, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                     view.frameBgra);
        slot.textureWidth = view.frameWidth;
        slot.textureHeight = view.frameHeight;
    } else {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, view.frameWidth, view.frameHeight, GL_BGRA, GL_UNSIGNED_BYTE,
                        view.frameBgra);
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    slot.serial = view.frameSerial;
    slot.uploaded = true;
}

// A frame of its area's size goes to the back buffer as a plain copy, its rows
// turned over as a picture's are.
bool GlDevice::copyVideo(VideoSlot& slot, const PixelRect& area) {
    if (!framebuffers.blit || onWindowEnlarged || slot.textureWidth != slot.width || slot.textureHeight != slot.height)
        return false;
    if (!slot.framebuffer && !makeReadFramebuffer(slot.texture, &slot.framebuffer)) return false;
    blitTexels(slot.framebuffer, area.left - slot.left, area.top - slot.top, area);
    setClip(clip);
    return true;
}

// A frame of another size, scaled with linear filtering onto pixel edges at OpenGL's
// whole coordinates.
void GlDevice::scaleVideo(VideoSlot& slot) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, slot.texture);
    bool same = slot.textureWidth == slot.width && slot.textureHeight == slot.height && !onWindowEnlarged;
    GLint filter = same ? GL_NEAREST : GL_LINEAR;
    if (slot.filter != filter) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
        slot.filter = filter;
    }
    float left = static_cast<float>(slot.left), top = static_cast<float>(slot.top);
    float right = left + static_cast<float>(slot.width), bottom = top + static_cast<float>(slot.height);
    glColor4ub(0, 0, 0, 255);
    glBegin(GL_TRIANGLE_FAN);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(left, top);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(right, top);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(right, bottom);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(left, bottom);
    glEnd();
}

// The videos cover their rectangles completely (within the clip), without blending
// or depth: black before the first frame, then the frame copied or scaled.
void GlDevice::drawVideos() {
    if (visibleVideos == 0) return;
    glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDepthMask(GL_FALSE);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_REPLACE);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, GL_TEXTURE);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_REPLACE);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA, GL_PRIMARY_COLOR);
    const PixelRect within = clip;
    for (size_t i = 0; i < visibleVideos; ++i) {
        VideoSlot& slot = videos[i];
        PixelRect area = intersection({slot.left, slot.top, slot.left + slot.width, slot.top + slot.height}, within);
        if (area.empty()) continue;
        if (!slot.hasFrame) {
            scissorTo(area);
            glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
            setClip(within);
        } else if (!copyVideo(slot, area)) {
            scaleVideo(slot);
        }
    }
    // Everything above was set behind the state cache's back.
    appliedValid = false;
    appliedTexture = 0;
    appliedTexturing = false;
    glDisable(GL_TEXTURE_2D);
}

// Puts frame and the child videos on the window, redrawing as little as the kept
// back buffer allows: the part of the picture that differs from the last frame (all
// of it when the video areas moved, when the back buffer is not kept, or when the
// difference cannot be bounded), and the videos where they changed or where the
// picture under them was redrawn. Only the pixels drawn reach the window when a
// partial copy is available.
void GlDevice::compose(SDL_Window* window, const FrameRecord& frame, bool frameChanged, bool videoChanged) {
    bool placedAnew = takePlacement();
    if (bindPictureTarget(window)) return composeEnlarged(window, frame, frameChanged, videoChanged, placedAnew);
    collectVideos();
    const PixelRect full = {0, 0, width, height};
    PixelRect redraw = redrawArea(frame, frameChanged, backBufferPreserved && !videoRectsChanged && !placedAnew, full);
    if (!redraw.empty()) {
        setClip(redraw);
        replay(frame);
    }
    countRedraw(redraw, full);
    PixelRect shown = drawVideosOver(redraw, videoChanged);
    setClip(full);
    putOnWindow(window, shown);
}

// The videos within the part drawn, or all of them when they changed; that part grown
// by the areas drawn.
PixelRect GlDevice::drawVideosOver(const PixelRect& drawn, bool videoChanged) {
    PixelRect shown = drawn;
    if (videoChanged) {
        setClip({0, 0, width, height});
        drawVideos();
        for (size_t i = 0; i < visibleVideos; ++i)
            shown = unite(shown, {videos[i].left, videos[i].top, videos[i].left + videos[i].width,
                                  videos[i].top + videos[i].height});
    } else if (!drawn.empty()) {
        setClip(drawn);
        drawVideos();
    }
    return shown;
}

PixelRect GlDevice::unite(const PixelRect& a, const PixelRect& b) const {
    PixelRect clipped = intersection(b, {0, 0, width, height});
    if (clipped.empty()) return a;
    if (a.empty()) return clipped;
    return {std::min(a.left, clipped.left), std::min(a.top, clipped.top), std::max(a.right, clipped.right),
            std::max(a.bottom, clipped.bottom)};
}

// A new video frame between the program's frames, or the window uncovered.
void GlDevice::onRepaint(void* user) {
    GlDevice* device = static_cast<GlDevice*>(user);
    if (!device->alive() || !device->lastValid) return;
    SDL_Window* window = fwlayer::windowSdlHandle(device->hwnd);
    if (!window || !device->makeCurrent()) return;
    ++device->stats.repaints;
    uint64_t generation = fwlayer::childVideoGeneration(device->hwnd);
    if (generation != device->lastVideoGeneration) {
        device->lastVideoGeneration = generation;
        device->compose(window, device->last, false, true);
    } else if (device->backBufferPreserved) {
        device->putOnWindow(window, device->windowRect());
    } else {
        device->compose(window, device->last, false, true);
    }
}

}  // namespace fwgl
