// The recording Direct3D 9 subset: objects that log every call, textures with real
// memory (rows padded, so a caller that ignores the pitch shows), and every draw
// kept with its vertices.
//
// Implemented: everything declared in api/fw_d3d9.h.
// Not implemented: rasterization; more than one device.
#include <algorithm>
#include <cstring>
#include <memory>
#include <sstream>

#include "../common/com_object.h"
#include "record.h"

namespace fwrecord {

struct RecordedTexture : public fwlayer::ComObject<IDirect3DTexture9> {
    std::string name;
    UINT width = 0, height = 0;
    UINT pitch = 0;
    std::vector<uint8_t> bits;
    std::vector<uint8_t> written;   // one flag per texel, set on unlock for what was written
    std::vector<uint8_t> snapshot;  // bits at lock time, to find what changed
    bool locked = false;

    void released(ULONG left) override;
    HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override {
        record("GetLevelDesc " + name + " " + std::to_string(level));
        if (level != 0) return D3DERR_INVALIDCALL;
        std::memset(desc, 0, sizeof(*desc));
        desc->Format = D3DFMT_A8R8G8B8;
        desc->Type = D3DRTYPE_TEXTURE;
        desc->Pool = D3DPOOL_MANAGED;
        desc->Width = width;
        desc->Height = height;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE LockRect(UINT level, D3DLOCKED_RECT* lockedRect, CONST RECT* rect, DWORD flags) override {
        record("LockRect " + name + " " + std::to_string(level) + " " + (rect ? "rect" : "null") + " " +
               std::to_string(flags));
        if (level != 0 || locked) return D3DERR_INVALIDCALL;
        locked = true;
        snapshot = bits;
        lockedRect->Pitch = static_cast<INT>(pitch);
        lockedRect->pBits = bits.data();
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE UnlockRect(UINT level) override {
        record("UnlockRect " + name + " " + std::to_string(level));
        if (level != 0 || !locked) return D3DERR_INVALIDCALL;
        locked = false;
        for (UINT y = 0; y < height; ++y)
            for (UINT x = 0; x < width; ++x)
                if (std::memcmp(&bits[y * pitch + x * 4], &snapshot[y * pitch + x * 4], 4) != 0)
                    written[y * width + x] = 1;
        return D3D_OK;
    }
};

namespace {

// Fresh texture memory holds this pattern, so a texel that was copied differs from
// one that was not (unless the copied value happens to be the pattern).
const uint8_t kFreshByte = 0xCD;

std::vector<std::unique_ptr<RecordedTexture>>& textures() {
    static std::vector<std::unique_ptr<RecordedTexture>> list;
    return list;
}

std::string hex(DWORD value) {
    std::ostringstream out;
    out << "0x" << std::hex << std::uppercase << value;
    return out.str();
}

struct RecordedDevice : public fwlayer::ComObject<IDirect3DDevice9> {
    IDirect3DBaseTexture9* stage0 = nullptr;
    DWORD fvf = 0;

    void released(ULONG left) override {
        record("Release device");
        if (left == 0) --d3d().liveObjects;
    }
    HRESULT STDMETHODCALLTYPE CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared) override {
        record("CreateTexture " + std::to_string(width) + "x" + std::to_string(height) +
               " levels=" + std::to_string(levels) + " usage=" + std::to_string(usage) +
               " format=" + std::to_string(format) + " pool=" + std::to_string(pool) + (shared ? " shared" : ""));
        if (d3d().failCreateTexture || width == 0 || height == 0 || width > d3d().maxTextureSize ||
            height > d3d().maxTextureSize || format != D3DFMT_A8R8G8B8 || levels != 1)
            return D3DERR_INVALIDCALL;
        auto made = std::make_unique<RecordedTexture>();
        made->name = "tex" + std::to_string(textures().size() + 1);
        made->width = width;
        made->height = height;
        made->pitch = width * 4 + static_cast<UINT>(d3d().pitchPadding);
        made->bits.assign(static_cast<size_t>(made->pitch) * height, kFreshByte);
        made->written.assign(static_cast<size_t>(width) * height, 0);
        *texture = made.get();
        textures().push_back(std::move(made));
        ++d3d().liveObjects;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE BeginScene() override {
        record("BeginScene");
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE EndScene() override {
        record("EndScene");
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE Clear(DWORD count, CONST D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                                    DWORD stencil) override {
        std::ostringstream line;
        line << "Clear " << count << " " << (rects ? "rects" : "null") << " " << flags << " " << hex(color) << " " << z
             << " " << stencil;
        record(line.str());
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE Present(CONST RECT* source, CONST RECT* dest, HWND window,
                                      CONST RGNDATA* dirty) override {
        record(std::string("Present") + ((source || dest || window || dirty) ? " args" : ""));
        ++d3d().presents;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override {
        record("SetRenderState " + std::to_string(state) + " " + std::to_string(value));
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override {
        record("SetTexture " + std::to_string(stage) + " " + textureName(texture));
        if (stage == 0) stage0 = texture;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override {
        record("SetTextureStageState " + std::to_string(stage) + " " + std::to_string(type) + " " +
               std::to_string(value));
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override {
        record("SetSamplerState " + std::to_string(sampler) + " " + std::to_string(type) + " " + std::to_string(value));
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, CONST void* data,
                                              UINT stride) override {
        record("DrawPrimitiveUP " + std::to_string(type) + " " + std::to_string(count) + " " + std::to_string(stride) +
               " " + textureName(stage0));
        RecordedDraw draw;
        draw.texture = stage0;
        draw.fvf = fvf;
        draw.type = type;
        draw.primitiveCount = count;
        draw.stride = stride;
        UINT vertexCount = type == D3DPT_TRIANGLEFAN ? count + 2 : 0;
        for (UINT i = 0; i < vertexCount && stride >= sizeof(RecordedVertex); ++i) {
            RecordedVertex vertex;
            std::memcpy(&vertex, static_cast<const uint8_t*>(data) + i * stride, sizeof(vertex));
            draw.vertices.push_back(vertex);
        }
        d3d().draws.push_back(draw);
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetFVF(DWORD value) override {
        record("SetFVF " + hex(value));
        fvf = value;
        return D3D_OK;
    }
};

struct RecordedD3D : public fwlayer::ComObject<IDirect3D9> {
    void released(ULONG left) override {
        record("Release d3d");
        if (left == 0) --d3d().liveObjects;
    }
    HRESULT STDMETHODCALLTYPE CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD behavior,
                                           D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) override;
};

std::vector<std::unique_ptr<RecordedDevice>>& devices() {
    static std::vector<std::unique_ptr<RecordedDevice>> list;
    return list;
}

std::vector<std::unique_ptr<RecordedD3D>>& d3ds() {
    static std::vector<std::unique_ptr<RecordedD3D>> list;
    return list;
}

size_t createDeviceCalls = 0;

HRESULT RecordedD3D::CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD behavior,
                                  D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) {
    record("CreateDevice " + std::to_string(adapter) + " " + std::to_string(type) + " " + (focus ? "hwnd" : "null") +
           " " + hex(behavior));
    d3d().lastPresentParams = *params;
    size_t attempt = createDeviceCalls++;
    HRESULT result = attempt < d3d().createDeviceResults.size() ? d3d().createDeviceResults[attempt] : D3D_OK;
    if (FAILED(result)) {
        *device = nullptr;
        return result;
    }
    devices().push_back(std::make_unique<RecordedDevice>());
    *device = devices().back().get();
    ++d3d().liveObjects;
    return D3D_OK;
}

}  // namespace

void RecordedTexture::released(ULONG left) {
    record("Release " + name);
    if (left == 0) --d3d().liveObjects;
}

D3DState& d3d() {
    static D3DState state;
    return state;
}

void resetD3D() {
    d3d() = D3DState();
    textures().clear();
    devices().clear();
    d3ds().clear();
    createDeviceCalls = 0;
}

static RecordedTexture* recorded(IDirect3DTexture9* texture) { return static_cast<RecordedTexture*>(texture); }

DWORD texel(IDirect3DTexture9* texture, UINT x, UINT y) {
    RecordedTexture* t = recorded(texture);
    DWORD value;
    std::memcpy(&value, &t->bits[y * t->pitch + x * 4], 4);
    return value;
}

bool texelWritten(IDirect3DTexture9* texture, UINT x, UINT y) {
    RecordedTexture* t = recorded(texture);
    return t->written[y * t->width + x] != 0;
}

UINT textureWidth(IDirect3DTexture9* texture) { return recorded(texture)->width; }
UINT textureHeight(IDirect3DTexture9* texture) { return recorded(texture)->height; }

std::string textureName(const IDirect3DBaseTexture9* texture) {
    if (!texture) return "null";
    for (const auto& t : textures())
        if (t.get() == texture) return t->name;
    return "unknown";
}

}  // namespace fwrecord

using namespace fwrecord;

IDirect3D9* WINAPI Direct3DCreate9(UINT sdkVersion) {
    record("Direct3DCreate9 " + std::to_string(sdkVersion));
    if (sdkVersion != D3D_SDK_VERSION) return nullptr;
    d3ds().push_back(std::make_unique<RecordedD3D>());
    ++d3d().liveObjects;
    return d3ds().back().get();
}
