// The COM objects both Direct3D 9 backends derive theirs from: the device's
// recording calls, its creation and destruction, its texture list and Present; the
// texture's level description, locks and lifetime. What differs is the backend's:
// each device type (Device) defines
//   destroyIfUnused()          let go of its own resources, then destroy()
//   textureGone(Texture*)      a texture of its list is going
//   readyToDraw()              false: Present fails with D3DERR_DEVICELOST
//   compose(window, frame, frameChanged, videoChanged)   draw and show a picture
//   onRepaint(user)            the window side's repaint handler
// and each texture type may override texelsWritten (after an unlock that wrote).
//
// Implemented: SetTexture on stage 0 (the bound texture referenced while bound, one
//   of another device refused), the program's last Release (the device goes once
//   its textures have), one device of a backend at a time, CreateTexture's checks
//   and texels, Present's checks and frame skipping, AddRef and Release as Direct3D
//   counts them (a texture keeps its device, the device its IDirect3D9).
// Not implemented: see device_base.h and each backend's device file.
#pragma once

#include <vector>

#include "../common/com_object.h"
#include "../common/layer.h"
#include "device_base.h"
#include "device_stats.h"

namespace fwd3d {

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

// A texture: its texels (TexelStore) and its device, told when it goes.
template <typename Device, typename Texture>
struct RecordedTexture : public fwlayer::ComObject<IDirect3DTexture9>, public TexelStore {
    Device* device = nullptr;  // null until the device adopts it

    HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override { return describe(level, desc); }
    HRESULT STDMETHODCALLTYPE LockRect(UINT level, D3DLOCKED_RECT* lockedRect, CONST RECT* rect, DWORD flags) override {
        return lock(level, lockedRect, rect, flags);
    }
    HRESULT STDMETHODCALLTYPE UnlockRect(UINT level) override {
        bool written = false;
        HRESULT result = unlock(level, &written);
        if (written) texelsWritten();
        return result;
    }
    // After an unlock that may have changed lockedRect's texels.
    virtual void texelsWritten() {}
    void released(ULONG left) override {
        if (left > 0) return;
        if (device) device->textureDestroyed(static_cast<Texture*>(this));
        delete this;
    }
};

// The device face both backends share. Device is the backend's device, Texture its
// texture (a RecordedTexture).
template <typename Device, typename Texture>
struct RecordingDevice : public fwlayer::ComObject<IDirect3DDevice9>, public SceneRecorder {
    static inline int liveDevices = 0;  // of this backend
    IDirect3D9* owner = nullptr;        // referenced while the device lives
    int liveTextures = 0;               // textures not yet destroyed: each keeps the device
    HWND hwnd = nullptr;
    int width = 0, height = 0;
    Texture* boundTexture = nullptr;  // referenced while bound, as Direct3D does
    std::vector<Texture*> textures;
    uint64_t nextTextureId = 1;

    // Where the back buffer lies on the window (layer.h, ClientPlacement); enlarged
    // when that is not 1:1 at the window's top left.
    fwlayer::ClientPlacement placement = {0, 0, 0, 0, 0, 0};
    bool enlarged = false;

    Device* self() { return static_cast<Device*>(this); }
    bool alive() const { return references() > 0; }

    // Reads the placement now; true when it differs from the one read before.
    bool takePlacement() {
        fwlayer::ClientPlacement now = fwlayer::windowClientPlacement(hwnd);
        bool nowEnlarged = now.width > 0 && !now.identity();
        bool changed = nowEnlarged != enlarged || now.left != placement.left || now.top != placement.top ||
                       now.width != placement.width || now.height != placement.height;
        placement = now;
        enlarged = nowEnlarged;
        return changed;
    }
    // Back-buffer pixels as the window's pixels that show them.
    PixelRect placed(const PixelRect& rect) const {
        return enlarged ? placedRect(placement, width, height, rect) : rect;
    }

    // --- Creation and destruction ---------------------------------------------------------
    // The first step of CreateDevice once checkCreateDevice passed: the device counts.
    void attach(IDirect3D9* d3d, const DeviceRequest& request, const D3DPRESENT_PARAMETERS& params) {
        owner = d3d;
        owner->AddRef();
        hwnd = request.window;
        width = request.width;
        height = request.height;
        hasDepthBuffer = params.EnableAutoDepthStencil != FALSE;
        state = defaultPipelineState(hasDepthBuffer);
        ++liveDevices;
    }
    // The last step: the window side may repaint through it, the caller has it.
    HRESULT publish(IDirect3DDevice9** device) {
        fwlayer::windowSetRepaintHandler(hwnd, &Device::onRepaint, self());
        *device = self();
        return D3D_OK;
    }
    // After the backend let go of its own resources.
    void destroy() {
        --liveDevices;
        IDirect3D9* d3d = owner;
        delete self();
        d3d->Release();
    }
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
        self()->destroyIfUnused();
    }

    // --- Textures -------------------------------------------------------------------------
    // CreateTexture's checks and a texture's texels, not yet the device's: D3D_OK with
    // *made (to adopt, or Release), or the error to return.
    HRESULT makeTexture(UINT textureWidth, UINT textureHeight, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                        IDirect3DTexture9** texture, HANDLE* sharedHandle, int maxTextureSize, Texture** made) {
        if (!texture) return D3DERR_INVALIDCALL;
        *texture = nullptr;
        HRESULT check =
            checkTextureRequest(textureWidth, textureHeight, levels, usage, format, pool, sharedHandle, maxTextureSize);
        if (check != D3D_OK) return check;
        *made = new Texture;
        if ((*made)->allocate(textureWidth, textureHeight)) return D3D_OK;
        (*made)->Release();
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    HRESULT adoptTexture(Texture* made, IDirect3DTexture9** texture) {
        made->device = self();
        made->id = nextTextureId++;
        textures.push_back(made);
        ++liveTextures;
        *texture = made;
        return D3D_OK;
    }
    Texture* findTexture(uint64_t id) const {
        for (Texture* texture : textures)
            if (texture->id == id) return texture;
        return nullptr;
    }
    void textureDestroyed(Texture* texture) {
        for (size_t i = 0; i < textures.size(); ++i)
            if (textures[i] == texture) {
                textures.erase(textures.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        self()->textureGone(texture);
        --liveTextures;
        self()->destroyIfUnused();
    }

    // --- Calls --------------------------------------------------------------------------
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
        return bindTexture(self(), boundTexture, stage, texture);
    }
    HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override {
        return setTextureStageState(state, stage, type, value);
    }
    HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override {
        return setSamplerState(state, sampler, type, value);
    }
    HRESULT STDMETHODCALLTYPE SetFVF(DWORD fvf) override { return setFvf(fvf); }
    // The frame recorded since the last one, drawn and shown unless it is the same.
    HRESULT STDMETHODCALLTYPE Present(CONST RECT* sourceRect, CONST RECT* destRect, HWND destWindowOverride,
                                      CONST RGNDATA* dirtyRegion) override {
        bool draw = false, frameChanged = false, videoChanged = false;
        HRESULT result = beginPresent(hwnd, sourceRect, destRect, destWindowOverride, dirtyRegion, &draw, &frameChanged,
                                      &videoChanged);
        if (result != D3D_OK || !draw) return result;
        if (!self()->readyToDraw()) {
            current.reset();
            return D3DERR_DEVICELOST;
        }
        self()->compose(fwlayer::windowSdlHandle(hwnd), current, frameChanged, videoChanged);
        endPresent();
        return D3D_OK;
    }
};

// A backend's deviceStatsOf: false when device is not a Device.
template <typename Device>
bool statsOf(IDirect3DDevice9* device, DeviceStats* stats) {
    Device* ours = dynamic_cast<Device*>(device);
    if (!ours || !stats) return false;
    *stats = ours->stats;
    return true;
}

}  // namespace fwd3d
