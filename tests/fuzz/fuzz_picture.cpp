// Arbitrary bytes through the picture reader on the recording device. A picture is
// accepted exactly when it has the identifier, a whole size field with a positive
// width and height, and a size the device can make; then every texel the input
// covers holds the input's pixel, every other texel the fresh texture's pattern.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gfx/gfx.h"
#include "platform/record/record.h"

namespace {

// Small, so that the device, not the fuzzer's memory, refuses large pictures.
const UINT kMaxTextureSize = 256;
const uint32_t kFresh = 0xCDCDCDCD;

struct Input {
    const uint8_t* data;
    size_t size;
    size_t offset;
};

size_t readInput(void* buffer, size_t elementSize, size_t elementCount, void* userData) {
    Input* pInput = static_cast<Input*>(userData);
    size_t Wanted = elementSize * elementCount;
    size_t Available = pInput->size - pInput->offset;
    if (Available > Wanted) Available = Wanted;
    if (Available) std::memcpy(buffer, pInput->data + pInput->offset, Available);
    pInput->offset += Available;
    return elementSize ? Available / elementSize : 0;
}

uint32_t littleEndian(const uint8_t* Bytes) {
    return static_cast<uint32_t>(Bytes[0]) | (static_cast<uint32_t>(Bytes[1]) << 8) |
           (static_cast<uint32_t>(Bytes[2]) << 16) | (static_cast<uint32_t>(Bytes[3]) << 24);
}

void check(bool bHolds, const char* what) {
    if (bHolds) return;
    std::fprintf(stderr, "fuzz_picture: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fwrecord::resetAll();
    fwrecord::d3d().maxTextureSize = kMaxTextureSize;
    D3DPRESENT_PARAMETERS Params = {};
    IDirect3DDevice9* pDevice = nullptr;
    IDirect3D9* pD3D = Direct3DCreate9(D3D_SDK_VERSION);
    if (pD3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &Params,
                           &pDevice) != D3D_OK)
        std::abort();

    IDirect3DTexture9* pTexture = nullptr;
    int32_t Size[2] = {-7, -7};
    Input Reader = {data, size, 0};
    int32_t Result = decodePicture(pDevice, &pTexture, Size, readInput, &Reader);

    bool bHeader = size >= 12 && std::memcmp(data, "TEYL", 4) == 0;
    int32_t Width = bHeader ? static_cast<int32_t>(littleEndian(data + 4)) : 0;
    int32_t Height = bHeader ? static_cast<int32_t>(littleEndian(data + 8)) : 0;
    bool bFits = Width >= 1 && Height >= 1 && static_cast<UINT>(Width) <= kMaxTextureSize &&
                 static_cast<UINT>(Height) <= kMaxTextureSize;
    check((Result == 0) == (bHeader && bFits), "accepted a picture it should refuse, or the reverse");
    if (Result != 0) {
        check(Size[0] == -7 && Size[1] == -7, "size output written on failure");
        check(pTexture == nullptr, "texture stored although none could be made");
        return 0;
    }

    check(Size[0] == Width && Size[1] == Height, "size output differs from the file's");
    UINT Side = 1;
    while (Side < static_cast<UINT>(Width > Height ? Width : Height)) Side <<= 1;
    check(fwrecord::textureWidth(pTexture) == Side && fwrecord::textureHeight(pTexture) == Side,
          "texture is not the smallest power-of-two square");
    for (UINT y = 0; y < Side; ++y) {
        for (UINT x = 0; x < Side; ++x) {
            uint32_t Texel = fwrecord::texel(pTexture, x, y);
            size_t Offset = 12 + (static_cast<size_t>(y) * static_cast<size_t>(Width) + x) * 4;
            bool bInside = x < static_cast<UINT>(Width) && y < static_cast<UINT>(Height);
            if (bInside && Offset + 4 <= size)
                check(Texel == littleEndian(data + Offset), "texel differs from the file's pixel");
            else if (!bInside || Offset >= size)
                check(Texel == kFresh, "texel written that the file does not cover");
        }
    }
    return 0;
}
