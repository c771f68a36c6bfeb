// The picture reader: a picture file into a texture.
//
// A picture: the bytes "TEYL", width and height (signed 32-bit, little-endian),
// then height rows of width pixels, top row first, each pixel the bytes B, G, R, A.
// It goes into the top-left corner of a square power-of-two A8R8G8B8 texture.
#include <cstdio>
#include <cstring>

#include "gfx/gfx.h"

namespace {

const unsigned char kFileID[4] = {0x54, 0x45, 0x59, 0x4C};  // "TEYL"

int32_t readInt32LE(const unsigned char* Bytes) {
    uint32_t Value = static_cast<uint32_t>(Bytes[0]) | (static_cast<uint32_t>(Bytes[1]) << 8) |
                     (static_cast<uint32_t>(Bytes[2]) << 16) | (static_cast<uint32_t>(Bytes[3]) << 24);
    return static_cast<int32_t>(Value);
}

// The smallest power of two not less than Side (Side >= 1; at most 2^31).
UINT textureSide(int32_t Side) {
    UINT Result = 1;
    while (Result < static_cast<UINT>(Side)) Result <<= 1;
    return Result;
}

}  // namespace

size_t readFromFile(void* buffer, size_t elementSize, size_t elementCount, void* userData) {
    return fread(buffer, elementSize, elementCount, static_cast<FILE*>(userData));
}

int32_t decodePicture(IDirect3DDevice9* device, IDirect3DTexture9** texture, int32_t* size, PictureReadFn read,
                      void* userData) {
    unsigned char FileID[4];
    if (read(FileID, 1, 4, userData) != 4 || std::memcmp(FileID, kFileID, 4) != 0) return -1;

    // A file that ends inside the size, or names no pixel, is refused like a wrong identifier.
    unsigned char PicSize[8];
    if (read(PicSize, 8, 1, userData) != 1) return -1;
    int32_t Width = readInt32LE(PicSize);
    int32_t Height = readInt32LE(PicSize + 4);
    if (Width < 1 || Height < 1) return -1;

    UINT Side = textureSide(Width > Height ? Width : Height);
    if (device->CreateTexture(Side, Side, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture, nullptr) != D3D_OK)
        return -1;

    D3DLOCKED_RECT Locked;
    if (FAILED((*texture)->LockRect(0, &Locked, nullptr, 0))) return -1;
    // One read per row, straight into the texture. A file that ends early leaves the
    // remaining texels as the new texture held them.
    unsigned char* pRow = static_cast<unsigned char*>(Locked.pBits);
    for (int32_t y = 0; y < Height; ++y) {
        size_t Read = read(pRow, 4, static_cast<size_t>(Width), userData);
        (void)Read;
        pRow += Locked.Pitch;
    }
    (*texture)->UnlockRect(0);

    if (size) {
        size[0] = Width;
        size[1] = Height;
    }
    return 0;
}

int32_t loadBitmapTexture(IDirect3DDevice9* device, IDirect3DTexture9** texture, int32_t* size, const char* path) {
    FILE* pFile = nullptr;
    if (fopen_s(&pFile, path, "rb") != 0 || !pFile) return -1;
    int32_t Result = decodePicture(device, texture, size, readFromFile, pFile);
    fclose(pFile);
    return Result;
}
