// The gl backend where the client area is placed larger on its window (a whole
// scale, fullscreen: layer.h, ClientPlacement): the picture drawn 1:1 into a
// framebuffer object of the back buffer's size, enlarged onto the window with
// nearest sampling; the videos drawn onto the window from their frames with linear
// filtering; black bars around.
//
// Implemented: choosing the target the picture is drawn into (the window's drawable
//   at its top left when 1:1, the framebuffer object otherwise), and the composition
//   through it: only the part of the picture that changed is enlarged again at a
//   whole scale (at another one all of it, so that every part is enlarged by the
//   same mapping), all of it when the window was placed anew.
// Does not: enlarge without framebuffer objects (OpenGL 3.0): the picture is then
//   drawn 1:1 at the window's top left, said once on stderr.
#include <cstdio>

#include "gl_objects.h"

namespace fwgl {

// True when the picture is drawn off the window, to be enlarged onto it.
bool GlDevice::bindPictureTarget(SDL_Window* window) {
    int wasWidth = drawableWidth, wasHeight = drawableHeight;
    SDL_GL_GetDrawableSize(window, &drawableWidth, &drawableHeight);
    // A drawable resized: some drivers (Mesa's software one) take the new size only
    // after a swap, and a partial copy sized for the new one would fail until then.
    if (wasWidth != 0 && (drawableWidth != wasWidth || drawableHeight != wasHeight)) {
        SDL_GL_SwapWindow(window);
        swapNext = true;
    }
    if (enlarged && !makePictureTarget()) enlarged = false;
    if (!enlarged) pictureKept = false;  // frames go to the window meanwhile
    if (framebuffers.bind) framebuffers.bind(GL_FRAMEBUFFER, enlarged ? pictureFramebuffer : 0);
    targetRows = enlarged ? height : drawableHeight;
    onWindowEnlarged = false;
    // The back buffer at the drawable's top left, or filling its framebuffer.
    glViewport(0, targetRows - height, width, height);
    setClip({0, 0, width, height});
    return enlarged;
}

void GlDevice::bindWindowTarget() {
    framebuffers.bind(GL_FRAMEBUFFER, 0);
    targetRows = drawableHeight;
    onWindowEnlarged = true;
    // Back-buffer coordinates land on the placement: videos are drawn at its scale.
    glViewport(placement.left, drawableHeight - placement.top - placement.height, placement.width, placement.height);
}

bool GlDevice::makePictureTarget() {
    if (pictureFramebuffer) return true;
    if (!framebuffers.renderbuffer || pictureFailed) {
        if (!pictureFailed)
            std::fputs("fernwood2: OpenGL has no framebuffer objects: the picture is not enlarged\n", stderr);
        pictureFailed = true;
        return false;
    }
    glGenTextures(1, &pictureTexture);
    glBindTexture(GL_TEXTURE_2D, pictureTexture);
    appliedTexture = pictureTexture;
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    framebuffers.genRenderbuffers(1, &pictureDepth);
    framebuffers.bindRenderbuffer(GL_RENDERBUFFER, pictureDepth);
    framebuffers.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, width, height);
    framebuffers.gen(1, &pictureFramebuffer);
    framebuffers.bind(GL_FRAMEBUFFER, pictureFramebuffer);
    framebuffers.texture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, pictureTexture, 0);
    framebuffers.renderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, pictureDepth);
    if (framebuffers.checkStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) return true;
    framebuffers.bind(GL_FRAMEBUFFER, 0);
    framebuffers.remove(1, &pictureFramebuffer);
    framebuffers.removeRenderbuffers(1, &pictureDepth);
    glDeleteTextures(1, &pictureTexture);
    pictureFramebuffer = pictureDepth = pictureTexture = 0;
    framebuffers.renderbuffer = nullptr;
    return makePictureTarget();
}

PixelRect GlDevice::windowRect() const {
    return enlarged ? PixelRect{0, 0, drawableWidth, drawableHeight} : PixelRect{0, 0, width, height};
}

void GlDevice::composeEnlarged(SDL_Window* window, const FrameRecord& frame, bool frameChanged, bool videoChanged,
                               bool placedAnew) {
    collectVideos();
    const PixelRect full = {0, 0, width, height};
    PixelRect redraw = redrawArea(frame, frameChanged, pictureKept, full);
    if (!redraw.empty()) {
        setClip(redraw);
        replay(frame);
    }
    countRedraw(redraw, full);
    pictureKept = true;

    bool whole = placedAnew || !backBufferPreserved || videoRectsChanged;
    bool wholeScale = placement.width % width == 0 && placement.height % height == 0;
    PixelRect put = whole || (!redraw.empty() && !wholeScale) ? full : redraw;
    bindWindowTarget();
    glDisable(GL_SCISSOR_TEST);
    if (whole) {
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    if (!put.empty()) {
        PixelRect target = placed(put);
        framebuffers.bind(GL_READ_FRAMEBUFFER, pictureFramebuffer);
        framebuffers.blit(put.left, height - put.bottom, put.right, height - put.top, target.left,
                          drawableHeight - target.bottom, target.right, drawableHeight - target.top,
                          GL_COLOR_BUFFER_BIT, GL_NEAREST);
        framebuffers.bind(GL_READ_FRAMEBUFFER, 0);
    }
    PixelRect shown = drawVideosOver(put, videoChanged);
    putOnWindow(window, whole ? windowRect() : placed(shown));
}

}  // namespace fwgl
