// Any bytes as a picture file: accepted exactly when the header is whole and
// the size fits the device; a refusal leaves the outputs alone; no texel written outside.
#include <cstdio>
#include <cstring>

#include "fuzz/work_folder.h"
#include "gfx/gfx.h"
#include "platform/record/record.h"

// Small, so that the device, not the fuzzer's memory, refuses large pictures.
const int32_t kMaxTextureSize = 256;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WorkFolder inWorkFolder;
    std::FILE* file = std::fopen("Picture.bmp", "wb");
    check(file != nullptr && std::fwrite(data, 1, size, file) == size && std::fclose(file) == 0);
    fwrecord::resetAll();
    fwrecord::d3d().maxTextureSize = kMaxTextureSize;
    D3DPRESENT_PARAMETERS params = {};
    IDirect3DDevice9* device = nullptr;
    check(Direct3DCreate9(D3D_SDK_VERSION)
              ->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &params,
                             &device) == D3D_OK);
    IDirect3DTexture9* texture = nullptr;
    int32_t pictureSize[2] = {-7, -7};
    const int32_t result = loadBitmapTexture(device, &texture, pictureSize, "Picture.bmp");

    int32_t header[2] = {0, 0};
    if (size >= 12 && std::memcmp(data, "TEYL", 4) == 0) std::memcpy(header, data + 4, 8);  // little-endian target
    const bool fits = header[0] >= 1 && header[1] >= 1 && header[0] <= kMaxTextureSize && header[1] <= kMaxTextureSize;
    check((result == 0) == fits);
    if (result != 0) {
        check(pictureSize[0] == -7 && pictureSize[1] == -7 && texture == nullptr);
        return 0;
    }
    check(pictureSize[0] == header[0] && pictureSize[1] == header[1]);
    const UINT side = fwrecord::textureWidth(texture);
    for (UINT y = 0; y < side; ++y)
        for (UINT x = 0; x < side; ++x)
            if (x >= static_cast<UINT>(header[0]) || y >= static_cast<UINT>(header[1]))
                check(!fwrecord::texelWritten(texture, x, y));
    return 0;
}
