// What the Direct3D 9 pipeline state (d3d/pipeline_state.h) becomes in OpenGL's
// fixed function: only values the setters there accepted reach these mappings.
//
// Implements: comparison functions, blend factors, culling and stage 0 combiners as OpenGL values.
// Does not: call OpenGL, or map anything pipeline_state.h refuses.
#pragma once

#include "../d3d/pipeline_state.h"

namespace fwgl {

using namespace fwd3d;

// OpenGL counterparts of values that the setters above accepted.
unsigned glCompareFunc(DWORD d3dCompare);
unsigned glBlendFactor(DWORD d3dBlend);
unsigned glTextureFilter(DWORD d3dFilter);
unsigned glCombineSource(DWORD d3dArgument);  // stage 0: CURRENT is the diffuse colour
// The combine function of an operation and which argument(s) it reads:
// GL_REPLACE with source 0, or GL_MODULATE with sources 0 and 1.
struct GlCombine {
    unsigned function;
    unsigned source0;
    unsigned source1;
};
GlCombine glCombine(DWORD d3dOp, DWORD arg1, DWORD arg2);
// Face culling for screen-space triangles: whether to cull, and the winding GL
// should treat as front so that Direct3D's culled winding is the back face.
struct GlCull {
    bool enabled;
    unsigned frontFace;
};
GlCull glCull(DWORD d3dCull);

}  // namespace fwgl
