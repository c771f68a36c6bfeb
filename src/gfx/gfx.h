// Free functions of the graphics: the device, picture reading, quad drawing, hit testing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

// One pre-transformed vertex (D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1).
struct ScreenVertex {
    float x;
    float y;
    float z;
    float rhw;
    D3DCOLOR diffuse;
    float u;
    float v;
};

enum { SCREEN_VERTEX_FVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1 };

// Creates the player's device on hwnd's 800 x 600 client area, filling presentParams, and
// sets the fixed pipeline state all drawing relies on: 1, or 0 when there is none.
int32_t createPlayerDevice(HWND hwnd, IDirect3D9*& d3d, IDirect3DDevice9*& device,
                           D3DPRESENT_PARAMETERS& presentParams);

// Reads like fread: returns the number of whole elements read.
typedef size_t (*PictureReadFn)(void* buffer, size_t elementSize, size_t elementCount, void* userData);

// userData is the open FILE*.
size_t readFromFile(void* buffer, size_t elementSize, size_t elementCount, void* userData);

// 0 on success, -1 on failure. The texture belongs to the caller as soon as it is
// stored through texture, even when the load fails afterwards. size (may be null)
// receives width and height on success only.
int32_t decodePicture(IDirect3DDevice9* device, IDirect3DTexture9** texture, int32_t* size, PictureReadFn read,
                      void* userData);
int32_t loadBitmapTexture(IDirect3DDevice9* device, IDirect3DTexture9** texture, int32_t* size, const char* path);

// Copies srcRect's texels (the whole level 0 when null) 1:1 to (x, y), tinted by color.
// Binds texture to stage 0 only when bindTexture is exactly 1. 0 when texture is null.
int32_t drawQuad(IDirect3DDevice9* device, IDirect3DTexture9* texture, int32_t bindTexture, float x, float y,
                 const RECT* srcRect, D3DCOLOR color);

// 1 when point lies in rect, all four edges included, corners in either order.
int32_t pointInRect(const RECT* rect, const POINT* point);
