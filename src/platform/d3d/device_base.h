// What the two Direct3D 9 backends (gl: OpenGL; cpu: drawing into the window's
// surface) share besides the frame record and the pipeline state: the checks of a
// device request and of a Present, the recording half of a device and a texture's
// CPU copy of its texels (recording_device.h puts them together into the COM
// objects both backends derive from). Nothing here draws.
//
// Implemented: everything the devices take between two Presents (states, FVF,
//   SetTexture on stage 0, BeginScene, EndScene, Clear, DrawPrimitiveUP) goes into a
//   FrameRecord; a texture's GetLevelDesc, LockRect and UnlockRect of level 0 (flags
//   0, D3DLOCK_READONLY, D3DLOCK_DISCARD) on one A8R8G8B8 level in system memory, and
//   whether a texel rectangle is opaque (from a small cache per content version).
// Not implemented (D3DERR_INVALIDCALL): other levels, nested locks; the limits of
//   each call are listed where the backends define them (gl_device.cpp, cpu_device.cpp).
#pragma once

#include <cstdint>
#include <vector>

#include "../common/com_object.h"
#include "../common/layer.h"
#include "device_stats.h"
#include "frame.h"
#include "pipeline_state.h"

namespace fwd3d {

const DWORD kScreenVertexFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
const UINT kScreenVertexStride = 28;

// What a backend can make of the presentation parameters and behaviour flags.
HRESULT checkDeviceRequest(DWORD behaviorFlags, const D3DPRESENT_PARAMETERS& params);

// What CreateDevice makes a device for: its window and back buffer.
struct DeviceRequest {
    HWND window;
    SDL_Window* sdlWindow;
    int width, height;
};
typedef void (*DrawableSizeFn)(SDL_Window* window, int* width, int* height);

// CreateDevice's checks, in the order Direct3D makes them: D3D_OK with the request
// (*device cleared), or the error to return. A backend has one device at a time
// (liveDevices, its own count: a window has one drawable), on a window with all of
// windowFlags (SDL's); the back buffer is the drawable's size unless params give one.
HRESULT checkCreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                          const D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device, int liveDevices,
                          uint32_t windowFlags, DrawableSizeFn drawableSize, DeviceRequest* request);

// Rect (pixels of a width x height back buffer) where placement shows it on the
// window: the window pixels whose centres fall in it.
PixelRect placedRect(const fwlayer::ClientPlacement& placement, int width, int height, const PixelRect& rect);

// One level of A8R8G8B8 texels in memory, width * 4 bytes a row, with the identity
// and content version a frame record names it by.
struct TexelStore {
    uint64_t id = 0;
    uint64_t version = 1;
    UINT width = 0;
    UINT height = 0;
    uint8_t* bits = nullptr;
    bool locked = false;
    RECT lockedRect = {};
    DWORD lockFlags = 0;
    // Which texel rectangles were found opaque, for the content version then: room
    // for every picture of a screen, so switching screens asks again of none.
    static constexpr int kOpaqueAnswers = 32;
    struct OpaqueAnswer {
        uint64_t version;
        PixelRect texels;
        bool opaque;
    };
    OpaqueAnswer opaqueAnswers[kOpaqueAnswers] = {};
    int nextOpaqueAnswer = 0;

    ~TexelStore();
    bool allocate(UINT textureWidth, UINT textureHeight);  // zeroed; false when memory is short
    HRESULT describe(UINT level, D3DSURFACE_DESC* desc) const;
    HRESULT lock(UINT level, D3DLOCKED_RECT* lockedRectOut, const RECT* rect, DWORD flags);
    // *written: the texels of lockedRect may have changed (a new version).
    HRESULT unlock(UINT level, bool* written);
    bool opaque(const PixelRect& texels);
    const uint32_t* row(int y) const {
        return reinterpret_cast<const uint32_t*>(bits) + static_cast<size_t>(y) * width;
    }
};

// The recording half of a device: the state set, the frame being recorded and the
// last one shown. Texture is the backend's texture type (a TexelStore).
struct SceneRecorder {
    PipelineState state = {};
    bool hasDepthBuffer = false;
    bool drawsInMemory = false;  // its pictures go to memory: Present needs no window
    bool inScene = false;
    FrameRecord current;
    FrameRecord last;
    bool lastValid = false;
    uint64_t lastVideoGeneration = 0;
    DeviceStats stats = {};

    HRESULT beginScene();
    HRESULT endScene();
    HRESULT setFvf(DWORD fvf);
    HRESULT recordClear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z);
    HRESULT recordDraw(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices, UINT stride,
                       const TexelStore* texture);
    // Present's checks and its first step: D3D_OK with *draw false when the frame
    // and the videos are as last shown (the frame is skipped), *draw true with what
    // changed when something must be drawn; an error when the call is refused (the
    // window is gone, unless the device draws in memory).
    HRESULT beginPresent(HWND hwnd, const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                         const RGNDATA* dirtyRegion, bool* draw, bool* frameChanged, bool* videoChanged);
    // After the frame was drawn: it becomes the last one shown.
    void endPresent();
    // Where frame must be drawn within whole (the back buffer's pixels at its top left
    // that can be drawn now): nowhere when only videos changed over a kept picture;
    // where it differs from the last frame when the picture is kept and that can be
    // bounded; else all of whole.
    PixelRect redrawArea(const FrameRecord& frame, bool frameChanged, bool pictureKept, const PixelRect& whole) const;
    // Counts a picture drawn into redraw (of whole), or an update of the videos alone.
    void countRedraw(const PixelRect& redraw, const PixelRect& whole);
};

}  // namespace fwd3d
