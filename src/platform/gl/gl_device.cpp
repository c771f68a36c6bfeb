// The Direct3D 9 subset on OpenGL 2.1 fixed function, drawing into the SDL window
// behind the device's HWND.
//
// Implemented:
//   Direct3DCreate9 (D3D_SDK_VERSION only)
//   IDirect3D9::CreateDevice: adapter 0, D3DDEVTYPE_HAL, windowed, hardware or
//     software vertex processing (the same here), an optional D16 depth buffer
//   IDirect3DDevice9: SetRenderState, SetTextureStageState, SetSamplerState (the
//     states of gl_state.h), CreateTexture (one level of A8R8G8B8 in the managed
//     pool), SetTexture (stage 0), SetFVF (XYZRHW | DIFFUSE | TEX1), DrawPrimitiveUP
//     (triangle lists, strips and fans), Clear (target and depth, whole or by
//     rectangles), BeginScene, EndScene, Present (the whole back buffer)
//   IDirect3DTexture9: GetLevelDesc, LockRect and UnlockRect of level 0
//   AddRef and Release on every object, counted as Direct3D counts them: a texture
//     keeps its device (and the OpenGL context) alive, the device its IDirect3D9.
// Not implemented (D3DERR_INVALIDCALL or D3DERR_NOTAVAILABLE): QueryInterface (E_NOINTERFACE),
//   fullscreen, stencil, other formats and pools, mipmaps, partial or redirected
//   presents, Reset and device loss, multithreaded devices. Draws reach OpenGL at
//   Present, so a texture written between a draw and the Present shows its new texels.
//
// Frames. Nothing reaches OpenGL while the program draws: every Clear and draw from
// one Present to the next is recorded with its state, texture version and vertices
// (gl_frame.h). Present compares the record with the last frame shown; an equal frame
// with no new video costs neither rasterization nor a swap. Otherwise the record is
// replayed, clipped to the pixels where it can differ from the last frame when the
// back buffer still holds that frame, the child video areas are drawn over it, and
// only the pixels drawn are copied to the window (GLX_MESA_copy_sub_buffer; a swap
// where that is missing). A whole, opaque 1:1 picture (the backgrounds) is put on the
// back buffer with a framebuffer copy instead of being shaded, where the state makes
// that give the same pixels.
//
// Child videos. Present and the window's repaint handler draw the visible child
// video areas (common/child_video.cpp) over the picture: black before the first
// frame, then the latest frame, copied when it has the area's size and scaled with
// linear filtering otherwise. A new frame between the program's frames arrives as a
// repaint: only the video areas are drawn over the kept picture and copied to the
// window. When an area moves or hides, the last frame is replayed under it.
//
// Pixel centres. Direct3D 9 samples pixel (x, y) at (x, y); OpenGL at (x + 0.5,
// y + 0.5). Vertices are moved by half a pixel less one sub-pixel step, so that an
// edge lying on a Direct3D pixel centre falls just before the OpenGL one: left and
// top edges on a centre take the pixel and right and bottom edges do not, which is
// Direct3D's top-left rule, whatever rule OpenGL applies to exact hits.
#include <SDL.h>
#include <SDL_syswm.h>
#include <GL/gl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../common/layer.h"
#include "gl_device.h"
#include "gl_frame.h"
#include "gl_state.h"

namespace fwgl {

namespace {

const DWORD kScreenVertexFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
const UINT kScreenVertexStride = 28;

struct GlDirect3D;
struct GlDevice;

struct GlTexture final : public IDirect3DTexture9 {
    ULONG refs = 1;
    GlDevice* device = nullptr;
    uint64_t id = 0;
    uint64_t version = 1;
    UINT width = 0;
    UINT height = 0;
    uint8_t* bits = nullptr;   // the CPU copy, width * 4 bytes a row
    GLuint name = 0;
    bool uploaded = false;     // OpenGL holds the CPU copy (at least once in full)
    bool locked = false;
    RECT lockedRect = {};
    DWORD lockFlags = 0;
    GLint appliedMinFilter = 0;
    GLint appliedMagFilter = 0;
    GLuint framebuffer = 0;    // reads the texture for plain copies
    bool framebufferUnusable = false;
    // Which texel rectangles were found opaque, for the content version then.
    struct OpaqueAnswer {
        uint64_t version;
        PixelRect texels;
        bool opaque;
    };
    OpaqueAnswer opaqueAnswers[8] = {};
    int nextOpaqueAnswer = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        if (object) *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT STDMETHODCALLTYPE LockRect(UINT level, D3DLOCKED_RECT* lockedRect, CONST RECT* rect,
                                       DWORD flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect(UINT level) override;

    void uploadRows(LONG top, LONG bottom);
    bool opaque(const PixelRect& texels);
};

// One visible child video area as last drawn.
struct VideoSlot {
    GLuint texture = 0;
    uint64_t serial = 0;
    int textureWidth = 0, textureHeight = 0;
    int left = 0, top = 0, width = 0, height = 0;
    bool hasFrame = false;
    bool uploaded = false;     // the texture holds the frame of serial
    GLint filter = 0;          // the texture's filter now
    GLuint framebuffer = 0;    // reads the texture for plain copies
};

struct GlDirect3D final : public IDirect3D9 {
    ULONG refs = 1;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        if (object) *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --refs;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow,
                                           DWORD behaviorFlags, D3DPRESENT_PARAMETERS* params,
                                           IDirect3DDevice9** device) override;
};

int gLiveDevices = 0;

struct GlDevice final : public IDirect3DDevice9 {
    ULONG refs = 1;             // the program's references
    int liveTextures = 0;       // textures not yet destroyed: each keeps the context
    GlDirect3D* d3d = nullptr;
    HWND hwnd = nullptr;
    SDL_GLContext context = nullptr;
    int width = 0, height = 0;
    bool hasDepthBuffer = false;
    bool backBufferPreserved = false;
    float pixelCentreShift = 0.5f;
    GLint maxTextureSize = 0;

    PipelineState state = {};
    GlTexture* boundTexture = nullptr;   // referenced while bound, as Direct3D does
    bool inScene = false;
    std::vector<GlTexture*> textures;
    uint64_t nextTextureId = 1;

    FrameRecord current;
    FrameRecord last;
    bool lastValid = false;
    uint64_t lastVideoGeneration = 0;
    std::vector<VideoSlot> videos;
    size_t visibleVideos = 0;
    bool videoRectsChanged = false;
    PixelRect clip = {0, 0, 0, 0};   // where replays draw now
    int viewportY = 0;               // OpenGL row of the back buffer's bottom row

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

    DeviceStats stats = {};

    // Plain copies of texel rectangles (framebuffer blits), when OpenGL has them.
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
    PFNGLFRAMEBUFFERTEXTURE2DPROC framebufferTexture2D = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;
    PFNGLBLITFRAMEBUFFERPROC blitFramebuffer = nullptr;
    // The depth buffer within the clip, while it holds one value throughout.
    bool depthKnown = false;
    float depthValue = 0.0f;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        if (object) *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, IDirect3DTexture9** texture,
                                            HANDLE* sharedHandle) override;
    HRESULT STDMETHODCALLTYPE BeginScene() override;
    HRESULT STDMETHODCALLTYPE EndScene() override;
    HRESULT STDMETHODCALLTYPE Clear(DWORD count, CONST D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                                    DWORD stencil) override;
    HRESULT STDMETHODCALLTYPE Present(CONST RECT* sourceRect, CONST RECT* destRect, HWND destWindowOverride,
                                      CONST RGNDATA* dirtyRegion) override;
    HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE type, DWORD value) override {
        return setRenderState(state, type, value);
    }
    HRESULT STDMETHODCALLTYPE SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
    HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                                   DWORD value) override {
        return setTextureStageState(state, stage, type, value);
    }
    HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override {
        return setSamplerState(state, sampler, type, value);
    }
    HRESULT STDMETHODCALLTYPE DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, CONST void* vertices,
                                              UINT stride) override;
    HRESULT STDMETHODCALLTYPE SetFVF(DWORD fvf) override {
        if (fvf != kScreenVertexFvf) return D3DERR_INVALIDCALL;
        state.fvf = fvf;
        return D3D_OK;
    }

    bool makeCurrent();
    void setUpOpenGl();
    bool checkBackBufferPreserved(SDL_Window* window);
    void findCopySubBuffer(SDL_Window* window);
    void textureDestroyed(GlTexture* texture);
    void destroyIfUnused();
    GlTexture* findTexture(uint64_t id) const;

    void replay(const FrameRecord& frame);
    void replayClear(const FrameRecord& frame, const FrameCommand& command);
    void replayDraw(const FrameRecord& frame, const FrameCommand& command);
    bool replayAsCopy(const FrameRecord& frame, const FrameCommand& command, GlTexture* texture);
    bool copyVideo(VideoSlot& slot, const PixelRect& area);
    bool depthTestWithoutEffect(const FrameRecord& frame, const FrameCommand& command) const;
    static PipelineState withoutDepthTest(const PipelineState& state);
    void loadFramebufferCalls(int major);
    void applyState(const PipelineState& wanted);
    void bindForDraw(GlTexture* texture, const PipelineState& wanted);
    void collectVideos();
    void drawVideos();
    void compose(SDL_Window* window, const FrameRecord& frame, bool frameChanged, bool videoChanged);
    PixelRect unite(const PixelRect& a, const PixelRect& b) const;
    int glRowOf(int bottom) const;
    void setClip(const PixelRect& rect);
    void present(SDL_Window* window, const PixelRect& rect);
    static void onRepaint(void* user);
};

// --- Direct3D object ------------------------------------------------------------------

HRESULT GlDirect3D::CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                                 D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) {
    if (!device) return D3DERR_INVALIDCALL;
    *device = nullptr;
    if (!params || adapter != D3DADAPTER_DEFAULT) return D3DERR_INVALIDCALL;
    if (deviceType != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    // Exactly one kind of vertex processing, and nothing else: both kinds are the
    // same here, since vertices arrive transformed.
    DWORD processing = behaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING);
    if (behaviorFlags != processing || (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING &&
                                        processing != D3DCREATE_HARDWARE_VERTEXPROCESSING))
        return D3DERR_INVALIDCALL;
    if (!params->Windowed) return D3DERR_NOTAVAILABLE;
    if (params->BackBufferFormat != D3DFMT_UNKNOWN && params->BackBufferFormat != D3DFMT_X8R8G8B8 &&
        params->BackBufferFormat != D3DFMT_A8R8G8B8)
        return D3DERR_NOTAVAILABLE;
    if (params->BackBufferCount > 1 || params->MultiSampleType != D3DMULTISAMPLE_NONE ||
        params->MultiSampleQuality != 0 || params->Flags != 0 || params->FullScreen_RefreshRateInHz != 0)
        return D3DERR_INVALIDCALL;
    if (params->SwapEffect < D3DSWAPEFFECT_DISCARD || params->SwapEffect > D3DSWAPEFFECT_COPY)
        return D3DERR_INVALIDCALL;
    if (params->EnableAutoDepthStencil && params->AutoDepthStencilFormat != D3DFMT_D16)
        return D3DERR_NOTAVAILABLE;
    if (params->PresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE &&
        params->PresentationInterval != D3DPRESENT_INTERVAL_DEFAULT)
        return D3DERR_INVALIDCALL;
    HWND deviceWindow = params->hDeviceWindow ? params->hDeviceWindow : focusWindow;
    SDL_Window* window = deviceWindow ? fwlayer::windowSdlHandle(deviceWindow) : nullptr;
    if (!window) return D3DERR_INVALIDCALL;
    // One device per window: the window has one OpenGL drawable.
    if (gLiveDevices > 0) return D3DERR_NOTAVAILABLE;
    if (!(SDL_GetWindowFlags(window) & SDL_WINDOW_OPENGL)) return D3DERR_NOTAVAILABLE;

    int drawableWidth = 0, drawableHeight = 0;
    SDL_GL_GetDrawableSize(window, &drawableWidth, &drawableHeight);
    int width = params->BackBufferWidth ? static_cast<int>(params->BackBufferWidth) : drawableWidth;
    int height = params->BackBufferHeight ? static_cast<int>(params->BackBufferHeight) : drawableHeight;
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return D3DERR_INVALIDCALL;

    // Keeps SDL's OpenGL library loaded for as long as the context lives, even if the
    // window goes first.
    if (SDL_GL_LoadLibrary(nullptr) != 0) return D3DERR_NOTAVAILABLE;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context) {
        SDL_GL_UnloadLibrary();
        return D3DERR_NOTAVAILABLE;
    }
    int major = 0, minor = 0;
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    GLint depthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    bool usable = version && std::sscanf(version, "%d.%d", &major, &minor) == 2 &&
                  (major > 2 || (major == 2 && minor >= 1)) &&
                  (!params->EnableAutoDepthStencil || depthBits >= 16);
    if (!usable) {
        SDL_GL_MakeCurrent(window, nullptr);
        SDL_GL_DeleteContext(context);
        SDL_GL_UnloadLibrary();
        return D3DERR_NOTAVAILABLE;
    }
    SDL_GL_SetSwapInterval(params->PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);

    GlDevice* created = new GlDevice;
    created->d3d = this;
    AddRef();
    created->hwnd = deviceWindow;
    created->context = context;
    created->width = width;
    created->height = height;
    created->hasDepthBuffer = params->EnableAutoDepthStencil != FALSE;
    created->state = defaultPipelineState(created->hasDepthBuffer);
    created->setUpOpenGl();
    created->loadFramebufferCalls(major);
    created->findCopySubBuffer(window);
    created->backBufferPreserved = created->copySubBuffer || created->checkBackBufferPreserved(window);
    created->stats.backBufferPreserved = created->backBufferPreserved;
    ++gLiveDevices;
    fwlayer::windowSetRepaintHandler(deviceWindow, &GlDevice::onRepaint, created);
    *device = created;
    return D3D_OK;
}

// --- Device lifetime ------------------------------------------------------------------

ULONG GlDevice::Release() {
    if (refs == 0) return 0;
    ULONG left = --refs;
    if (left > 0) return left;
    // The program is done with the device: nothing draws or repaints any more. The
    // context stays until the last texture has gone.
    fwlayer::windowSetRepaintHandler(hwnd, nullptr, nullptr);
    if (boundTexture) {
        // The unbound texture may be the last one: keep this object until it is gone.
        ++liveTextures;
        GlTexture* texture = boundTexture;
        boundTexture = nullptr;
        texture->Release();
        --liveTextures;
    }
    destroyIfUnused();
    return 0;
}

void GlDevice::destroyIfUnused() {
    if (refs > 0 || liveTextures > 0) return;
    if (makeCurrent()) {
        for (VideoSlot& slot : videos) {
            if (slot.framebuffer) deleteFramebuffers(1, &slot.framebuffer);
            if (slot.texture) glDeleteTextures(1, &slot.texture);
        }
        SDL_GL_MakeCurrent(fwlayer::windowSdlHandle(hwnd), nullptr);
    }
    // Without its window the context's objects simply go with it.
    SDL_GL_DeleteContext(context);
    SDL_GL_UnloadLibrary();
    --gLiveDevices;
    GlDirect3D* owner = d3d;
    delete this;
    owner->Release();
}

bool GlDevice::makeCurrent() {
    SDL_Window* window = fwlayer::windowSdlHandle(hwnd);
    if (!window) return false;
    if (SDL_GL_GetCurrentContext() != context || SDL_GL_GetCurrentWindow() != window)
        if (SDL_GL_MakeCurrent(window, context) != 0) return false;
    return true;
}

void GlDevice::setUpOpenGl() {
    int drawableWidth = 0, drawableHeight = 0;
    SDL_GL_GetDrawableSize(fwlayer::windowSdlHandle(hwnd), &drawableWidth, &drawableHeight);
    // The back buffer sits at the drawable's top left.
    viewportY = drawableHeight - height;
    glViewport(0, viewportY, width, height);
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
    genFramebuffers = reinterpret_cast<PFNGLGENFRAMEBUFFERSPROC>(SDL_GL_GetProcAddress("glGenFramebuffers"));
    deleteFramebuffers = reinterpret_cast<PFNGLDELETEFRAMEBUFFERSPROC>(SDL_GL_GetProcAddress("glDeleteFramebuffers"));
    bindFramebuffer = reinterpret_cast<PFNGLBINDFRAMEBUFFERPROC>(SDL_GL_GetProcAddress("glBindFramebuffer"));
    framebufferTexture2D =
        reinterpret_cast<PFNGLFRAMEBUFFERTEXTURE2DPROC>(SDL_GL_GetProcAddress("glFramebufferTexture2D"));
    checkFramebufferStatus =
        reinterpret_cast<PFNGLCHECKFRAMEBUFFERSTATUSPROC>(SDL_GL_GetProcAddress("glCheckFramebufferStatus"));
    blitFramebuffer = reinterpret_cast<PFNGLBLITFRAMEBUFFERPROC>(SDL_GL_GetProcAddress("glBlitFramebuffer"));
    if (!genFramebuffers || !deleteFramebuffers || !bindFramebuffer || !framebufferTexture2D ||
        !checkFramebufferStatus)
        blitFramebuffer = nullptr;
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

GlTexture* GlDevice::findTexture(uint64_t id) const {
    for (GlTexture* texture : textures)
        if (texture->id == id) return texture;
    return nullptr;
}

void GlDevice::textureDestroyed(GlTexture* texture) {
    for (size_t i = 0; i < textures.size(); ++i)
        if (textures[i] == texture) {
            textures.erase(textures.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    if (texture->name && makeCurrent()) {
        if (appliedTexture == texture->name) appliedTexture = 0;
        if (texture->framebuffer) deleteFramebuffers(1, &texture->framebuffer);
        glDeleteTextures(1, &texture->name);
    }
    --liveTextures;
    destroyIfUnused();
}

// --- Textures ---------------------------------------------------------------------------

HRESULT GlDevice::CreateTexture(UINT textureWidth, UINT textureHeight, UINT levels, DWORD usage, D3DFORMAT format,
                                D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* sharedHandle) {
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    HRESULT check = checkTextureRequest(textureWidth, textureHeight, levels, usage, format, pool, sharedHandle,
                                        maxTextureSize);
    if (check != D3D_OK) return check;
    if (!makeCurrent()) return D3DERR_INVALIDCALL;
    uint8_t* bits = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(textureWidth) * textureHeight, 4));
    if (!bits) return D3DERR_OUTOFVIDEOMEMORY;
    while (glGetError() != GL_NO_ERROR) {
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    appliedTexture = name;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    // Unsized, so that the driver keeps the texels as they come (B, G, R, A bytes), the
    // layout of the window's buffers: whole pictures then copy as plain memory.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, static_cast<GLsizei>(textureWidth),
                 static_cast<GLsizei>(textureHeight), 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    if (glGetError() != GL_NO_ERROR) {
        glDeleteTextures(1, &name);
        appliedTexture = 0;
        std::free(bits);
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    GlTexture* created = new GlTexture;
    created->device = this;
    created->id = nextTextureId++;
    created->width = textureWidth;
    created->height = textureHeight;
    created->bits = bits;
    created->name = name;
    created->appliedMinFilter = GL_NEAREST;
    created->appliedMagFilter = GL_NEAREST;
    textures.push_back(created);
    ++liveTextures;
    *texture = created;
    return D3D_OK;
}

ULONG GlTexture::Release() {
    if (refs == 0) return 0;
    ULONG left = --refs;
    if (left > 0) return left;
    GlDevice* owner = device;
    std::free(bits);
    bits = nullptr;
    owner->textureDestroyed(this);
    delete this;
    return 0;
}

HRESULT GlTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    if (level != 0 || !desc) return D3DERR_INVALIDCALL;
    std::memset(desc, 0, sizeof(*desc));
    desc->Format = D3DFMT_A8R8G8B8;
    desc->Type = D3DRTYPE_SURFACE;
    desc->Usage = 0;
    desc->Pool = D3DPOOL_MANAGED;
    desc->MultiSampleType = D3DMULTISAMPLE_NONE;
    desc->Width = width;
    desc->Height = height;
    return D3D_OK;
}

HRESULT GlTexture::LockRect(UINT level, D3DLOCKED_RECT* lockedRectOut, CONST RECT* rect, DWORD flags) {
    if (level != 0 || !lockedRectOut || locked) return D3DERR_INVALIDCALL;
    if ((flags & ~static_cast<DWORD>(D3DLOCK_READONLY | D3DLOCK_DISCARD)) != 0) return D3DERR_INVALIDCALL;
    RECT area = {0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
    if (rect) {
        if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
            rect->right > area.right || rect->bottom > area.bottom)
            return D3DERR_INVALIDCALL;
        area = *rect;
    }
    locked = true;
    lockedRect = area;
    lockFlags = flags;
    lockedRectOut->Pitch = static_cast<INT>(width * 4);
    lockedRectOut->pBits = bits + static_cast<size_t>(area.top) * width * 4 + static_cast<size_t>(area.left) * 4;
    return D3D_OK;
}

HRESULT GlTexture::UnlockRect(UINT level) {
    if (level != 0 || !locked) return D3DERR_INVALIDCALL;
    locked = false;
    if (lockFlags & D3DLOCK_READONLY) return D3D_OK;
    ++version;
    if (device->makeCurrent()) uploadRows(uploaded ? lockedRect.top : 0, uploaded ? lockedRect.bottom : height);
    return D3D_OK;
}

// Whole rows of the CPU copy into OpenGL, top row first, as texture row 0; the first
// upload is the whole texture.
void GlTexture::uploadRows(LONG top, LONG bottom) {
    glBindTexture(GL_TEXTURE_2D, name);
    device->appliedTexture = name;
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, top, static_cast<GLsizei>(width), bottom - top, GL_BGRA, GL_UNSIGNED_BYTE,
                    bits + static_cast<size_t>(top) * width * 4);
    uploaded = true;
}

bool GlTexture::opaque(const PixelRect& texels) {
    for (const OpaqueAnswer& answer : opaqueAnswers)
        if (answer.version == version && answer.texels.left == texels.left && answer.texels.top == texels.top &&
            answer.texels.right == texels.right && answer.texels.bottom == texels.bottom)
            return answer.opaque;
    bool allOpaque = true;
    for (int y = texels.top; y < texels.bottom && allOpaque; ++y) {
        const uint8_t* row = bits + static_cast<size_t>(y) * width * 4;
        for (int x = texels.left; x < texels.right; ++x)
            if (row[x * 4 + 3] != 0xFF) {
                allOpaque = false;
                break;
            }
    }
    opaqueAnswers[nextOpaqueAnswer] = {version, texels, allOpaque};
    nextOpaqueAnswer = (nextOpaqueAnswer + 1) % 8;
    return allOpaque;
}

// --- Recording ----------------------------------------------------------------------------

HRESULT GlDevice::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
    if (stage != 0) return D3DERR_INVALIDCALL;
    GlTexture* wanted = nullptr;
    if (texture) {
        wanted = dynamic_cast<GlTexture*>(texture);
        if (!wanted || wanted->device != this) return D3DERR_INVALIDCALL;
    }
    if (wanted == boundTexture) return D3D_OK;
    if (wanted) wanted->AddRef();
    GlTexture* previous = boundTexture;
    boundTexture = wanted;
    if (previous) previous->Release();
    return D3D_OK;
}

HRESULT GlDevice::BeginScene() {
    if (inScene) return D3DERR_INVALIDCALL;
    inScene = true;
    return D3D_OK;
}

HRESULT GlDevice::EndScene() {
    if (!inScene) return D3DERR_INVALIDCALL;
    inScene = false;
    return D3D_OK;
}

HRESULT GlDevice::Clear(DWORD count, CONST D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD) {
    if ((count > 0 && !rects) || count > 4096) return D3DERR_INVALIDCALL;
    // No stencil buffer; a depth clear needs a depth buffer.
    if (flags == 0 || (flags & ~static_cast<DWORD>(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER)) != 0)
        return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_ZBUFFER) && !hasDepthBuffer) return D3DERR_INVALIDCALL;
    if (!(z >= 0.0f && z <= 1.0f)) return D3DERR_INVALIDCALL;
    current.addClear(count, rects, flags, color, z);
    return D3D_OK;
}

HRESULT GlDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, CONST void* vertices, UINT stride) {
    if (!inScene || !vertices || state.fvf != kScreenVertexFvf || stride != kScreenVertexStride)
        return D3DERR_INVALIDCALL;
    UINT vertexCount = vertexCountFor(type, primitiveCount);
    if (vertexCount == 0 || vertexCount > 65536) return D3DERR_INVALIDCALL;
    current.addDraw(state, boundTexture ? boundTexture->id : 0, boundTexture ? boundTexture->version : 0, type,
                    primitiveCount, vertices, vertexCount, stride);
    return D3D_OK;
}

// --- Presenting -------------------------------------------------------------------------

HRESULT GlDevice::Present(CONST RECT* sourceRect, CONST RECT* destRect, HWND destWindowOverride,
                          CONST RGNDATA* dirtyRegion) {
    if (sourceRect || destRect || destWindowOverride || dirtyRegion || inScene) return D3DERR_INVALIDCALL;
    SDL_Window* window = fwlayer::windowSdlHandle(hwnd);
    if (!window) {
        current.reset();
        return D3DERR_DEVICELOST;
    }
    uint64_t generation = fwlayer::childVideoGeneration(hwnd);
    bool frameChanged = !lastValid || !sameFrame(current, last);
    bool videoChanged = !lastValid || generation != lastVideoGeneration;
    if (!frameChanged && !videoChanged) {
        ++stats.framesSkipped;
        current.reset();
        return D3D_OK;
    }
    if (!makeCurrent()) {
        current.reset();
        return D3DERR_DEVICELOST;
    }
    lastVideoGeneration = generation;
    compose(window, current, frameChanged, videoChanged);
    std::swap(current, last);
    lastValid = true;
    current.reset();
    return D3D_OK;
}

// Puts frame and the child videos on the window, redrawing as little as the kept
// back buffer allows: the part of the picture that differs from the last frame (all
// of it when the video areas moved, when the back buffer is not kept, or when the
// difference cannot be bounded), and the videos where they changed or where the
// picture under them was redrawn. Only the pixels drawn reach the window when a
// partial copy is available.
void GlDevice::compose(SDL_Window* window, const FrameRecord& frame, bool frameChanged, bool videoChanged) {
    collectVideos();
    const PixelRect full = {0, 0, width, height};
    bool keepPicture = backBufferPreserved && !videoRectsChanged;
    PixelRect redraw = {0, 0, 0, 0};
    if (frameChanged) {
        if (!keepPicture || !frameDamage(last, frame, width, height, &redraw)) redraw = full;
    } else if (!keepPicture) {
        redraw = full;
    }
    PixelRect shown = redraw;
    if (!redraw.empty()) {
        setClip(redraw);
        replay(frame);
        ++stats.framesDrawn;
        if (redraw.left != 0 || redraw.top != 0 || redraw.right != width || redraw.bottom != height)
            ++stats.partialRedraws;
    } else {
        ++stats.videoOnlyUpdates;
    }
    if (videoChanged) {
        setClip(full);
        drawVideos();
        for (size_t i = 0; i < visibleVideos; ++i)
            shown = unite(shown, {videos[i].left, videos[i].top, videos[i].left + videos[i].width,
                                  videos[i].top + videos[i].height});
    } else if (!redraw.empty()) {
        drawVideos();   // within the redrawn part
    }
    setClip(full);
    present(window, shown);
}

PixelRect GlDevice::unite(const PixelRect& a, const PixelRect& b) const {
    PixelRect clipped = {std::max(b.left, 0), std::max(b.top, 0), std::min(b.right, width), std::min(b.bottom, height)};
    if (clipped.empty()) return a;
    if (a.empty()) return clipped;
    return {std::min(a.left, clipped.left), std::min(a.top, clipped.top), std::max(a.right, clipped.right),
            std::max(a.bottom, clipped.bottom)};
}

// Rows of the back buffer counted from the top, as OpenGL's window rows from the bottom.
int GlDevice::glRowOf(int bottom) const { return viewportY + height - bottom; }

void GlDevice::setClip(const PixelRect& rect) {
    clip = rect;
    if (rect.left == 0 && rect.top == 0 && rect.right == width && rect.bottom == height) {
        glDisable(GL_SCISSOR_TEST);
    } else {
        glEnable(GL_SCISSOR_TEST);
        glScissor(rect.left, glRowOf(rect.bottom), rect.right - rect.left, rect.bottom - rect.top);
    }
}

void GlDevice::present(SDL_Window* window, const PixelRect& rect) {
    if (rect.empty()) return;
    ++stats.presents;
    if (copySubBuffer) {
        copySubBuffer(x11Display, x11Window, rect.left, glRowOf(rect.bottom), rect.right - rect.left,
                      rect.bottom - rect.top);
    } else {
        SDL_GL_SwapWindow(window);
    }
}

// A new video frame between the program's frames, or the window uncovered.
void GlDevice::onRepaint(void* user) {
    GlDevice* device = static_cast<GlDevice*>(user);
    if (device->refs == 0 || !device->lastValid) return;
    SDL_Window* window = fwlayer::windowSdlHandle(device->hwnd);
    if (!window || !device->makeCurrent()) return;
    ++device->stats.repaints;
    uint64_t generation = fwlayer::childVideoGeneration(device->hwnd);
    if (generation != device->lastVideoGeneration) {
        device->lastVideoGeneration = generation;
        device->compose(window, device->last, false, true);
    } else if (device->backBufferPreserved) {
        device->present(window, {0, 0, device->width, device->height});
    } else {
        device->compose(window, device->last, false, true);
    }
}

// --- Replay into OpenGL ------------------------------------------------------------------

void GlDevice::replay(const FrameRecord& frame) {
    depthKnown = false;
    for (const FrameCommand& command : frame.commands) {
        if (command.kind == FrameCommand::Clear)
            replayClear(frame, command);
        else
            replayDraw(frame, command);
    }
}

void GlDevice::replayClear(const FrameRecord& frame, const FrameCommand& command) {
    GLbitfield mask = 0;
    if (command.clearFlags & D3DCLEAR_TARGET) {
        D3DCOLOR color = command.clearColor;
        glClearColor(static_cast<float>((color >> 16) & 0xFF) / 255.0f, static_cast<float>((color >> 8) & 0xFF) / 255.0f,
                     static_cast<float>(color & 0xFF) / 255.0f, static_cast<float>(color >> 24) / 255.0f);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (command.clearFlags & D3DCLEAR_ZBUFFER) {
        float z = 0.0f;
        std::memcpy(&z, &command.clearDepthBits, sizeof(z));
        glClearDepth(z);
        // A clear writes depth whatever ZWRITEENABLE says.
        glDepthMask(GL_TRUE);
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    size_t rectCount = command.dataSize / sizeof(D3DRECT);
    if (mask & GL_DEPTH_BUFFER_BIT) {
        depthKnown = rectCount == 0;
        std::memcpy(&depthValue, &command.clearDepthBits, sizeof(depthValue));
    }
    if (rectCount == 0) {
        glClear(mask);   // within the clip
    } else {
        const PixelRect whole = clip;
        const uint8_t* data = frame.dataOf(command);
        for (size_t i = 0; i < rectCount; ++i) {
            D3DRECT rect;
            std::memcpy(&rect, data + i * sizeof(D3DRECT), sizeof(rect));
            PixelRect part = {std::max(static_cast<int>(rect.x1), whole.left), std::max(static_cast<int>(rect.y1), whole.top),
                              std::min(static_cast<int>(rect.x2), whole.right),
                              std::min(static_cast<int>(rect.y2), whole.bottom)};
            if (part.empty()) continue;
            glEnable(GL_SCISSOR_TEST);
            glScissor(part.left, glRowOf(part.bottom), part.right - part.left, part.bottom - part.top);
            glClear(mask);
        }
        setClip(whole);
    }
    if (appliedValid && (command.clearFlags & D3DCLEAR_ZBUFFER)) glDepthMask(applied.zWriteEnable ? GL_TRUE : GL_FALSE);
}

void GlDevice::applyState(const PipelineState& wanted) {
    bool all = !appliedValid;
    const PipelineState& was = applied;
    if (all || was.zEnable != wanted.zEnable) {
        if (wanted.zEnable) glEnable(GL_DEPTH_TEST); else glDisable(GL_DEPTH_TEST);
    }
    if (all || was.zWriteEnable != wanted.zWriteEnable) glDepthMask(wanted.zWriteEnable ? GL_TRUE : GL_FALSE);
    if (all || was.zFunc != wanted.zFunc) glDepthFunc(glCompareFunc(wanted.zFunc));
    if (all || was.alphaTestEnable != wanted.alphaTestEnable) {
        if (wanted.alphaTestEnable) glEnable(GL_ALPHA_TEST); else glDisable(GL_ALPHA_TEST);
    }
    if (all || was.alphaFunc != wanted.alphaFunc || was.alphaRef != wanted.alphaRef)
        glAlphaFunc(glCompareFunc(wanted.alphaFunc), static_cast<float>(wanted.alphaRef) / 255.0f);
    if (all || was.alphaBlendEnable != wanted.alphaBlendEnable) {
        if (wanted.alphaBlendEnable) glEnable(GL_BLEND); else glDisable(GL_BLEND);
    }
    if (all || was.srcBlend != wanted.srcBlend || was.destBlend != wanted.destBlend)
        glBlendFunc(glBlendFactor(wanted.srcBlend), glBlendFactor(wanted.destBlend));
    if (all || was.cullMode != wanted.cullMode) {
        GlCull cull = glCull(wanted.cullMode);
        if (cull.enabled) {
            glEnable(GL_CULL_FACE);
            glCullFace(GL_BACK);
            glFrontFace(cull.frontFace);
        } else {
            glDisable(GL_CULL_FACE);
        }
    }
    if (all || was.ditherEnable != wanted.ditherEnable) {
        if (wanted.ditherEnable) glEnable(GL_DITHER); else glDisable(GL_DITHER);
    }
    if (all || was.colorOp != wanted.colorOp || was.colorArg1 != wanted.colorArg1 ||
        was.colorArg2 != wanted.colorArg2) {
        GlCombine combine = glCombine(wanted.colorOp, wanted.colorArg1, wanted.colorArg2);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, static_cast<GLint>(combine.function));
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, static_cast<GLint>(combine.source0));
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB, static_cast<GLint>(combine.source1));
    }
    if (all || was.alphaOp != wanted.alphaOp || was.alphaArg1 != wanted.alphaArg1 ||
        was.alphaArg2 != wanted.alphaArg2) {
        GlCombine combine = glCombine(wanted.alphaOp, wanted.alphaArg1, wanted.alphaArg2);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, static_cast<GLint>(combine.function));
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA, static_cast<GLint>(combine.source0));
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_ALPHA, static_cast<GLint>(combine.source1));
    }
    applied = wanted;
    appliedValid = true;
}

// Without a texture, or with stage 0 disabled, the diffuse colour goes through alone.
void GlDevice::bindForDraw(GlTexture* texture, const PipelineState& wanted) {
    bool texturing = texture && wanted.colorOp != D3DTOP_DISABLE;
    if (texturing != appliedTexturing) {
        if (texturing) glEnable(GL_TEXTURE_2D); else glDisable(GL_TEXTURE_2D);
        appliedTexturing = texturing;
    }
    if (!texturing) return;
    if (appliedTexture != texture->name) {
        glBindTexture(GL_TEXTURE_2D, texture->name);
        appliedTexture = texture->name;
    }
    if (!texture->uploaded) texture->uploadRows(0, static_cast<LONG>(texture->height));
    GLint minFilter = static_cast<GLint>(glTextureFilter(wanted.minFilter));
    GLint magFilter = static_cast<GLint>(glTextureFilter(wanted.magFilter));
    if (texture->appliedMinFilter != minFilter) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
        texture->appliedMinFilter = minFilter;
    }
    if (texture->appliedMagFilter != magFilter) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, magFilter);
        texture->appliedMagFilter = magFilter;
    }
}

void GlDevice::replayDraw(const FrameRecord& frame, const FrameCommand& command) {
    // A texture released since the frame was recorded draws as no texture; one
    // unlocked again between a draw and the Present draws with its new content.
    GlTexture* texture = command.textureId ? findTexture(command.textureId) : nullptr;
    if (texture && replayAsCopy(frame, command, texture)) return;
    applyState(depthTestWithoutEffect(frame, command) ? withoutDepthTest(command.state) : command.state);
    bindForDraw(texture, command.state);
    GLenum mode = command.primitiveType == D3DPT_TRIANGLELIST    ? GL_TRIANGLES
                  : command.primitiveType == D3DPT_TRIANGLESTRIP ? GL_TRIANGLE_STRIP
                                                                 : GL_TRIANGLE_FAN;
    const uint8_t* data = frame.dataOf(command);
    UINT vertexCount = command.dataSize / command.vertexStride;
    glBegin(mode);
    for (UINT i = 0; i < vertexCount; ++i) {
        const uint8_t* vertex = data + static_cast<size_t>(i) * command.vertexStride;
        float position[4];
        DWORD color;
        float uv[2];
        std::memcpy(position, vertex, sizeof(position));
        std::memcpy(&color, vertex + 16, sizeof(color));
        std::memcpy(uv, vertex + 20, sizeof(uv));
        float w = position[3] != 0.0f ? 1.0f / position[3] : 1.0f;
        glColor4ub(static_cast<GLubyte>(color >> 16), static_cast<GLubyte>(color >> 8), static_cast<GLubyte>(color),
                   static_cast<GLubyte>(color >> 24));
        glTexCoord2f(uv[0], uv[1]);
        glVertex4f((position[0] + pixelCentreShift) * w, (position[1] + pixelCentreShift) * w, position[2] * w, w);
        if (command.state.zEnable && command.state.zWriteEnable && position[2] != depthValue) depthKnown = false;
    }
    glEnd();
}

// Whether every pixel of the draw passes the depth test and writes back the depth
// already there: the depth buffer holds one value and every vertex that value (the
// screens draw everything at depth 0 after a background).
bool GlDevice::depthTestWithoutEffect(const FrameRecord& frame, const FrameCommand& command) const {
    const PipelineState& state = command.state;
    if (!state.zEnable || !depthKnown || !compareHolds(state.zFunc, depthValue, depthValue)) return false;
    const uint8_t* data = frame.dataOf(command);
    for (UINT i = 0; i < command.dataSize / command.vertexStride; ++i) {
        float z;
        std::memcpy(&z, data + static_cast<size_t>(i) * command.vertexStride + 8, sizeof(z));
        if (z != depthValue) return false;
    }
    return true;
}

PipelineState GlDevice::withoutDepthTest(const PipelineState& state) {
    PipelineState changed = state;
    changed.zEnable = D3DZB_FALSE;
    return changed;
}

// A 1:1 picture whose drawing would put exactly its texels on the pixels, over a
// depth buffer that lets every pixel pass, is copied instead: one blit, no shading.
// Where it writes depth, the depth is cleared to its z over the same pixels.
bool GlDevice::replayAsCopy(const FrameRecord& frame, const FrameCommand& command, GlTexture* texture) {
    if (!blitFramebuffer || texture->framebufferUnusable) return false;
    const PipelineState& state = command.state;
    TexelCopy copy;
    if (!asTexelCopy(frame, command, texture->width, texture->height, &copy)) return false;
    TexelCopyUse use = texelCopyUse(state, copy.diffuse);
    if (use == TexelCopyUse::NotACopy) return false;
    bool writesDepth = state.zEnable && state.zWriteEnable;
    if (state.zEnable) {
        if (state.zFunc != D3DCMP_ALWAYS && !(depthKnown && compareHolds(state.zFunc, copy.z, depthValue)))
            return false;
        // Values a depth clear stores exactly as a draw would.
        if (writesDepth && copy.z != 0.0f && copy.z != 1.0f) return false;
    }
    const PixelRect& target = copy.target;
    PixelRect texels = {copy.texelLeft, copy.texelTop, copy.texelLeft + (target.right - target.left),
                        copy.texelTop + (target.bottom - target.top)};
    if (use == TexelCopyUse::CopyIfOpaque && !texture->opaque(texels)) return false;
    if (!texture->uploaded) texture->uploadRows(0, static_cast<LONG>(texture->height));
    if (!texture->framebuffer) {
        genFramebuffers(1, &texture->framebuffer);
        bindFramebuffer(GL_READ_FRAMEBUFFER, texture->framebuffer);
        framebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture->name, 0);
        bool complete = checkFramebufferStatus(GL_READ_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        bindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        if (!complete) {
            texture->framebufferUnusable = true;
            return false;
        }
    }
    PixelRect part = {std::max(target.left, clip.left), std::max(target.top, clip.top),
                      std::min(target.right, clip.right), std::min(target.bottom, clip.bottom)};
    if (!part.empty()) {
        int partWidth = part.right - part.left, partHeight = part.bottom - part.top;
        int sourceX = texels.left + (part.left - target.left);
        int sourceY = texels.top + (part.top - target.top);
        int targetY = glRowOf(part.bottom);
        // Texture rows run top down, the window's rows bottom up: the copy turns the
        // rows over, which is what lets the driver copy memory as it is, since it
        // keeps window buffers top down too.
        glDisable(GL_SCISSOR_TEST);   // a copy without a scissor stays a plain copy
        bindFramebuffer(GL_READ_FRAMEBUFFER, texture->framebuffer);
        blitFramebuffer(sourceX, sourceY, sourceX + partWidth, sourceY + partHeight, part.left,
                        targetY + partHeight, part.right, targetY, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        bindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        if (writesDepth) {
            glEnable(GL_SCISSOR_TEST);
            glScissor(part.left, targetY, partWidth, partHeight);
            glClearDepth(copy.z);
            glDepthMask(GL_TRUE);
            glClear(GL_DEPTH_BUFFER_BIT);
            if (appliedValid) glDepthMask(applied.zWriteEnable ? GL_TRUE : GL_FALSE);
        }
        setClip(clip);
        if (writesDepth) {
            bool coversClip = part.left == clip.left && part.top == clip.top && part.right == clip.right &&
                              part.bottom == clip.bottom;
            if (coversClip) {
                depthKnown = true;
                depthValue = copy.z;
            } else if (depthValue != copy.z) {
                depthKnown = false;
            }
        }
    }
    ++stats.texelCopies;
    return true;
}

// --- Child video areas ---------------------------------------------------------------------

struct VideoVisit {
    GlDevice* device;
    size_t index;
    bool rectsChanged;
};

void GlDevice::collectVideos() {
    VideoVisit visit = {this, 0, false};
    fwlayer::childVideoForEachVisible(
        hwnd,
        [](const fwlayer::ChildVideoView& view, void* user) {
            VideoVisit& visit = *static_cast<VideoVisit*>(user);
            GlDevice& device = *visit.device;
            if (visit.index == device.videos.size()) {
                device.videos.push_back(VideoSlot());
                visit.rectsChanged = true;
            }
            VideoSlot& slot = device.videos[visit.index++];
            if (visit.index > device.visibleVideos || slot.left != view.left || slot.top != view.top ||
                slot.width != view.width || slot.height != view.height) {
                visit.rectsChanged = true;
                slot.uploaded = false;   // perhaps another video in this place now
            }
            slot.left = view.left;
            slot.top = view.top;
            slot.width = view.width;
            slot.height = view.height;
            slot.hasFrame = view.frameWidth > 0 && view.frameHeight > 0 && view.frameBgra;
            if (!slot.hasFrame || (slot.uploaded && view.frameSerial == slot.serial)) return;
            // The frame is only valid here, under the video's lock: upload it now.
            if (!slot.texture) glGenTextures(1, &slot.texture);
            glBindTexture(GL_TEXTURE_2D, slot.texture);
            device.appliedTexture = slot.texture;
            glPixelStorei(GL_UNPACK_ROW_LENGTH, view.frameStride / 4);
            if (slot.textureWidth != view.frameWidth || slot.textureHeight != view.frameHeight) {
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
                glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, view.frameWidth, view.frameHeight, 0, GL_BGRA,
                             GL_UNSIGNED_BYTE, view.frameBgra);
                slot.textureWidth = view.frameWidth;
                slot.textureHeight = view.frameHeight;
            } else {
                glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, view.frameWidth, view.frameHeight, GL_BGRA,
                                GL_UNSIGNED_BYTE, view.frameBgra);
            }
            glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
            slot.serial = view.frameSerial;
            slot.uploaded = true;
        },
        &visit);
    if (visit.index != visibleVideos) visit.rectsChanged = true;
    visibleVideos = visit.index;
    videoRectsChanged = visit.rectsChanged;
}

// A frame of its area's size goes to the back buffer as a plain copy, its rows
// turned over as a picture's are.
bool GlDevice::copyVideo(VideoSlot& slot, const PixelRect& area) {
    if (!blitFramebuffer || slot.textureWidth != slot.width || slot.textureHeight != slot.height) return false;
    if (!slot.framebuffer) {
        genFramebuffers(1, &slot.framebuffer);
        bindFramebuffer(GL_READ_FRAMEBUFFER, slot.framebuffer);
        framebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, slot.texture, 0);
        bool complete = checkFramebufferStatus(GL_READ_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        bindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        if (!complete) {
            deleteFramebuffers(1, &slot.framebuffer);
            slot.framebuffer = 0;
            return false;
        }
    }
    int width = area.right - area.left, height = area.bottom - area.top;
    int sourceX = area.left - slot.left, sourceY = area.top - slot.top;
    int targetY = glRowOf(area.bottom);
    glDisable(GL_SCISSOR_TEST);
    bindFramebuffer(GL_READ_FRAMEBUFFER, slot.framebuffer);
    blitFramebuffer(sourceX, sourceY, sourceX + width, sourceY + height, area.left, targetY + height, area.right,
                    targetY, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    bindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    setClip(clip);
    return true;
}

// The videos cover their rectangles completely (within the clip): black before
// the first frame; a frame of the area's size copied; any other scaled with linear
// filtering onto pixel edges at OpenGL's whole coordinates, without blending or depth.
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
        PixelRect area = {std::max(slot.left, within.left), std::max(slot.top, within.top),
                          std::min(slot.left + slot.width, within.right), std::min(slot.top + slot.height, within.bottom)};
        if (area.empty()) continue;
        if (!slot.hasFrame) {   // black until the first frame
            glEnable(GL_SCISSOR_TEST);
            glScissor(area.left, glRowOf(area.bottom), area.right - area.left, area.bottom - area.top);
            glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
            setClip(within);
            continue;
        }
        if (copyVideo(slot, area)) continue;
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, slot.texture);
        GLint filter = slot.textureWidth == slot.width && slot.textureHeight == slot.height ? GL_NEAREST : GL_LINEAR;
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
    // Everything above was set behind the state cache's back.
    appliedValid = false;
    appliedTexture = 0;
    appliedTexturing = false;
    glDisable(GL_TEXTURE_2D);
}

}  // namespace

bool deviceStats(IDirect3DDevice9* device, DeviceStats* stats) {
    GlDevice* glDevice = dynamic_cast<GlDevice*>(device);
    if (!glDevice || !stats) return false;
    *stats = glDevice->stats;
    return true;
}

}  // namespace fwgl

IDirect3D9* WINAPI Direct3DCreate9(UINT SDKVersion) {
    if (SDKVersion != D3D_SDK_VERSION) return nullptr;
    return new fwgl::GlDirect3D;
}
