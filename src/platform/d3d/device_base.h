// What the two Direct3D 9 backends (gl: OpenGL; cpu: drawing into the window's
// surface) share besides the frame record and the pipeline state: the checks of a
// device request and of a Present, the recording half of a device, a texture's CPU
// copy of its texels, and the statistics both report. Nothing here draws.
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

// CreateDevice's checks, in the order Direct3D makes them: D3D_OK with the window
// the device draws into (*device cleared), or the error to return.
HRESULT checkCreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                          const D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device, HWND* deviceWindow);

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
    bool allocate(UINT textureWidth, UINT textureHeight);   // zeroed; false when memory is short
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
    // changed when something must be drawn; an error when the call is refused.
    HRESULT beginPresent(HWND hwnd, const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                         const RGNDATA* dirtyRegion, bool* draw, bool* frameChanged, bool* videoChanged);
    // After the frame was drawn: it becomes the last one shown.
    void endPresent();
};

// SetTexture on stage 0 for a backend's texture type: the bound texture is referenced
// while bound, as Direct3D does; one of another device is refused.
template <typename Texture, typename Device>
HRESULT bindTexture(Device* device, Texture*& bound, DWORD stage, IDirect3DBaseTexture9* texture) {
    if (stage != 0) return D3DERR_INVALIDCALL;
    Texture* wanted = nullptr;
    if (texture) {
        wanted = dynamic_cast<Texture*>(texture);
        if (!wanted || wanted->device != device) return D3DERR_INVALIDCALL;
    }
    if (wanted == bound) return D3D_OK;
    if (wanted) wanted->AddRef();
    Texture* previous = bound;
    bound = wanted;
    if (previous) previous->Release();
    return D3D_OK;
}

// The device face both backends share: the calls that only record, the bound
// texture, and the program's last Release (the device goes once its textures have).
// Device is the backend's device (it defines destroyIfUnused), Texture its texture.
template <typename Device, typename Texture>
struct RecordingDevice : public fwlayer::ComObject<IDirect3DDevice9>, public SceneRecorder {
    int liveTextures = 0;   // textures not yet destroyed: each keeps the device
    HWND hwnd = nullptr;
    int width = 0, height = 0;
    Texture* boundTexture = nullptr;   // referenced while bound, as Direct3D does
    std::vector<Texture*> textures;
    uint64_t nextTextureId = 1;

    bool alive() const { return references() > 0; }
    void released(ULONG left) override {
        if (left > 0) return;
        // Nothing draws or repaints any more.
        fwlayer::windowSetRepaintHandler(hwnd, nullptr, nullptr);
        if (boundTexture) {
            // The unbound texture may be the last one: keep this object until it is gone.
            ++liveTextures;
            Texture* texture = boundTexture;
            boundTexture = nullptr;
            texture->Release();
            --liveTextures;
        }
        static_cast<Device*>(this)->destroyIfUnused();
    }
    HRESULT STDMETHODCALLTYPE BeginScene() override { return beginScene(); }
    HRESULT STDMETHODCALLTYPE EndScene() override { return endScene(); }
    HRESULT STDMETHODCALLTYPE Clear(DWORD count, CONST D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                                    DWORD) override {
        return recordClear(count, rects, flags, color, z);
    }
    HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE type, DWORD value) override {
        return setRenderState(state, type, value);
    }
    HRESULT STDMETHODCALLTYPE SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override {
        return bindTexture(static_cast<Device*>(this), boundTexture, stage, texture);
    }
    HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                                   DWORD value) override {
        return setTextureStageState(state, stage, type, value);
    }
    HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override {
        return setSamplerState(state, sampler, type, value);
    }
    HRESULT STDMETHODCALLTYPE SetFVF(DWORD fvf) override { return setFvf(fvf); }
};

}  // namespace fwd3d
