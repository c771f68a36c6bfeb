// The Direct3D 9 subset on OpenGL 2.1 fixed function, drawing into the SDL window
// behind the device's HWND: the Direct3D object, the device's creation, its state,
// its lifetime, and Present. gl_objects.h lists the other files of the backend.
//
// Implemented (the recording calls themselves are d3d/device_base.h's):
//   available (gl_renderer.h), IDirect3D9 (platform/renderers.cpp picks this backend or cpu)
//   IDirect3D9::CreateDevice: adapter 0, D3DDEVTYPE_HAL, windowed, hardware or
//     software vertex processing (the same here), an optional D16 depth buffer
//   IDirect3DDevice9: SetRenderState, SetTextureStageState, SetSamplerState (the
//     states of gl_state.h), SetTexture (stage 0), SetFVF (XYZRHW | DIFFUSE | TEX1),
//     DrawPrimitiveUP (triangle lists, strips and fans), Clear (target and depth,
//     whole or by rectangles), BeginScene, EndScene, Present (the whole back buffer);
//     CreateTexture in gl_texture.cpp
//   AddRef and Release on every object, counted as Direct3D counts them: a texture
//     keeps its device (and the OpenGL context) alive, the device its IDirect3D9.
// Not implemented (D3DERR_INVALIDCALL or D3DERR_NOTAVAILABLE): QueryInterface (E_NOINTERFACE),
//   fullscreen, stencil, other formats and pools, mipmaps, partial or redirected
//   presents, Reset and device loss, multithreaded devices. Draws reach OpenGL at
//   Present, so a texture written between a draw and the Present shows its new texels.
//
// Frames. Nothing reaches OpenGL while the program draws: every Clear and draw from
// one Present to the next is recorded with its state, texture version and vertices
// (d3d/frame.h). Present compares the record with the last frame shown; an equal frame
// with no new video costs neither rasterization nor a swap. Otherwise the frame is
// composed (gl_video.cpp) and only the pixels drawn are copied to the window
// (GLX_MESA_copy_sub_buffer; a swap where that is missing).
#include <SDL_syswm.h>
#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gl_objects.h"

namespace fwgl {

namespace {

// An OpenGL 2.1 context on window (with 16 depth bits when asked for), current, or
// null with SDL's OpenGL library released again.
SDL_GLContext createContext(SDL_Window* window, bool wantDepth, int* major) {
    // Keeps SDL's OpenGL library loaded for as long as the context lives, even if the
    // window goes first.
    if (SDL_GL_LoadLibrary(nullptr) != 0) return nullptr;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context) {
        SDL_GL_UnloadLibrary();
        return nullptr;
    }
    int minor = 0;
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    GLint depthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    bool usable = version && std::sscanf(version, "%d.%d", major, &minor) == 2 &&
                  (*major > 2 || (*major == 2 && minor >= 1)) && (!wantDepth || depthBits >= 16);
    if (usable) return context;
    SDL_GL_MakeCurrent(window, nullptr);
    SDL_GL_DeleteContext(context);
    SDL_GL_UnloadLibrary();
    return nullptr;
}

}  // namespace

// --- Direct3D object ------------------------------------------------------------------

HRESULT GlDirect3D::CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                                 D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) {
    DeviceRequest request = {};
    HRESULT check = checkCreateDevice(adapter, deviceType, focusWindow, behaviorFlags, params, device,
                                      GlDevice::liveDevices, SDL_WINDOW_OPENGL, SDL_GL_GetDrawableSize, &request);
    if (check != D3D_OK) return check;
    int major = 0;
    SDL_GLContext context = createContext(request.sdlWindow, params->EnableAutoDepthStencil != FALSE, &major);
    if (!context) return D3DERR_NOTAVAILABLE;
    SDL_GL_SetSwapInterval(params->PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);

    GlDevice* created = new GlDevice;
    created->attach(this, request, *params);
    created->context = context;
    created->setUpOpenGl();
    created->loadFramebufferCalls(major);
    created->findCopySubBuffer(request.sdlWindow);
    created->backBufferPreserved = created->copySubBuffer || created->checkBackBufferPreserved(request.sdlWindow);
    created->stats.backBufferPreserved = created->backBufferPreserved;
    return created->publish(device);
}

// --- Device lifetime ------------------------------------------------------------------

void GlDevice::destroyIfUnused() {
    if (alive() || liveTextures > 0) return;
    if (makeCurrent()) {
        for (VideoSlot& slot : videos) {
            if (slot.framebuffer) framebuffers.remove(1, &slot.framebuffer);
            if (slot.texture) glDeleteTextures(1, &slot.texture);
        }
        if (pictureFramebuffer) framebuffers.remove(1, &pictureFramebuffer);
        if (pictureDepth) framebuffers.removeRenderbuffers(1, &pictureDepth);
        if (pictureTexture) glDeleteTextures(1, &pictureTexture);
        SDL_GL_MakeCurrent(fwlayer::windowSdlHandle(hwnd), nullptr);
    }
    // Without its window the context's objects simply go with it.
    SDL_GL_DeleteContext(context);
    SDL_GL_UnloadLibrary();
    destroy();
}

bool GlDevice::makeCurrent() {
    SDL_Window* window = fwlayer::windowSdlHandle(hwnd);
    if (!window) return false;
    if (SDL_GL_GetCurrentContext() != context || SDL_GL_GetCurrentWindow() != window)
        if (SDL_GL_MakeCurrent(window, context) != 0) return false;
    return true;
}

// --- OpenGL set-up ------------------------------------------------------------------------

// Pixel centres. Direct3D 9 samples pixel (x, y) at (x, y); OpenGL at (x + 0.5,
// y + 0.5). Vertices are moved by half a pixel less one sub-pixel step, so that an
// edge lying on a Direct3D pixel centre falls just before the OpenGL one: left and
// top edges on a centre take the pixel and right and bottom edges do not, which is
// Direct3D's top-left rule, whatever rule OpenGL applies to exact hits.
void GlDevice::setUpOpenGl() {
    clip = {0, 0, width, height};
    // Screen space, y downwards, z from 0 (near) to 1 (far) as Direct3D's.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, width, height, 0.0, 0.0, -1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB, GL_SRC_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB, GL_SRC_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA, GL_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_ALPHA, GL_SRC_ALPHA);
    glShadeModel(GL_SMOOTH);
    glDisable(GL_LIGHTING);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize);
    // Half a pixel, less the smallest step the rasterizer resolves.
    GLint subpixelBits = 4;
    glGetIntegerv(GL_SUBPIXEL_BITS, &subpixelBits);
    if (subpixelBits < 4) subpixelBits = 4;
    if (subpixelBits > 8) subpixelBits = 8;
    pixelCentreShift = 0.5f - 1.0f / static_cast<float>(1 << subpixelBits);
    appliedValid = false;
}

void GlDevice::loadFramebufferCalls(int major) {
    if (major < 3) return;
    FramebufferCalls& f = framebuffers;
    f.gen = reinterpret_cast<PFNGLGENFRAMEBUFFERSPROC>(SDL_GL_GetProcAddress("glGenFramebuffers"));
    f.remove = reinterpret_cast<PFNGLDELETEFRAMEBUFFERSPROC>(SDL_GL_GetProcAddress("glDeleteFramebuffers"));
    f.bind = reinterpret_cast<PFNGLBINDFRAMEBUFFERPROC>(SDL_GL_GetProcAddress("glBindFramebuffer"));
    f.texture2D = reinterpret_cast<PFNGLFRAMEBUFFERTEXTURE2DPROC>(SDL_GL_GetProcAddress("glFramebufferTexture2D"));
    f.checkStatus =
        reinterpret_cast<PFNGLCHECKFRAMEBUFFERSTATUSPROC>(SDL_GL_GetProcAddress("glCheckFramebufferStatus"));
    f.blit = reinterpret_cast<PFNGLBLITFRAMEBUFFERPROC>(SDL_GL_GetProcAddress("glBlitFramebuffer"));
    f.genRenderbuffers = reinterpret_cast<PFNGLGENRENDERBUFFERSPROC>(SDL_GL_GetProcAddress("glGenRenderbuffers"));
    f.removeRenderbuffers =
        reinterpret_cast<PFNGLDELETERENDERBUFFERSPROC>(SDL_GL_GetProcAddress("glDeleteRenderbuffers"));
    f.bindRenderbuffer = reinterpret_cast<PFNGLBINDRENDERBUFFERPROC>(SDL_GL_GetProcAddress("glBindRenderbuffer"));
    f.renderbufferStorage =
        reinterpret_cast<PFNGLRENDERBUFFERSTORAGEPROC>(SDL_GL_GetProcAddress("glRenderbufferStorage"));
    f.renderbuffer =
        reinterpret_cast<PFNGLFRAMEBUFFERRENDERBUFFERPROC>(SDL_GL_GetProcAddress("glFramebufferRenderbuffer"));
    if (!f.gen || !f.remove || !f.bind || !f.texture2D || !f.checkStatus) f.blit = nullptr;
    if (!f.blit || !f.genRenderbuffers || !f.removeRenderbuffers || !f.bindRenderbuffer || !f.renderbufferStorage ||
        !f.renderbuffer)
        f.renderbuffer = nullptr;
}

void GlDevice::findCopySubBuffer(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
    typedef const char* (*QueryExtensionsFn)(Display*, int);
    QueryExtensionsFn queryExtensions =
        reinterpret_cast<QueryExtensionsFn>(SDL_GL_GetProcAddress("glXQueryExtensionsString"));
    if (!queryExtensions) return;
    const char* extensions = queryExtensions(info.info.x11.display, DefaultScreen(info.info.x11.display));
    if (!extensions || !std::strstr(extensions, "GLX_MESA_copy_sub_buffer")) return;
    copySubBuffer = reinterpret_cast<CopySubBufferFn>(SDL_GL_GetProcAddress("glXCopySubBufferMESA"));
    x11Display = info.info.x11.display;
    x11Window = info.info.x11.window;
}

// Whether what was drawn stays in the back buffer after a swap, so that a new video
// frame can be drawn over the last picture alone. Checked once, with a colour no
// frame has yet.
bool GlDevice::checkBackBufferPreserved(SDL_Window* window) {
    const GLubyte marker[4] = {3, 5, 7, 255};
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(marker[0] / 255.0f, marker[1] / 255.0f, marker[2] / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    SDL_GL_SwapWindow(window);
    GLubyte pixel[4] = {};
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    bool preserved = pixel[0] == marker[0] && pixel[1] == marker[1] && pixel[2] == marker[2];
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    SDL_GL_SwapWindow(window);
    return preserved;
}

// --- Back-buffer helpers ------------------------------------------------------------------

// Rows of the target counted from the top, as OpenGL's rows from the bottom.
int GlDevice::glRowOf(int bottom) const { return targetRows - bottom; }

// Back-buffer pixels, where the target shows them (enlarged on the window).
void GlDevice::scissorTo(const PixelRect& rect) {
    PixelRect shown = onWindowEnlarged ? placed(rect) : rect;
    glEnable(GL_SCISSOR_TEST);
    glScissor(shown.left, glRowOf(shown.bottom), shown.right - shown.left, shown.bottom - shown.top);
}

void GlDevice::setClip(const PixelRect& rect) {
    clip = rect;
    if (rect == PixelRect{0, 0, width, height} && !onWindowEnlarged) glDisable(GL_SCISSOR_TEST);
    else scissorTo(rect);
}

// A framebuffer that reads texture, for plain copies; false (and none) when OpenGL
// cannot read that texture so.
bool GlDevice::makeReadFramebuffer(GLuint texture, GLuint* framebuffer) {
    framebuffers.gen(1, framebuffer);
    framebuffers.bind(GL_READ_FRAMEBUFFER, *framebuffer);
    framebuffers.texture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    bool complete = framebuffers.checkStatus(GL_READ_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    framebuffers.bind(GL_READ_FRAMEBUFFER, 0);
    if (complete) return true;
    framebuffers.remove(1, framebuffer);
    *framebuffer = 0;
    return false;
}

// Texels from (sourceX, sourceY) on, texture rows top down, onto target. The window's
// rows run bottom up: the copy turns the rows over, which is what lets the driver copy
// memory as it is, since it keeps window buffers top down too. Leaves the scissor off
// (a copy without a scissor stays a plain copy): the caller sets its clip again.
void GlDevice::blitTexels(GLuint framebuffer, int sourceX, int sourceY, const PixelRect& target) {
    int targetWidth = target.right - target.left, targetHeight = target.bottom - target.top;
    int targetY = glRowOf(target.bottom);
    glDisable(GL_SCISSOR_TEST);
    framebuffers.bind(GL_READ_FRAMEBUFFER, framebuffer);
    framebuffers.blit(sourceX, sourceY, sourceX + targetWidth, sourceY + targetHeight, target.left,
                      targetY + targetHeight, target.right, targetY, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    framebuffers.bind(GL_READ_FRAMEBUFFER, 0);
}

// --- Presenting -------------------------------------------------------------------------

// Rect in window pixels.
void GlDevice::putOnWindow(SDL_Window* window, const PixelRect& rect) {
    if (rect.empty()) return;
    ++stats.presents;
    if (copySubBuffer && !swapNext) {
        copySubBuffer(x11Display, x11Window, rect.left, drawableHeight - rect.bottom, rect.right - rect.left,
                      rect.bottom - rect.top);
    } else {
        SDL_GL_SwapWindow(window);
        swapNext = false;
    }
}

bool deviceStatsOf(IDirect3DDevice9* device, DeviceStats* stats) { return statsOf<GlDevice>(device, stats); }

// Where OpenGL has no GPU behind it, it is a software rasterizer: the cpu backend
// makes the same pixels for a fraction of the cost.
bool available() {
    const char* software = std::getenv("LIBGL_ALWAYS_SOFTWARE");
    if (software && *software && std::strcmp(software, "0") != 0) return false;
    DIR* directory = opendir("/dev/dri");
    if (!directory) return false;
    bool found = false;
    while (dirent* entry = readdir(directory))
        if (std::strncmp(entry->d_name, "renderD", 7) == 0) found = true;
    closedir(directory);
    return found;
}

IDirect3D9* createDirect3D() { return new GlDirect3D; }

}  // namespace fwgl
