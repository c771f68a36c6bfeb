// The Direct3D 9 subset drawn on the CPU into the window's own surface (SDL's
// window framebuffer: on X11 a shared-memory image), for machines where OpenGL
// would be a software rasterizer anyway: no OpenGL library is loaded and no context
// made. platform/renderers.cpp chooses it (FW_RENDERER=cpu forces it, FW_RENDERER=gl
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
//   createMemoryDevice: the same device drawing into a caller's memory instead of a
//     window (no SDL video, no X display), with the child videos of its owner.
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
// Video frames in shared memory go to the window without a copy where the X server
// can read them in place (cpu_video.cpp, cpu_xshm.cpp).
#include <SDL.h>

#include "cpu_device.h"

namespace fwcpu {

namespace {

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

CpuDevice* makeDevice(IDirect3D9* d3d, const DeviceRequest& request, const D3DPRESENT_PARAMETERS& params) {
    CpuDevice* created = new CpuDevice;
    created->attach(d3d, request, params);
    if (created->hasDepthBuffer) created->depth.assign(static_cast<size_t>(created->width) * created->height, 0xFFFF);
    created->stats.backBufferPreserved = true;
    return created;
}

}  // namespace

// --- Direct3D object ------------------------------------------------------------------

HRESULT CpuDirect3D::CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                                  D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) {
    DeviceRequest request = {};
    HRESULT check = checkCreateDevice(adapter, deviceType, focusWindow, behaviorFlags, params, device,
                                      CpuDevice::liveDevices, 0, SDL_GetWindowSize, &request);
    if (check != D3D_OK) return check;
    if (!usableSurface(request.sdlWindow)) return D3DERR_NOTAVAILABLE;

    CpuDevice* created = makeDevice(this, request, *params);
    created->sharedVideo = sharedVideoBegin(request.sdlWindow);
    return created->publish(device);
}

HRESULT createMemoryDevice(HWND owner, D3DPRESENT_PARAMETERS* params, uint32_t* pixels, int pitch,
                           IDirect3DDevice9** device) {
    if (!device) return D3DERR_INVALIDCALL;
    *device = nullptr;
    if (!params || !pixels || params->BackBufferWidth == 0 || params->BackBufferHeight == 0 ||
        params->BackBufferWidth > 16384 || params->BackBufferHeight > 16384 ||
        pitch < static_cast<int>(params->BackBufferWidth))
        return D3DERR_INVALIDCALL;
    HRESULT check = checkDeviceRequest(D3DCREATE_HARDWARE_VERTEXPROCESSING, *params);
    if (check != D3D_OK) return check;
    if (CpuDevice::liveDevices > 0) return D3DERR_NOTAVAILABLE;
    DeviceRequest request = {owner, nullptr, static_cast<int>(params->BackBufferWidth),
                             static_cast<int>(params->BackBufferHeight)};
    CpuDirect3D* d3d = new CpuDirect3D;
    CpuDevice* created = makeDevice(d3d, request, *params);
    d3d->Release();  // the device keeps it
    created->drawsInMemory = true;
    created->memoryPixels = pixels;
    created->memoryPitch = pitch;
    return created->publish(device);
}

// The fallback: drawing on the CPU needs nothing of the machine.
bool available() { return true; }

IDirect3D9* createDirect3D() { return new CpuDirect3D; }

bool deviceStatsOf(IDirect3DDevice9* device, DeviceStats* stats) { return statsOf<CpuDevice>(device, stats); }

// --- Lifetime -----------------------------------------------------------------------------

void CpuDevice::destroyIfUnused() {
    if (alive() || liveTextures > 0) return;
    sharedVideoEnd(sharedVideo);
    destroy();
}

// --- Textures -------------------------------------------------------------------------------

HRESULT CpuDevice::CreateTexture(UINT textureWidth, UINT textureHeight, UINT levels, DWORD usage, D3DFORMAT format,
                                 D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* sharedHandle) {
    CpuTexture* created = nullptr;
    HRESULT result =
        makeTexture(textureWidth, textureHeight, levels, usage, format, pool, texture, sharedHandle, 16384, &created);
    return result == D3D_OK ? adoptTexture(created, texture) : result;
}

// --- Drawing ------------------------------------------------------------------------------

// Only texel copies are drawn here (see the top): anything else is refused when it
// is made, not drawn wrongly at the Present.
HRESULT CpuDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, CONST void* vertices, UINT stride) {
    if (!boundTexture) return D3DERR_INVALIDCALL;
    HRESULT result = recordDraw(type, primitiveCount, vertices, stride, boundTexture);
    if (result != D3D_OK) return result;
    TexelCopy copy;
    if (asTexelCopy(current, current.commands.back(), boundTexture->width, boundTexture->height, &copy)) return D3D_OK;
    current.removeLast();
    return D3DERR_INVALIDCALL;
}

}  // namespace fwcpu
