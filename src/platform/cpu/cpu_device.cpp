// The Direct3D 9 subset drawn on the CPU into the window's own surface (SDL's
// window framebuffer: on X11 a shared-memory image), for machines where OpenGL
// would be a software rasterizer anyway: no OpenGL library is loaded and no context
// made. common/renderer.cpp chooses it (FW_RENDERER=cpu forces it, FW_RENDERER=gl
// the gl backend). Pixels are those of the gl backend: every product of two 8-bit
// values rounded on its own, round(a * b / 255).
//
// Implemented:
//   IDirect3D9::CreateDevice: adapter 0, D3DDEVTYPE_HAL, windowed, hardware or
//     software vertex processing, an optional D16 depth buffer; one device at a time
//   IDirect3DDevice9: the states of d3d/pipeline_state.h, SetTexture (stage 0),
//     SetFVF (XYZRHW | DIFFUSE | TEX1), Clear (target and depth, whole or by
//     rectangles), BeginScene, EndScene, Present (the whole back buffer),
//     CreateTexture (one A8R8G8B8 level, managed pool), DrawPrimitiveUP of textured
//     texel copies: a fan of four vertices putting a texel rectangle 1:1 on a pixel
//     rectangle, at whole positions, one diffuse colour and depth (what the
//     program's drawQuad makes), through the whole fixed pipeline: stage 0
//     combiner, alpha test, depth test and write, blending, culling.
//   AddRef and Release as the gl backend counts them.
// Not implemented: any other draw (untextured, scaled, rotated or free triangles)
//   fails with D3DERR_INVALIDCALL rather than being drawn wrongly; a texture
//   released between its draw and the Present leaves that draw out; dithering
//   (without effect at 8 bits a channel); QueryInterface (E_NOINTERFACE),
//   fullscreen, stencil, multisampling, partial or redirected presents, Reset
//   (D3DERR_INVALIDCALL or D3DERR_NOTAVAILABLE, as the gl backend); window surfaces
//   other than 32-bit XRGB (CreateDevice fails with D3DERR_NOTAVAILABLE).
//
// Frames are recorded (d3d/frame.h) and drawn at Present only where they differ
// from the last frame shown; only the changed rectangle goes to the window.
//
// Writes of a video frame's pixels from decoder to screen, counted as docs/performance.md's
// "A video frame's copies" counts them: 2, as gst-launch with ximagesink. GStreamer's
// conversion to BGRx straight into shared memory (1); the frame lent to the child
// video without a copy; the X server's read of it in place into its screen (2),
// cpu_xshm.cpp. A frame scaled to its area, or any frame where shared memory
// cannot be used, makes 3: our scaling or copy into the window's image comes
// between. The gl path makes 5 (texture upload, blit to the back buffer, its swap
// into a shared-memory image).
#include <SDL.h>

#include "cpu_device.h"

namespace fwcpu {

namespace {

int gLiveDevices = 0;

// The window's surface as this backend draws into it: 32 bits, B, G, R, X bytes.
bool usableSurface(SDL_Window* window) {
    // Without this SDL may put the window's surface behind an accelerated renderer,
    // which would load OpenGL after all.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    if (!surface) return false;
    const SDL_PixelFormat* format = surface->format;
    return format->BytesPerPixel == 4 && format->Rmask == 0x00FF0000u && format->Gmask == 0x0000FF00u &&
           format->Bmask == 0x000000FFu;
}

}  // namespace

// --- Direct3D object ------------------------------------------------------------------

HRESULT CpuDirect3D::CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                                  D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) {
    HWND deviceWindow = nullptr;
    HRESULT check = checkCreateDevice(adapter, deviceType, focusWindow, behaviorFlags, params, device, &deviceWindow);
    if (check != D3D_OK) return check;
    SDL_Window* window = fwlayer::windowSdlHandle(deviceWindow);
    if (!window) return D3DERR_INVALIDCALL;
    if (gLiveDevices > 0) return D3DERR_NOTAVAILABLE;
    int windowWidth = 0, windowHeight = 0;
    SDL_GetWindowSize(window, &windowWidth, &windowHeight);
    int width = params->BackBufferWidth ? static_cast<int>(params->BackBufferWidth) : windowWidth;
    int height = params->BackBufferHeight ? static_cast<int>(params->BackBufferHeight) : windowHeight;
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return D3DERR_INVALIDCALL;
    if (!usableSurface(window)) return D3DERR_NOTAVAILABLE;

    CpuDevice* created = new CpuDevice;
    created->d3d = this;
    AddRef();
    created->hwnd = deviceWindow;
    created->width = width;
    created->height = height;
    created->hasDepthBuffer = params->EnableAutoDepthStencil != FALSE;
    if (created->hasDepthBuffer) created->depth.assign(static_cast<size_t>(width) * height, 0xFFFF);
    created->state = defaultPipelineState(created->hasDepthBuffer);
    created->stats.backBufferPreserved = true;
    created->sharedVideo = sharedVideoBegin(window);
    ++gLiveDevices;
    fwlayer::windowSetRepaintHandler(deviceWindow, &CpuDevice::onRepaint, created);
    *device = created;
    return D3D_OK;
}

IDirect3D9* createDirect3D() { return new CpuDirect3D; }

bool deviceStatsOf(IDirect3DDevice9* device, DeviceStats* stats) {
    CpuDevice* cpuDevice = dynamic_cast<CpuDevice*>(device);
    if (!cpuDevice || !stats) return false;
    *stats = cpuDevice->stats;
    return true;
}

// --- Lifetime -----------------------------------------------------------------------------

void CpuDevice::destroyIfUnused() {
    if (alive() || liveTextures > 0) return;
    --gLiveDevices;
    sharedVideoEnd(sharedVideo);
    CpuDirect3D* owner = d3d;
    delete this;
    owner->Release();
}

// --- Textures -------------------------------------------------------------------------------

HRESULT CpuDevice::CreateTexture(UINT textureWidth, UINT textureHeight, UINT levels, DWORD usage, D3DFORMAT format,
                                 D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* sharedHandle) {
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    HRESULT check = checkTextureRequest(textureWidth, textureHeight, levels, usage, format, pool, sharedHandle, 16384);
    if (check != D3D_OK) return check;
    CpuTexture* created = new CpuTexture;
    if (!created->allocate(textureWidth, textureHeight)) {
        created->Release();
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    created->device = this;
    created->id = nextTextureId++;
    textures.push_back(created);
    ++liveTextures;
    *texture = created;
    return D3D_OK;
}

CpuTexture* CpuDevice::findTexture(uint64_t id) const {
    for (CpuTexture* texture : textures)
        if (texture->id == id) return texture;
    return nullptr;
}

void CpuDevice::textureDestroyed(CpuTexture* texture) {
    for (size_t i = 0; i < textures.size(); ++i)
        if (textures[i] == texture) {
            textures.erase(textures.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    --liveTextures;
    destroyIfUnused();
}

void CpuTexture::released(ULONG left) {
    if (left > 0) return;
    if (device) device->textureDestroyed(this);
    delete this;
}

// --- Drawing ------------------------------------------------------------------------------

// Only texel copies are drawn here (see the top): anything else is refused when it
// is made, not drawn wrongly at the Present.
HRESULT CpuDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, CONST void* vertices, UINT stride) {
    if (!boundTexture) return D3DERR_INVALIDCALL;
    HRESULT result = recordDraw(type, primitiveCount, vertices, stride, boundTexture);
    if (result != D3D_OK) return result;
    TexelCopy copy;
    if (asTexelCopy(current, current.commands.back(), boundTexture->width, boundTexture->height, &copy))
        return D3D_OK;
    current.removeLast();
    return D3DERR_INVALIDCALL;
}

HRESULT CpuDevice::Present(CONST RECT* sourceRect, CONST RECT* destRect, HWND destWindowOverride,
                           CONST RGNDATA* dirtyRegion) {
    bool draw = false, frameChanged = false, videoChanged = false;
    HRESULT result = beginPresent(hwnd, sourceRect, destRect, destWindowOverride, dirtyRegion, &draw, &frameChanged,
                                  &videoChanged);
    if (result != D3D_OK || !draw) return result;
    compose(fwlayer::windowSdlHandle(hwnd), current, frameChanged, videoChanged);
    endPresent();
    return D3D_OK;
}

}  // namespace fwcpu
