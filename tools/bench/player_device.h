// The device the player makes: windowed, 800 x 600, 16-bit depth, with the
// player's fixed pipeline state. Shared by the gl layer's probe and benchmark, so
// both exercise exactly the state the player runs with.
#pragma once

#include <cstring>

#include "platform/platform.h"

inline bool createPlayerDevice(HWND window, IDirect3D9** d3d, IDirect3DDevice9** device) {
    *d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!*d3d) return false;
    D3DPRESENT_PARAMETERS params;
    std::memset(&params, 0, sizeof params);
    params.BackBufferWidth = 800;
    params.BackBufferHeight = 600;
    params.BackBufferFormat = D3DFMT_UNKNOWN;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.hDeviceWindow = window;
    params.Windowed = TRUE;
    params.EnableAutoDepthStencil = TRUE;
    params.AutoDepthStencilFormat = D3DFMT_D16;
    params.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    if ((*d3d)->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                             &params, device) != D3D_OK)
        return false;
    struct RenderState {
        D3DRENDERSTATETYPE type;
        DWORD value;
    };
    const RenderState renderStates[] = {
        {D3DRS_MULTISAMPLEANTIALIAS, FALSE}, {D3DRS_DITHERENABLE, TRUE},      {D3DRS_ALPHATESTENABLE, TRUE},
        {D3DRS_ALPHAFUNC, D3DCMP_GREATER},   {D3DRS_ALPHAREF, 0},             {D3DRS_ZWRITEENABLE, TRUE},
        {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},     {D3DRS_ZENABLE, D3DZB_TRUE},     {D3DRS_CULLMODE, D3DCULL_NONE},
        {D3DRS_LIGHTING, FALSE},             {D3DRS_ALPHABLENDENABLE, TRUE},  {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
        {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA},
    };
    bool ok = true;
    for (const RenderState& state : renderStates) ok = ok && (*device)->SetRenderState(state.type, state.value) == D3D_OK;
    ok = ok && (*device)->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE) == D3D_OK;
    ok = ok && (*device)->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE) == D3D_OK;
    ok = ok && (*device)->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TEXTURE) == D3D_OK;
    ok = ok && (*device)->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE) == D3D_OK;
    ok = ok && (*device)->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE) == D3D_OK;
    ok = ok && (*device)->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TEXTURE) == D3D_OK;
    ok = ok && (*device)->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT) == D3D_OK;
    ok = ok && (*device)->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT) == D3D_OK;
    return ok;
}
