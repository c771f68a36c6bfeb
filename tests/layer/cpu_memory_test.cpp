// The cpu renderer's memory device (fwgallery preview's): the player's device drawing
// into memory without a window, its owner's child video over the picture, one device
// at a time. Its pixels against the real player's are tests/e2e's (test_fwgallery.py).
#include <gtest/gtest.h>

#include <vector>

#include "gfx/device_setup.h"
#include "gfx/gfx.h"
#include "platform/common/layer.h"
#include "platform/cpu/cpu_renderer.h"

namespace {

const uint32_t kClear = 0x00203040, kTexel = 0xFF804020, kVideo = 0xFF10E010;

TEST(CpuMemoryDevice, DrawsFramesAndTheOwnersVideoIntoMemoryOneDeviceAtATime) {
    HWND owner = reinterpret_cast<HWND>(uintptr_t{0x2000});  // no window behind it
    D3DPRESENT_PARAMETERS params;
    describePlayerDevice(owner, &params);
    std::vector<uint32_t> pixels(800 * 600, 0xDEADBEEF);
    IDirect3DDevice9 *device = nullptr, *second = nullptr;
    ASSERT_EQ(fwcpu::createMemoryDevice(owner, &params, pixels.data(), 800, &device), D3D_OK);
    ASSERT_TRUE(setPlayerDeviceState(device));
    EXPECT_EQ(fwcpu::createMemoryDevice(owner, &params, pixels.data(), 800, &second), D3DERR_NOTAVAILABLE);

    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (int i = 0; i < 16; ++i) static_cast<uint32_t*>(locked.pBits)[i] = kTexel;
    texture->UnlockRect(0);
    fwlayer::ChildVideo* video = fwlayer::childVideoCreate();
    fwlayer::childVideoSetOwner(video, owner);
    fwlayer::childVideoSetRect(video, 100, 100, 20, 10);
    uint32_t frame[2 * 2] = {kVideo, kVideo, kVideo, kVideo};
    fwlayer::childVideoPushFrame(video, reinterpret_cast<const uint8_t*>(frame), 2, 2, 8);

    RECT source = {0, 0, 4, 4};
    for (float x : {10.0f, 50.0f}) {  // the second frame is redrawn only where it differs
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClear, 1.0f, 0);
        device->BeginScene();
        drawQuad(device, texture, 1, x, 20.0f, &source, 0xFFFFFFFF);
        device->EndScene();
        fwlayer::childVideoSetVisible(video, x > 10.0f);
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }
    EXPECT_EQ(pixels[21 * 800 + 11] & 0xFFFFFF, kClear);  // where the first frame's quad was
    EXPECT_EQ(pixels[21 * 800 + 51] & 0xFFFFFF, kTexel & 0xFFFFFF);
    EXPECT_EQ(pixels[105 * 800 + 110] & 0xFFFFFF, kVideo & 0xFFFFFF);  // the video, scaled into its area
    EXPECT_EQ(pixels[599 * 800 + 799] & 0xFFFFFF, kClear);

    fwlayer::childVideoDestroy(video);
    texture->Release();
    device->Release();
    ASSERT_EQ(fwcpu::createMemoryDevice(owner, &params, pixels.data(), 800, &second), D3D_OK);
    second->Release();
}

}  // namespace
