// The pipeline state's OpenGL counterparts (gl_state.h).
//
// Implements: the mappings of gl_state.h.
// Does not: call OpenGL.
#include "gl_state.h"

#include <GL/gl.h>

namespace fwgl {

unsigned glCompareFunc(DWORD d3dCompare) {
    switch (d3dCompare) {
    case D3DCMP_NEVER: return GL_NEVER;
    case D3DCMP_LESS: return GL_LESS;
    case D3DCMP_EQUAL: return GL_EQUAL;
    case D3DCMP_LESSEQUAL: return GL_LEQUAL;
    case D3DCMP_GREATER: return GL_GREATER;
    case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
    case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
    default: return GL_ALWAYS;
    }
}

unsigned glBlendFactor(DWORD d3dBlend) {
    switch (d3dBlend) {
    case D3DBLEND_ZERO: return GL_ZERO;
    case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    default: return GL_ONE;
    }
}

unsigned glTextureFilter(DWORD d3dFilter) { return d3dFilter == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST; }

unsigned glCombineSource(DWORD d3dArgument) { return d3dArgument == D3DTA_TEXTURE ? GL_TEXTURE : GL_PRIMARY_COLOR; }

GlCombine glCombine(DWORD d3dOp, DWORD arg1, DWORD arg2) {
    switch (d3dOp) {
    case D3DTOP_SELECTARG1: return {GL_REPLACE, glCombineSource(arg1), glCombineSource(arg1)};
    case D3DTOP_SELECTARG2: return {GL_REPLACE, glCombineSource(arg2), glCombineSource(arg2)};
    case D3DTOP_MODULATE: return {GL_MODULATE, glCombineSource(arg1), glCombineSource(arg2)};
    default: return {GL_REPLACE, GL_PRIMARY_COLOR, GL_PRIMARY_COLOR};  // a disabled stage 0 passes the diffuse
    }
}

// Direct3D names the winding it culls as seen on screen. The projection keeps the
// picture upright, so a triangle seen clockwise is clockwise to OpenGL too.
GlCull glCull(DWORD d3dCull) {
    switch (d3dCull) {
    case D3DCULL_CW: return {true, GL_CCW};
    case D3DCULL_CCW: return {true, GL_CW};
    default: return {false, GL_CCW};
    }
}

}  // namespace fwgl
