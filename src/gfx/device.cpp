// The Direct3D 9 device and the fixed pipeline state all drawing relies on.
#include <cstring>

#include "gfx/gfx.h"

namespace {

const UINT kBackBufferWidth = 800;
const UINT kBackBufferHeight = 600;

}  // namespace

int32_t createPlayerDevice(HWND hwnd, IDirect3D9*& d3d, IDirect3DDevice9*& device,
                           D3DPRESENT_PARAMETERS& presentParams) {
    d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!d3d) return 0;

    std::memset(&presentParams, 0, sizeof(presentParams));
    presentParams.BackBufferWidth = kBackBufferWidth;
    presentParams.BackBufferHeight = kBackBufferHeight;
    presentParams.BackBufferFormat = D3DFMT_UNKNOWN;
    presentParams.BackBufferCount = 1;
    presentParams.MultiSampleType = D3DMULTISAMPLE_NONE;
    presentParams.MultiSampleQuality = 0;
    presentParams.SwapEffect = D3DSWAPEFFECT_DISCARD;
    presentParams.hDeviceWindow = hwnd;
    presentParams.Windowed = TRUE;
    presentParams.EnableAutoDepthStencil = TRUE;
    presentParams.AutoDepthStencilFormat = D3DFMT_D16;
    presentParams.Flags = 0;
    presentParams.FullScreen_RefreshRateInHz = 0;
    presentParams.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;

    // Hardware vertex processing first, then software, and software once more.
    const DWORD kBehaviours[] = {D3DCREATE_HARDWARE_VERTEXPROCESSING, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                 D3DCREATE_SOFTWARE_VERTEXPROCESSING};
    bool bCreated = false;
    for (DWORD Behaviour : kBehaviours) {
        if (d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, hwnd, Behaviour, &presentParams, &device) ==
            D3D_OK) {
            bCreated = true;
            break;
        }
        device = nullptr;
    }
    if (!bCreated) return 0;

    device->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, FALSE);
    device->SetRenderState(D3DRS_DITHERENABLE, TRUE);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    device->SetRenderState(D3DRS_ALPHAREF, 0);
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);

    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TEXTURE);

    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    return 1;
}
