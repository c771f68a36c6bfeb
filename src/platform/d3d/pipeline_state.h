// The Direct3D 9 pipeline state both Direct3D backends (gl, cpu) keep and how each
// settable state is checked. Pure bookkeeping: no drawing here, so the rules can be
// tested without a display.
//
// Supported (everything else fails with D3DERR_INVALIDCALL and leaves the state as
// it was):
//   render states  ZENABLE (FALSE, TRUE), ZWRITEENABLE, ZFUNC (any comparison),
//                  ALPHATESTENABLE, ALPHAFUNC (any comparison), ALPHAREF (0 to 255),
//                  ALPHABLENDENABLE, SRCBLEND and DESTBLEND (ZERO, ONE, SRCCOLOR,
//                  INVSRCCOLOR, SRCALPHA, INVSRCALPHA), CULLMODE (NONE, CW, CCW),
//                  LIGHTING and MULTISAMPLEANTIALIAS (accepted, without effect: the
//                  vertices are pre-transformed and the back buffer has one sample),
//                  DITHERENABLE
//   stage 0        COLOROP (DISABLE, SELECTARG1, SELECTARG2, MODULATE), ALPHAOP
//                  (SELECTARG1, SELECTARG2, MODULATE), their two arguments each
//                  (DIFFUSE, CURRENT, TEXTURE; no modifier flags)
//   sampler 0      MINFILTER and MAGFILTER (POINT, LINEAR)
// Not supported: any other stage or sampler, D3DZB_USEW, the other blend factors.
#pragma once

#include <cstdint>

#include "../platform.h"

namespace fwd3d {

// All members are 32-bit so that two states compare byte for byte.
struct PipelineState {
    DWORD zEnable;
    DWORD zWriteEnable;
    DWORD zFunc;
    DWORD alphaTestEnable;
    DWORD alphaFunc;
    DWORD alphaRef;
    DWORD alphaBlendEnable;
    DWORD srcBlend;
    DWORD destBlend;
    DWORD cullMode;
    DWORD lighting;
    DWORD ditherEnable;
    DWORD multisampleAntialias;
    DWORD colorOp;
    DWORD colorArg1;
    DWORD colorArg2;
    DWORD alphaOp;
    DWORD alphaArg1;
    DWORD alphaArg2;
    DWORD minFilter;
    DWORD magFilter;
    DWORD fvf;
};

// Direct3D's defaults for a new device; depth testing starts on only when the
// device was made with an automatic depth buffer.
PipelineState defaultPipelineState(bool hasDepthBuffer);

HRESULT setRenderState(PipelineState& state, DWORD type, DWORD value);
HRESULT setTextureStageState(PipelineState& state, DWORD stage, DWORD type, DWORD value);
HRESULT setSamplerState(PipelineState& state, DWORD sampler, DWORD type, DWORD value);

// Whether value passes a Direct3D comparison against reference (value func reference).
bool compareHolds(DWORD func, double value, double reference);

// Whether a 1:1 texel copy drawn with this state and diffuse colour puts exactly the
// texels on the pixels, so that it may be done as a plain copy: the stage passes the
// texture unchanged, point sampling, no culling of the quad; and blending and alpha
// testing either off or, when every texel copied is opaque (alpha 255), without
// effect. Depth is left to the caller.
enum class TexelCopyUse { NotACopy, PlainCopy, CopyIfOpaque };
TexelCopyUse texelCopyUse(const PipelineState& state, DWORD diffuse);

// CreateTexture's argument checks, made before anything is allocated.
HRESULT checkTextureRequest(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                            const HANDLE* sharedHandle, int maxTextureSize);

}  // namespace fwd3d
