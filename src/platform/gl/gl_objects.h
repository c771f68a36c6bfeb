// The gl backend's COM objects and what each file of it adds to them:
//   gl_device.cpp   IDirect3D9, the device's creation, state, lifetime and Present
//   gl_texture.cpp  the texture store (CreateTexture, IDirect3DTexture9, uploads)
//   gl_replay.cpp   a recorded frame into OpenGL: the state cache, clears, draws,
//                   and the texel-copy fast path
//   gl_video.cpp    the child-video compositor and the composition of a picture
//   gl_enlarge.cpp  the picture drawn off the window and enlarged onto it
// Shared by those files only; the rest of the layer sees gl_renderer.h alone
// (through platform/renderers.cpp).
//
// Implements: the objects' declarations.
// Does not: anything the other backends could call (they see gl_renderer.h).
#pragma once

#include <SDL.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <vector>

#include "../d3d/recording_device.h"
#include "gl_renderer.h"
#include "gl_state.h"

namespace fwgl {

struct GlDevice;

// The texels (TexelStore) and the OpenGL texture that follows them.
struct GlTexture final : public fwd3d::RecordedTexture<GlDevice, GlTexture> {
    GLuint name = 0;
    bool uploaded = false;  // OpenGL holds the CPU copy (at least once in full)
    GLint appliedMinFilter = 0;
    GLint appliedMagFilter = 0;
    GLuint framebuffer = 0;  // reads the texture for plain copies
    bool framebufferUnusable = false;

    void texelsWritten() override;
    void uploadRows(LONG top, LONG bottom);
};

// One visible child video area as last drawn.
struct VideoSlot {
    GLuint texture = 0;
    uint64_t serial = 0;
    int textureWidth = 0, textureHeight = 0;
    int left = 0, top = 0, width = 0, height = 0;
    bool hasFrame = false;
    bool uploaded = false;   // the texture holds the frame of serial
    GLint filter = 0;        // the texture's filter now
    GLuint framebuffer = 0;  // reads the texture for plain copies
};

struct GlDirect3D final : public fwlayer::ComObject<IDirect3D9> {
    HRESULT STDMETHODCALLTYPE CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                                           D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) override;
};

// Plain copies of texel rectangles (framebuffer blits), when OpenGL has them.
struct FramebufferCalls {
    PFNGLGENFRAMEBUFFERSPROC gen = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC remove = nullptr;
    PFNGLBINDFRAMEBUFFERPROC bind = nullptr;
    PFNGLFRAMEBUFFERTEXTURE2DPROC texture2D = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkStatus = nullptr;
    PFNGLBLITFRAMEBUFFERPROC blit = nullptr;  // null: no plain copies
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
    PFNGLDELETERENDERBUFFERSPROC removeRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC renderbuffer = nullptr;  // null: no picture off the window
};

struct GlDevice final : public fwd3d::RecordingDevice<GlDevice, GlTexture> {
    SDL_GLContext context = nullptr;
    bool backBufferPreserved = false;
    float pixelCentreShift = 0.5f;
    GLint maxTextureSize = 0;

    std::vector<VideoSlot> videos;
    size_t visibleVideos = 0;
    bool videoRectsChanged = false;
    PixelRect clip = {0, 0, 0, 0};  // where replays draw now (back-buffer pixels)
    int drawableWidth = 0, drawableHeight = 0;
    bool swapNext = false;          // the drawable was resized: the next present swaps
    int targetRows = 0;             // rows of what is drawn into now
    bool onWindowEnlarged = false;  // the window is drawn into, the back buffer enlarged

    // Enlarged on the window, the back buffer is a framebuffer object of its own.
    GLuint pictureFramebuffer = 0, pictureTexture = 0, pictureDepth = 0;
    bool pictureKept = false;  // it holds the last frame drawn
    bool pictureFailed = false;

    // The X11 partial copy from back to front buffer, when OpenGL offers it: only
    // changed pixels travel to the window, and the back buffer stays as drawn.
    typedef void (*CopySubBufferFn)(void* display, unsigned long drawable, int x, int y, int width, int height);
    CopySubBufferFn copySubBuffer = nullptr;
    void* x11Display = nullptr;
    unsigned long x11Window = 0;

    // What OpenGL was last given, so that a replay sets only what differs.
    PipelineState applied = {};
    bool appliedValid = false;
    GLuint appliedTexture = 0;
    bool appliedTexturing = false;

    FramebufferCalls framebuffers;
    // The depth buffer within the clip, while it holds one value throughout.
    bool depthKnown = false;
    float depthValue = 0.0f;

    HRESULT STDMETHODCALLTYPE CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* sharedHandle) override;
    HRESULT STDMETHODCALLTYPE DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, CONST void* vertices,
                                              UINT stride) override {
        return recordDraw(type, primitiveCount, vertices, stride, boundTexture);
    }

    // gl_device.cpp
    bool makeCurrent();
    bool readyToDraw() { return makeCurrent(); }
    void setUpOpenGl();
    bool checkBackBufferPreserved(SDL_Window* window);
    void findCopySubBuffer(SDL_Window* window);
    void loadFramebufferCalls(int major);
    void destroyIfUnused();
    int glRowOf(int bottom) const;
    void scissorTo(const PixelRect& rect);
    void setClip(const PixelRect& rect);
    bool makeReadFramebuffer(GLuint texture, GLuint* framebuffer);
    void blitTexels(GLuint framebuffer, int sourceX, int sourceY, const PixelRect& target);
    void putOnWindow(SDL_Window* window, const PixelRect& rect);

    // gl_enlarge.cpp
    bool bindPictureTarget(SDL_Window* window);
    void bindWindowTarget();
    bool makePictureTarget();
    void composeEnlarged(SDL_Window* window, const FrameRecord& frame, bool frameChanged, bool videoChanged,
                         bool placedAnew);
    PixelRect windowRect() const;

    // gl_texture.cpp
    void textureGone(GlTexture* texture);

    // gl_replay.cpp
    void replay(const FrameRecord& frame);
    void replayClear(const FrameRecord& frame, const FrameCommand& command, const FrameCommand* next);
    bool copyCoversClip(const FrameRecord& frame, const FrameCommand& command);
    void replayDraw(const FrameRecord& frame, const FrameCommand& command);
    bool copyPlan(const FrameRecord& frame, const FrameCommand& command, GlTexture* texture, TexelCopy* copy,
                  PixelRect* texels) const;
    bool replayAsCopy(const FrameRecord& frame, const FrameCommand& command, GlTexture* texture);
    void clearDepthUnder(const PixelRect& part, float z);
    bool depthTestWithoutEffect(const FrameRecord& frame, const FrameCommand& command) const;
    void applyState(const PipelineState& wanted);
    void bindForDraw(GlTexture* texture, const PipelineState& wanted);

    // gl_video.cpp
    void collectVideos();
    void takeVideo(const fwlayer::ChildVideoView& view, size_t index, bool* rectsChanged);
    void uploadVideoFrame(VideoSlot& slot, const fwlayer::ChildVideoView& view);
    bool copyVideo(VideoSlot& slot, const PixelRect& area);
    void scaleVideo(VideoSlot& slot);
    void drawVideos();
    PixelRect drawVideosOver(const PixelRect& drawn, bool videoChanged);
    void compose(SDL_Window* window, const FrameRecord& frame, bool frameChanged, bool videoChanged);
    PixelRect unite(const PixelRect& a, const PixelRect& b) const;
    static void onRepaint(void* user);
};

}  // namespace fwgl
