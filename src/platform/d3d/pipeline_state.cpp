// Checking the Direct3D 9 pipeline state (see pipeline_state.h for what is and is
// not supported).
//
// Implements: the setters and checkTextureRequest of pipeline_state.h.
#include "pipeline_state.h"

namespace fwd3d {

namespace {

bool isBool(DWORD value) { return value == FALSE || value == TRUE; }
bool isCompare(DWORD value) { return value >= D3DCMP_NEVER && value <= D3DCMP_ALWAYS; }
bool isBlend(DWORD value) { return value >= D3DBLEND_ZERO && value <= D3DBLEND_INVSRCALPHA; }
bool isArgument(DWORD value) { return value == D3DTA_DIFFUSE || value == D3DTA_CURRENT || value == D3DTA_TEXTURE; }
bool isFilter(DWORD value) { return value == D3DTEXF_POINT || value == D3DTEXF_LINEAR; }

HRESULT store(DWORD& field, DWORD value, bool valid) {
    if (!valid) return D3DERR_INVALIDCALL;
    field = value;
    return D3D_OK;
}

}  // namespace

PipelineState defaultPipelineState(bool hasDepthBuffer) {
    PipelineState state = {};
    state.zEnable = hasDepthBuffer ? D3DZB_TRUE : D3DZB_FALSE;
    state.zWriteEnable = TRUE;
    state.zFunc = D3DCMP_LESSEQUAL;
    state.alphaTestEnable = FALSE;
    state.alphaFunc = D3DCMP_ALWAYS;
    state.alphaRef = 0;
    state.alphaBlendEnable = FALSE;
    state.srcBlend = D3DBLEND_ONE;
    state.destBlend = D3DBLEND_ZERO;
    state.cullMode = D3DCULL_CCW;
    state.lighting = TRUE;
    state.ditherEnable = FALSE;
    state.multisampleAntialias = TRUE;
    state.colorOp = D3DTOP_MODULATE;
    state.colorArg1 = D3DTA_TEXTURE;
    state.colorArg2 = D3DTA_CURRENT;
    state.alphaOp = D3DTOP_SELECTARG1;
    state.alphaArg1 = D3DTA_TEXTURE;
    state.alphaArg2 = D3DTA_CURRENT;
    state.minFilter = D3DTEXF_POINT;
    state.magFilter = D3DTEXF_POINT;
    state.fvf = 0;
    return state;
}

HRESULT setRenderState(PipelineState& state, DWORD type, DWORD value) {
    switch (type) {
    case D3DRS_ZENABLE: return store(state.zEnable, value, value == D3DZB_FALSE || value == D3DZB_TRUE);
    case D3DRS_ZWRITEENABLE: return store(state.zWriteEnable, value, isBool(value));
    case D3DRS_ZFUNC: return store(state.zFunc, value, isCompare(value));
    case D3DRS_ALPHATESTENABLE: return store(state.alphaTestEnable, value, isBool(value));
    case D3DRS_ALPHAFUNC: return store(state.alphaFunc, value, isCompare(value));
    case D3DRS_ALPHAREF: return store(state.alphaRef, value, value <= 0xFF);
    case D3DRS_ALPHABLENDENABLE: return store(state.alphaBlendEnable, value, isBool(value));
    case D3DRS_SRCBLEND: return store(state.srcBlend, value, isBlend(value));
    case D3DRS_DESTBLEND: return store(state.destBlend, value, isBlend(value));
    case D3DRS_CULLMODE: return store(state.cullMode, value, value >= D3DCULL_NONE && value <= D3DCULL_CCW);
    case D3DRS_LIGHTING: return store(state.lighting, value, isBool(value));
    case D3DRS_DITHERENABLE: return store(state.ditherEnable, value, isBool(value));
    case D3DRS_MULTISAMPLEANTIALIAS: return store(state.multisampleAntialias, value, isBool(value));
    default: return D3DERR_INVALIDCALL;
    }
}

HRESULT setTextureStageState(PipelineState& state, DWORD stage, DWORD type, DWORD value) {
    if (stage != 0) return D3DERR_INVALIDCALL;
    switch (type) {
    case D3DTSS_COLOROP: return store(state.colorOp, value, value >= D3DTOP_DISABLE && value <= D3DTOP_MODULATE);
    case D3DTSS_COLORARG1: return store(state.colorArg1, value, isArgument(value));
    case D3DTSS_COLORARG2: return store(state.colorArg2, value, isArgument(value));
    // Disabling alpha alone while colour stays on is not a valid Direct3D setup.
    case D3DTSS_ALPHAOP: return store(state.alphaOp, value, value >= D3DTOP_SELECTARG1 && value <= D3DTOP_MODULATE);
    case D3DTSS_ALPHAARG1: return store(state.alphaArg1, value, isArgument(value));
    case D3DTSS_ALPHAARG2: return store(state.alphaArg2, value, isArgument(value));
    default: return D3DERR_INVALIDCALL;
    }
}

HRESULT setSamplerState(PipelineState& state, DWORD sampler, DWORD type, DWORD value) {
    if (sampler != 0) return D3DERR_INVALIDCALL;
    switch (type) {
    case D3DSAMP_MINFILTER: return store(state.minFilter, value, isFilter(value));
    case D3DSAMP_MAGFILTER: return store(state.magFilter, value, isFilter(value));
    default: return D3DERR_INVALIDCALL;
    }
}

bool compareHolds(DWORD func, double value, double reference) {
    switch (func) {
    case D3DCMP_NEVER: return false;
    case D3DCMP_LESS: return value < reference;
    case D3DCMP_EQUAL: return value == reference;
    case D3DCMP_LESSEQUAL: return value <= reference;
    case D3DCMP_GREATER: return value > reference;
    case D3DCMP_NOTEQUAL: return value != reference;
    case D3DCMP_GREATEREQUAL: return value >= reference;
    default: return true;
    }
}

namespace {

// The stage's result for one channel is the texture's when the diffuse is white.
bool passesTexture(DWORD op, DWORD arg1, DWORD arg2) {
    switch (op) {
    case D3DTOP_SELECTARG1: return arg1 == D3DTA_TEXTURE;
    case D3DTOP_SELECTARG2: return arg2 == D3DTA_TEXTURE;
    case D3DTOP_MODULATE: return (arg1 == D3DTA_TEXTURE) != (arg2 == D3DTA_TEXTURE);
    default: return false;
    }
}

}  // namespace

TexelCopyUse texelCopyUse(const PipelineState& state, DWORD diffuse) {
    if (diffuse != 0xFFFFFFFFu) return TexelCopyUse::NotACopy;
    if (!passesTexture(state.colorOp, state.colorArg1, state.colorArg2) ||
        !passesTexture(state.alphaOp, state.alphaArg1, state.alphaArg2))
        return TexelCopyUse::NotACopy;
    if (state.minFilter != D3DTEXF_POINT || state.magFilter != D3DTEXF_POINT) return TexelCopyUse::NotACopy;
    // The quad is clockwise on screen: only clockwise culling would drop it.
    if (state.cullMode == D3DCULL_CW) return TexelCopyUse::NotACopy;
    bool needsOpaque = false;
    if (state.alphaBlendEnable) {
        bool replaces = state.srcBlend == D3DBLEND_ONE && state.destBlend == D3DBLEND_ZERO;
        bool overByAlpha = state.srcBlend == D3DBLEND_SRCALPHA && state.destBlend == D3DBLEND_INVSRCALPHA;
        if (!replaces && !overByAlpha) return TexelCopyUse::NotACopy;
        needsOpaque = overByAlpha;
    }
    if (state.alphaTestEnable && state.alphaFunc != D3DCMP_ALWAYS) {
        if (!compareHolds(state.alphaFunc, 255.0, static_cast<double>(state.alphaRef))) return TexelCopyUse::NotACopy;
        needsOpaque = true;
    }
    return needsOpaque ? TexelCopyUse::CopyIfOpaque : TexelCopyUse::PlainCopy;
}

HRESULT checkTextureRequest(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                            const HANDLE* sharedHandle, int maxTextureSize) {
    if (width == 0 || height == 0) return D3DERR_INVALIDCALL;
    if (maxTextureSize <= 0 || width > static_cast<UINT>(maxTextureSize) || height > static_cast<UINT>(maxTextureSize))
        return D3DERR_INVALIDCALL;
    // One level only: a full mip chain (0) or several levels are not made.
    if (levels != 1 || usage != 0 || sharedHandle != nullptr) return D3DERR_INVALIDCALL;
    if (format != D3DFMT_A8R8G8B8) return D3DERR_INVALIDCALL;
    if (pool != D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    return D3D_OK;
}

}  // namespace fwd3d
