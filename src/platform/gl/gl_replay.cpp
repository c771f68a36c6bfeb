// A recorded frame (d3d/frame.h) into OpenGL, within the device's clip: clears, draws
// with the fixed-function state a cache keeps in step (only what differs from the
// last draw is set), and the texel-copy fast path.
//
// Implemented: clears of target and depth, whole or by rectangles; triangle lists,
//   strips and fans of screen vertices (XYZRHW, DIFFUSE, TEX1); a draw depth testing
//   cannot affect is drawn without the test; a whole, opaque 1:1 picture (the
//   backgrounds) is put on the back buffer with a framebuffer copy instead of being
//   shaded, where the state makes that give the same pixels; a whole clear of the
//   target that such a copy then covers entirely is left out (its pixels would all
//   be overwritten: the whole-screen changes between the screens).
// Does not: check anything (the device did when it recorded); draw the child videos
//   (gl_video.cpp); talk to the window.
#include <cstring>

#include "gl_objects.h"

namespace fwgl {

namespace {

PipelineState withoutDepthTest(const PipelineState& state) {
    PipelineState changed = state;
    changed.zEnable = D3DZB_FALSE;
    return changed;
}

void enableIf(GLenum capability, bool enabled) {
    if (enabled) glEnable(capability);
    else glDisable(capability);
}

// The mask of a Clear, with its colour and depth values set.
GLbitfield prepareClear(const FrameCommand& command) {
    GLbitfield mask = 0;
    if (command.clearFlags & D3DCLEAR_TARGET) {
        D3DCOLOR color = command.clearColor;
        glClearColor(static_cast<float>((color >> 16) & 0xFF) / 255.0f,
                     static_cast<float>((color >> 8) & 0xFF) / 255.0f, static_cast<float>(color & 0xFF) / 255.0f,
                     static_cast<float>(color >> 24) / 255.0f);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (command.clearFlags & D3DCLEAR_ZBUFFER) {
        glClearDepth(clearDepth(command));
        // A clear writes depth whatever ZWRITEENABLE says.
        glDepthMask(GL_TRUE);
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    return mask;
}

// The fixed-function combiner of one channel group (GL_COMBINE_RGB or GL_COMBINE_ALPHA).
void applyCombine(GLenum combine, GLenum source0, GLenum source1, DWORD op, DWORD arg1, DWORD arg2) {
    GlCombine wanted = glCombine(op, arg1, arg2);
    glTexEnvi(GL_TEXTURE_ENV, combine, static_cast<GLint>(wanted.function));
    glTexEnvi(GL_TEXTURE_ENV, source0, static_cast<GLint>(wanted.source0));
    glTexEnvi(GL_TEXTURE_ENV, source1, static_cast<GLint>(wanted.source1));
}

}  // namespace

void GlDevice::replay(const FrameRecord& frame) {
    depthKnown = false;
    for (size_t i = 0; i < frame.commands.size(); ++i) {
        const FrameCommand& command = frame.commands[i];
        if (command.kind == FrameCommand::Clear)
            replayClear(frame, command, i + 1 < frame.commands.size() ? &frame.commands[i + 1] : nullptr);
        else replayDraw(frame, command);
    }
}

void GlDevice::replayClear(const FrameRecord& frame, const FrameCommand& command, const FrameCommand* next) {
    GLbitfield mask = prepareClear(command);
    size_t rectCount = clearRectCount(command);
    if (mask & GL_DEPTH_BUFFER_BIT) {
        depthKnown = rectCount == 0;
        depthValue = clearDepth(command);
    }
    // After the depth it leaves is known: the copy that follows may depend on it.
    if ((mask & GL_COLOR_BUFFER_BIT) && rectCount == 0 && next && next->kind != FrameCommand::Clear &&
        copyCoversClip(frame, *next))
        mask &= ~GLbitfield(GL_COLOR_BUFFER_BIT);
    if (rectCount == 0) {
        if (mask != 0) glClear(mask);  // within the clip
    } else {
        const PixelRect whole = clip;
        for (size_t i = 0; i < rectCount; ++i) {
            PixelRect part = clearRect(frame, command, i, whole);
            if (part.empty()) continue;
            scissorTo(part);
            glClear(mask);
        }
        setClip(whole);
    }
    if (appliedValid && (command.clearFlags & D3DCLEAR_ZBUFFER)) glDepthMask(applied.zWriteEnable ? GL_TRUE : GL_FALSE);
}

// Sets in OpenGL what differs between the state last applied and wanted (all of it
// after anything else touched OpenGL's state). One comparison a state group: the
// length is the list of groups.
void GlDevice::applyState(const PipelineState& wanted) {
    bool all = !appliedValid;
    const PipelineState& was = applied;
    if (all || was.zEnable != wanted.zEnable) enableIf(GL_DEPTH_TEST, wanted.zEnable != 0);
    if (all || was.zWriteEnable != wanted.zWriteEnable) glDepthMask(wanted.zWriteEnable ? GL_TRUE : GL_FALSE);
    if (all || was.zFunc != wanted.zFunc) glDepthFunc(glCompareFunc(wanted.zFunc));
    if (all || was.alphaTestEnable != wanted.alphaTestEnable) enableIf(GL_ALPHA_TEST, wanted.alphaTestEnable != 0);
    if (all || was.alphaFunc != wanted.alphaFunc || was.alphaRef != wanted.alphaRef)
        glAlphaFunc(glCompareFunc(wanted.alphaFunc), static_cast<float>(wanted.alphaRef) / 255.0f);
    if (all || was.alphaBlendEnable != wanted.alphaBlendEnable) enableIf(GL_BLEND, wanted.alphaBlendEnable != 0);
    if (all || was.srcBlend != wanted.srcBlend || was.destBlend != wanted.destBlend)
        glBlendFunc(glBlendFactor(wanted.srcBlend), glBlendFactor(wanted.destBlend));
    if (all || was.cullMode != wanted.cullMode) {
        GlCull cull = glCull(wanted.cullMode);
        enableIf(GL_CULL_FACE, cull.enabled);
        if (cull.enabled) {
            glCullFace(GL_BACK);
            glFrontFace(cull.frontFace);
        }
    }
    if (all || was.ditherEnable != wanted.ditherEnable) enableIf(GL_DITHER, wanted.ditherEnable != 0);
    if (all || was.colorOp != wanted.colorOp || was.colorArg1 != wanted.colorArg1 || was.colorArg2 != wanted.colorArg2)
        applyCombine(GL_COMBINE_RGB, GL_SOURCE0_RGB, GL_SOURCE1_RGB, wanted.colorOp, wanted.colorArg1,
                     wanted.colorArg2);
    if (all || was.alphaOp != wanted.alphaOp || was.alphaArg1 != wanted.alphaArg1 || was.alphaArg2 != wanted.alphaArg2)
        applyCombine(GL_COMBINE_ALPHA, GL_SOURCE0_ALPHA, GL_SOURCE1_ALPHA, wanted.alphaOp, wanted.alphaArg1,
                     wanted.alphaArg2);
    applied = wanted;
    appliedValid = true;
}

// Without a texture, or with stage 0 disabled, the diffuse colour goes through alone.
void GlDevice::bindForDraw(GlTexture* texture, const PipelineState& wanted) {
    bool texturing = texture && wanted.colorOp != D3DTOP_DISABLE;
    if (texturing != appliedTexturing) {
        enableIf(GL_TEXTURE_2D, texturing);
        appliedTexturing = texturing;
    }
    if (!texturing) return;
    if (appliedTexture != texture->name) {
        glBindTexture(GL_TEXTURE_2D, texture->name);
        appliedTexture = texture->name;
    }
    if (!texture->uploaded) texture->uploadRows(0, static_cast<LONG>(texture->height));
    GLint minFilter = static_cast<GLint>(glTextureFilter(wanted.minFilter));
    GLint magFilter = static_cast<GLint>(glTextureFilter(wanted.magFilter));
    if (texture->appliedMinFilter != minFilter) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
        texture->appliedMinFilter = minFilter;
    }
    if (texture->appliedMagFilter != magFilter) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, magFilter);
        texture->appliedMagFilter = magFilter;
    }
}

void GlDevice::replayDraw(const FrameRecord& frame, const FrameCommand& command) {
    // A texture released since the frame was recorded draws as no texture; one
    // unlocked again between a draw and the Present draws with its new content.
    GlTexture* texture = command.textureId ? findTexture(command.textureId) : nullptr;
    if (texture && replayAsCopy(frame, command, texture)) return;
    applyState(depthTestWithoutEffect(frame, command) ? withoutDepthTest(command.state) : command.state);
    bindForDraw(texture, command.state);
    GLenum mode = command.primitiveType == D3DPT_TRIANGLELIST    ? GL_TRIANGLES
                  : command.primitiveType == D3DPT_TRIANGLESTRIP ? GL_TRIANGLE_STRIP
                                                                 : GL_TRIANGLE_FAN;
    const uint8_t* data = frame.dataOf(command);
    UINT vertexCount = command.dataSize / command.vertexStride;
    glBegin(mode);
    for (UINT i = 0; i < vertexCount; ++i) {
        const uint8_t* vertex = data + static_cast<size_t>(i) * command.vertexStride;
        float position[4];
        DWORD color;
        float uv[2];
        std::memcpy(position, vertex, sizeof(position));
        std::memcpy(&color, vertex + 16, sizeof(color));
        std::memcpy(uv, vertex + 20, sizeof(uv));
        float w = position[3] != 0.0f ? 1.0f / position[3] : 1.0f;
        glColor4ub(static_cast<GLubyte>(color >> 16), static_cast<GLubyte>(color >> 8), static_cast<GLubyte>(color),
                   static_cast<GLubyte>(color >> 24));
        glTexCoord2f(uv[0], uv[1]);
        glVertex4f((position[0] + pixelCentreShift) * w, (position[1] + pixelCentreShift) * w, position[2] * w, w);
        if (command.state.zEnable && command.state.zWriteEnable && position[2] != depthValue) depthKnown = false;
    }
    glEnd();
}

// Whether every pixel of the draw passes the depth test and writes back the depth
// already there: the depth buffer holds one value and every vertex that value (the
// screens draw everything at depth 0 after a background).
bool GlDevice::depthTestWithoutEffect(const FrameRecord& frame, const FrameCommand& command) const {
    const PipelineState& state = command.state;
    if (!state.zEnable || !depthKnown || !compareHolds(state.zFunc, depthValue, depthValue)) return false;
    const uint8_t* data = frame.dataOf(command);
    for (UINT i = 0; i < command.dataSize / command.vertexStride; ++i) {
        float z;
        std::memcpy(&z, data + static_cast<size_t>(i) * command.vertexStride + 8, sizeof(z));
        if (z != depthValue) return false;
    }
    return true;
}

// --- The texel-copy fast path ------------------------------------------------------------

// Whether the draw is a 1:1 picture whose drawing would put exactly its texels on the
// pixels, over a depth buffer that lets every pixel pass; then the copy and the
// texels it takes.
bool GlDevice::copyPlan(const FrameRecord& frame, const FrameCommand& command, GlTexture* texture, TexelCopy* copy,
                        PixelRect* texels) const {
    if (!framebuffers.blit || texture->framebufferUnusable) return false;
    const PipelineState& state = command.state;
    if (!asTexelCopy(frame, command, texture->width, texture->height, copy)) return false;
    TexelCopyUse use = texelCopyUse(state, copy->diffuse);
    if (use == TexelCopyUse::NotACopy) return false;
    if (state.zEnable) {
        if (state.zFunc != D3DCMP_ALWAYS && !(depthKnown && compareHolds(state.zFunc, copy->z, depthValue)))
            return false;
        // Values a depth clear stores exactly as a draw would.
        if (state.zWriteEnable && copy->z != 0.0f && copy->z != 1.0f) return false;
    }
    const PixelRect& target = copy->target;
    *texels = {copy->texelLeft, copy->texelTop, copy->texelLeft + (target.right - target.left),
               copy->texelTop + (target.bottom - target.top)};
    return use != TexelCopyUse::CopyIfOpaque || texture->opaque(*texels);
}

// Whether the draw will be replayed as a copy that writes every pixel of the clip.
// Its read framebuffer is made here, so that the copy cannot fall back to shading
// (which could blend with what the clear would have written).
bool GlDevice::copyCoversClip(const FrameRecord& frame, const FrameCommand& command) {
    GlTexture* texture = command.textureId ? findTexture(command.textureId) : nullptr;
    TexelCopy copy;
    PixelRect texels;
    if (!texture || !copyPlan(frame, command, texture, &copy, &texels)) return false;
    if (!(intersection(copy.target, clip) == clip) || clip.empty()) return false;
    if (!texture->framebuffer && !makeReadFramebuffer(texture->name, &texture->framebuffer)) {
        texture->framebufferUnusable = true;
        return false;
    }
    return true;
}

// The draw as one blit, no shading. Where it writes depth, the depth is cleared to
// its z over the same pixels.
bool GlDevice::replayAsCopy(const FrameRecord& frame, const FrameCommand& command, GlTexture* texture) {
    TexelCopy copy;
    PixelRect texels;
    if (!copyPlan(frame, command, texture, &copy, &texels)) return false;
    if (!texture->uploaded) texture->uploadRows(0, static_cast<LONG>(texture->height));
    if (!texture->framebuffer && !makeReadFramebuffer(texture->name, &texture->framebuffer)) {
        texture->framebufferUnusable = true;
        return false;
    }
    PixelRect part = intersection(copy.target, clip);
    if (!part.empty()) {
        blitTexels(texture->framebuffer, texels.left + (part.left - copy.target.left),
                   texels.top + (part.top - copy.target.top), part);
        if (command.state.zEnable && command.state.zWriteEnable) clearDepthUnder(part, copy.z);
        setClip(clip);
    }
    ++stats.texelCopies;
    return true;
}

// The depth a copied picture would have written: z over part, and what is then
// known of the depth buffer within the clip. Leaves the scissor on part.
void GlDevice::clearDepthUnder(const PixelRect& part, float z) {
    scissorTo(part);
    glClearDepth(z);
    glDepthMask(GL_TRUE);
    glClear(GL_DEPTH_BUFFER_BIT);
    if (appliedValid) glDepthMask(applied.zWriteEnable ? GL_TRUE : GL_FALSE);
    if (part == clip) {
        depthKnown = true;
        depthValue = z;
    } else if (depthValue != z) {
        depthKnown = false;
    }
}

}  // namespace fwgl
