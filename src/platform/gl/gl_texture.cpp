// The gl backend's texture store: CreateTexture and the IDirect3DTexture9 subset,
// each texture a CPU copy of its texels (d3d/device_base.h's TexelStore, which
// also answers GetLevelDesc, LockRect and opacity) plus an OpenGL texture that
// follows it.
//
// Implemented: CreateTexture (one level of A8R8G8B8 in the managed pool, up to the
//   OpenGL texture size), GetLevelDesc, LockRect and UnlockRect of level 0 (flags 0,
//   D3DLOCK_READONLY, D3DLOCK_DISCARD; an unlock sends the locked rows to OpenGL),
//   and whether a texel rectangle is opaque (asked by the texel-copy fast path,
//   answered from a small cache per content version).
// Not implemented (D3DERR_INVALIDCALL): other levels, formats and pools, nested
//   locks; a texture cannot be used by another device.
#include <cstring>

#include "gl_objects.h"

namespace fwgl {

namespace {

// An OpenGL texture of that size, point sampled and repeating as Direct3D's default
// sampler state; 0 when OpenGL has no room for it.
GLuint makeGlTexture(UINT width, UINT height) {
    while (glGetError() != GL_NO_ERROR) {
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    // Unsized, so that the driver keeps the texels as they come (B, G, R, A bytes), the
    // layout of the window's buffers: whole pictures then copy as plain memory.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, static_cast<GLsizei>(width), static_cast<GLsizei>(height), 0, GL_BGRA,
                 GL_UNSIGNED_BYTE, nullptr);
    if (glGetError() == GL_NO_ERROR) return name;
    glDeleteTextures(1, &name);
    return 0;
}

}  // namespace

HRESULT GlDevice::CreateTexture(UINT textureWidth, UINT textureHeight, UINT levels, DWORD usage, D3DFORMAT format,
                                D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* sharedHandle) {
    GlTexture* created = nullptr;
    HRESULT result = makeTexture(textureWidth, textureHeight, levels, usage, format, pool, texture, sharedHandle,
                                 maxTextureSize, &created);
    if (result != D3D_OK) return result;
    if (!makeCurrent()) {
        created->Release();  // not yet known to the device
        return D3DERR_INVALIDCALL;
    }
    GLuint name = makeGlTexture(textureWidth, textureHeight);
    appliedTexture = name;  // bound now, or nothing
    if (!name) {
        created->Release();
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    created->name = name;
    created->appliedMinFilter = GL_NEAREST;
    created->appliedMagFilter = GL_NEAREST;
    return adoptTexture(created, texture);
}

// The OpenGL objects of a texture going.
void GlDevice::textureGone(GlTexture* texture) {
    if (texture->name && makeCurrent()) {
        if (appliedTexture == texture->name) appliedTexture = 0;
        if (texture->framebuffer) framebuffers.remove(1, &texture->framebuffer);
        glDeleteTextures(1, &texture->name);
    }
}

void GlTexture::texelsWritten() {
    if (device->makeCurrent()) uploadRows(uploaded ? lockedRect.top : 0, uploaded ? lockedRect.bottom : height);
}

// Whole rows of the CPU copy into OpenGL, top row first, as texture row 0; the first
// upload is the whole texture.
void GlTexture::uploadRows(LONG top, LONG bottom) {
    glBindTexture(GL_TEXTURE_2D, name);
    device->appliedTexture = name;
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, top, static_cast<GLsizei>(width), bottom - top, GL_BGRA, GL_UNSIGNED_BYTE,
                    bits + static_cast<size_t>(top) * width * 4);
    uploaded = true;
}

}  // namespace fwgl
