// The gl backend's texture store: CreateTexture and the IDirect3DTexture9 subset,
// each texture a CPU copy of its texels plus an OpenGL texture that follows it.
//
// Implemented: CreateTexture (one level of A8R8G8B8 in the managed pool, up to the
//   OpenGL texture size), GetLevelDesc, LockRect and UnlockRect of level 0 (flags 0,
//   D3DLOCK_READONLY, D3DLOCK_DISCARD; an unlock sends the locked rows to OpenGL),
//   and whether a texel rectangle is opaque (asked by the texel-copy fast path,
//   answered from a small cache per content version).
// Not implemented (D3DERR_INVALIDCALL): other levels, formats and pools, nested
//   locks; a texture cannot be used by another device.
#include <cstdlib>
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
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    HRESULT check = checkTextureRequest(textureWidth, textureHeight, levels, usage, format, pool, sharedHandle,
                                        maxTextureSize);
    if (check != D3D_OK) return check;
    if (!makeCurrent()) return D3DERR_INVALIDCALL;
    uint8_t* bits = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(textureWidth) * textureHeight, 4));
    if (!bits) return D3DERR_OUTOFVIDEOMEMORY;
    GLuint name = makeGlTexture(textureWidth, textureHeight);
    appliedTexture = name;   // bound now, or nothing
    if (!name) {
        std::free(bits);
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    GlTexture* created = new GlTexture;
    created->device = this;
    created->id = nextTextureId++;
    created->width = textureWidth;
    created->height = textureHeight;
    created->bits = bits;
    created->name = name;
    created->appliedMinFilter = GL_NEAREST;
    created->appliedMagFilter = GL_NEAREST;
    textures.push_back(created);
    ++liveTextures;
    *texture = created;
    return D3D_OK;
}

GlTexture* GlDevice::findTexture(uint64_t id) const {
    for (GlTexture* texture : textures)
        if (texture->id == id) return texture;
    return nullptr;
}

void GlDevice::textureDestroyed(GlTexture* texture) {
    for (size_t i = 0; i < textures.size(); ++i)
        if (textures[i] == texture) {
            textures.erase(textures.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    if (texture->name && makeCurrent()) {
        if (appliedTexture == texture->name) appliedTexture = 0;
        if (texture->framebuffer) framebuffers.remove(1, &texture->framebuffer);
        glDeleteTextures(1, &texture->name);
    }
    --liveTextures;
    destroyIfUnused();
}

void GlTexture::released(ULONG left) {
    if (left > 0) return;
    GlDevice* owner = device;
    std::free(bits);
    bits = nullptr;
    owner->textureDestroyed(this);
    delete this;
}

HRESULT GlTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    if (level != 0 || !desc) return D3DERR_INVALIDCALL;
    std::memset(desc, 0, sizeof(*desc));
    desc->Format = D3DFMT_A8R8G8B8;
    desc->Type = D3DRTYPE_SURFACE;
    desc->Usage = 0;
    desc->Pool = D3DPOOL_MANAGED;
    desc->MultiSampleType = D3DMULTISAMPLE_NONE;
    desc->Width = width;
    desc->Height = height;
    return D3D_OK;
}

HRESULT GlTexture::LockRect(UINT level, D3DLOCKED_RECT* lockedRectOut, CONST RECT* rect, DWORD flags) {
    if (level != 0 || !lockedRectOut || locked) return D3DERR_INVALIDCALL;
    if ((flags & ~static_cast<DWORD>(D3DLOCK_READONLY | D3DLOCK_DISCARD)) != 0) return D3DERR_INVALIDCALL;
    RECT area = {0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
    if (rect) {
        if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
            rect->right > area.right || rect->bottom > area.bottom)
            return D3DERR_INVALIDCALL;
        area = *rect;
    }
    locked = true;
    lockedRect = area;
    lockFlags = flags;
    lockedRectOut->Pitch = static_cast<INT>(width * 4);
    lockedRectOut->pBits = bits + static_cast<size_t>(area.top) * width * 4 + static_cast<size_t>(area.left) * 4;
    return D3D_OK;
}

HRESULT GlTexture::UnlockRect(UINT level) {
    if (level != 0 || !locked) return D3DERR_INVALIDCALL;
    locked = false;
    if (lockFlags & D3DLOCK_READONLY) return D3D_OK;
    ++version;
    if (device->makeCurrent()) uploadRows(uploaded ? lockedRect.top : 0, uploaded ? lockedRect.bottom : height);
    return D3D_OK;
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

bool GlTexture::opaque(const PixelRect& texels) {
    for (const OpaqueAnswer& answer : opaqueAnswers)
        if (answer.version == version && answer.texels == texels) return answer.opaque;
    bool allOpaque = true;
    for (int y = texels.top; y < texels.bottom && allOpaque; ++y) {
        const uint8_t* row = bits + static_cast<size_t>(y) * width * 4;
        for (int x = texels.left; x < texels.right; ++x)
            if (row[x * 4 + 3] != 0xFF) {
                allOpaque = false;
                break;
            }
    }
    opaqueAnswers[nextOpaqueAnswer] = {version, texels, allOpaque};
    nextOpaqueAnswer = (nextOpaqueAnswer + 1) % 8;
    return allOpaque;
}

}  // namespace fwgl
