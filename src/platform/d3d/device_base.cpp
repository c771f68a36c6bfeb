// The device request checks, the recording half of a device and a texture's texels
// (see device_base.h).
//
// Implements: checkDeviceRequest, checkCreateDevice, placedRect, TexelStore, SceneRecorder.
// Does not: draw, or know a backend.
#include "device_base.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>

namespace fwd3d {

HRESULT checkDeviceRequest(DWORD behaviorFlags, const D3DPRESENT_PARAMETERS& params) {
    // Exactly one kind of vertex processing, and nothing else: both kinds are the
    // same here, since vertices arrive transformed.
    DWORD processing = behaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING);
    if (behaviorFlags != processing ||
        (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING && processing != D3DCREATE_HARDWARE_VERTEXPROCESSING))
        return D3DERR_INVALIDCALL;
    if (!params.Windowed) return D3DERR_NOTAVAILABLE;
    if (params.BackBufferFormat != D3DFMT_UNKNOWN && params.BackBufferFormat != D3DFMT_X8R8G8B8 &&
        params.BackBufferFormat != D3DFMT_A8R8G8B8)
        return D3DERR_NOTAVAILABLE;
    if (params.BackBufferCount > 1 || params.MultiSampleType != D3DMULTISAMPLE_NONE || params.MultiSampleQuality != 0 ||
        params.Flags != 0 || params.FullScreen_RefreshRateInHz != 0)
        return D3DERR_INVALIDCALL;
    if (params.SwapEffect < D3DSWAPEFFECT_DISCARD || params.SwapEffect > D3DSWAPEFFECT_COPY) return D3DERR_INVALIDCALL;
    if (params.EnableAutoDepthStencil && params.AutoDepthStencilFormat != D3DFMT_D16) return D3DERR_NOTAVAILABLE;
    if (params.PresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE &&
        params.PresentationInterval != D3DPRESENT_INTERVAL_DEFAULT)
        return D3DERR_INVALIDCALL;
    return D3D_OK;
}

HRESULT checkCreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                          const D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device, int liveDevices,
                          uint32_t windowFlags, DrawableSizeFn drawableSize, DeviceRequest* request) {
    if (!device) return D3DERR_INVALIDCALL;
    *device = nullptr;
    if (!params || adapter != D3DADAPTER_DEFAULT) return D3DERR_INVALIDCALL;
    if (deviceType != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    HRESULT check = checkDeviceRequest(behaviorFlags, *params);
    if (check != D3D_OK) return check;
    request->window = params->hDeviceWindow ? params->hDeviceWindow : focusWindow;
    request->sdlWindow = request->window ? fwlayer::windowSdlHandle(request->window) : nullptr;
    if (!request->sdlWindow) return D3DERR_INVALIDCALL;
    if (liveDevices > 0) return D3DERR_NOTAVAILABLE;
    if ((SDL_GetWindowFlags(request->sdlWindow) & windowFlags) != windowFlags) return D3DERR_NOTAVAILABLE;
    int drawableWidth = 0, drawableHeight = 0;
    drawableSize(request->sdlWindow, &drawableWidth, &drawableHeight);
    request->width = params->BackBufferWidth ? static_cast<int>(params->BackBufferWidth) : drawableWidth;
    request->height = params->BackBufferHeight ? static_cast<int>(params->BackBufferHeight) : drawableHeight;
    const int kLargest = 16384;
    if (request->width <= 0 || request->height <= 0 || request->width > kLargest || request->height > kLargest)
        return D3DERR_INVALIDCALL;
    return D3D_OK;
}

PixelRect placedRect(const fwlayer::ClientPlacement& placement, int width, int height, const PixelRect& rect) {
    const fwlayer::ClientPlacement& p = placement;
    return {fwlayer::windowOf(rect.left, width, p.left, p.width), fwlayer::windowOf(rect.top, height, p.top, p.height),
            fwlayer::windowOf(rect.right, width, p.left, p.width),
            fwlayer::windowOf(rect.bottom, height, p.top, p.height)};
}

// --- Texels ------------------------------------------------------------------------------

TexelStore::~TexelStore() { std::free(bits); }

bool TexelStore::allocate(UINT textureWidth, UINT textureHeight) {
    bits = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(textureWidth) * textureHeight, 4));
    width = textureWidth;
    height = textureHeight;
    return bits != nullptr;
}

HRESULT TexelStore::describe(UINT level, D3DSURFACE_DESC* desc) const {
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

HRESULT TexelStore::lock(UINT level, D3DLOCKED_RECT* lockedRectOut, const RECT* rect, DWORD flags) {
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

HRESULT TexelStore::unlock(UINT level, bool* written) {
    *written = false;
    if (level != 0 || !locked) return D3DERR_INVALIDCALL;
    locked = false;
    if (lockFlags & D3DLOCK_READONLY) return D3D_OK;
    ++version;
    *written = true;
    return D3D_OK;
}

bool TexelStore::opaque(const PixelRect& texels) {
    for (const OpaqueAnswer& answer : opaqueAnswers)
        if (answer.version == version && answer.texels == texels) return answer.opaque;
    bool allOpaque = true;
    for (int y = texels.top; y < texels.bottom && allOpaque; ++y) {
        const uint8_t* line = bits + static_cast<size_t>(y) * width * 4;
        for (int x = texels.left; x < texels.right; ++x)
            if (line[x * 4 + 3] != 0xFF) {
                allOpaque = false;
                break;
            }
    }
    opaqueAnswers[nextOpaqueAnswer] = {version, texels, allOpaque};
    nextOpaqueAnswer = (nextOpaqueAnswer + 1) % kOpaqueAnswers;
    return allOpaque;
}

// --- Recording ---------------------------------------------------------------------------

HRESULT SceneRecorder::beginScene() {
    if (inScene) return D3DERR_INVALIDCALL;
    inScene = true;
    return D3D_OK;
}

HRESULT SceneRecorder::endScene() {
    if (!inScene) return D3DERR_INVALIDCALL;
    inScene = false;
    return D3D_OK;
}

HRESULT SceneRecorder::setFvf(DWORD fvf) {
    if (fvf != kScreenVertexFvf) return D3DERR_INVALIDCALL;
    state.fvf = fvf;
    return D3D_OK;
}

HRESULT SceneRecorder::recordClear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z) {
    if ((count > 0 && !rects) || count > 4096) return D3DERR_INVALIDCALL;
    // No stencil buffer; a depth clear needs a depth buffer.
    if (flags == 0 || (flags & ~static_cast<DWORD>(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER)) != 0) return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_ZBUFFER) && !hasDepthBuffer) return D3DERR_INVALIDCALL;
    if (!(z >= 0.0f && z <= 1.0f)) return D3DERR_INVALIDCALL;
    current.addClear(count, rects, flags, color, z);
    return D3D_OK;
}

HRESULT SceneRecorder::recordDraw(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices, UINT stride,
                                  const TexelStore* texture) {
    if (!inScene || !vertices || state.fvf != kScreenVertexFvf || stride != kScreenVertexStride)
        return D3DERR_INVALIDCALL;
    UINT vertexCount = vertexCountFor(type, primitiveCount);
    if (vertexCount == 0 || vertexCount > 65536) return D3DERR_INVALIDCALL;
    current.addDraw(state, texture ? texture->id : 0, texture ? texture->version : 0, type, primitiveCount, vertices,
                    vertexCount, stride);
    return D3D_OK;
}

HRESULT SceneRecorder::beginPresent(HWND hwnd, const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                                    const RGNDATA* dirtyRegion, bool* draw, bool* frameChanged, bool* videoChanged) {
    *draw = false;
    if (sourceRect || destRect || destWindowOverride || dirtyRegion || inScene) return D3DERR_INVALIDCALL;
    if (!drawsInMemory && !fwlayer::windowSdlHandle(hwnd)) {
        current.reset();
        return D3DERR_DEVICELOST;
    }
    uint64_t generation = fwlayer::childVideoGeneration(hwnd);
    *frameChanged = !lastValid || !sameFrame(current, last);
    *videoChanged = !lastValid || generation != lastVideoGeneration;
    if (!*frameChanged && !*videoChanged) {
        ++stats.framesSkipped;
        current.reset();
        return D3D_OK;
    }
    lastVideoGeneration = generation;
    *draw = true;
    return D3D_OK;
}

void SceneRecorder::endPresent() {
    std::swap(current, last);
    lastValid = true;
    current.reset();
}

PixelRect SceneRecorder::redrawArea(const FrameRecord& frame, bool frameChanged, bool pictureKept,
                                    const PixelRect& whole) const {
    PixelRect redraw = {0, 0, 0, 0};
    if (!frameChanged && pictureKept) return redraw;
    if (!pictureKept || !frameDamage(last, frame, whole.right, whole.bottom, &redraw)) return whole;
    return intersection(redraw, whole);
}

void SceneRecorder::countRedraw(const PixelRect& redraw, const PixelRect& whole) {
    if (redraw.empty()) {
        ++stats.videoOnlyUpdates;
        return;
    }
    ++stats.framesDrawn;
    if (!(redraw == whole)) ++stats.partialRedraws;
}

}  // namespace fwd3d
