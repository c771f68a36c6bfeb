// The player's device description (device_setup.h).
#include "gfx/device_setup.h"

#include <cstring>

namespace {

const UINT kBackBufferWidth = 800;
const UINT kBackBufferHeight = 600;

struct RenderState {
    D3DRENDERSTATETYPE type;
    DWORD value;
};

// In the order the device receives them.
const RenderState kRenderStates[] = {
    {D3DRS_MULTISAMPLEANTIALIAS, FALSE},
    {D3DRS_DITHERENABLE, TRUE},
    {D3DRS_ALPHATESTENABLE, TRUE},
    {D3DRS_ALPHAFUNC, D3DCMP_GREATER},
    {D3DRS_ALPHAREF, 0},
    {D3DRS_ZWRITEENABLE, TRUE},
    {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
    {D3DRS_ZENABLE, D3DZB_TRUE},
    {D3DRS_CULLMODE, D3DCULL_NONE},
    {D3DRS_LIGHTING, FALSE},
    {D3DRS_ALPHABLENDENABLE, TRUE},
    {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
    {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA},
};

struct StageState {
    D3DTEXTURESTAGESTATETYPE type;
    DWORD value;
};

// Stage 0: texture times diffuse colour, alpha likewise.
const StageState kStageStates[] = {
    {D3DTSS_COLOROP, D3DTOP_MODULATE}, {D3DTSS_COLORARG1, D3DTA_DIFFUSE}, {D3DTSS_COLORARG2, D3DTA_TEXTURE},
    {D3DTSS_ALPHAOP, D3DTOP_MODULATE}, {D3DTSS_ALPHAARG1, D3DTA_DIFFUSE}, {D3DTSS_ALPHAARG2, D3DTA_TEXTURE},
};

}  // namespace

void describePlayerDevice(HWND window, D3DPRESENT_PARAMETERS* params) {
    std::memset(params, 0, sizeof(*params));
    params->BackBufferWidth = kBackBufferWidth;
    params->BackBufferHeight = kBackBufferHeight;
    params->BackBufferFormat = D3DFMT_UNKNOWN;
    params->BackBufferCount = 1;
    params->MultiSampleType = D3DMULTISAMPLE_NONE;
    params->MultiSampleQuality = 0;
    params->SwapEffect = D3DSWAPEFFECT_DISCARD;
    params->hDeviceWindow = window;
    params->Windowed = TRUE;
    params->EnableAutoDepthStencil = TRUE;
    params->AutoDepthStencilFormat = D3DFMT_D16;
    params->Flags = 0;
    params->FullScreen_RefreshRateInHz = 0;
    params->PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
}

IDirect3DDevice9* createDeviceWithFallbacks(IDirect3D9* d3d, HWND window, D3DPRESENT_PARAMETERS* params,
                                            IDirect3DDevice9** device) {
    const DWORD kBehaviours[] = {D3DCREATE_HARDWARE_VERTEXPROCESSING, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                 D3DCREATE_SOFTWARE_VERTEXPROCESSING};
    for (DWORD behaviour : kBehaviours) {
        if (d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, behaviour, params, device) == D3D_OK)
            return *device;
        *device = nullptr;
    }
    return nullptr;
}

bool setPlayerDeviceState(IDirect3DDevice9* device) {
    bool ok = true;
    for (const RenderState& state : kRenderStates) ok = device->SetRenderState(state.type, state.value) == D3D_OK && ok;
    for (const StageState& state : kStageStates)
        ok = device->SetTextureStageState(0, state.type, state.value) == D3D_OK && ok;
    ok = device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT) == D3D_OK && ok;
    ok = device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT) == D3D_OK && ok;
    return ok;
}
