// The Direct3D probe's and benchmark's shared harness (d3d_harness.h).
#include "d3d_harness.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "gfx/device_setup.h"
#include "platform/renderers.h"

namespace d3dharness {

namespace {

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

unsigned long long count(uint64_t value) { return static_cast<unsigned long long>(value); }

}  // namespace

void say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

HWND openWindow() {
    WNDCLASSA windowClass;
    std::memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = windowProc;
    windowClass.lpszClassName = "D3DPROBE";
    if (RegisterClassA(&windowClass) == 0) return nullptr;
    return CreateWindowExA(0, "D3DPROBE", "d3d probe", WS_POPUP | WS_VISIBLE, 0, 0, 800, 600, nullptr, nullptr, nullptr,
                           nullptr);
}

bool openDevice(HWND window, IDirect3D9** d3d, IDirect3DDevice9** device) {
    *device = nullptr;
    *d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!*d3d) return false;
    D3DPRESENT_PARAMETERS params;
    describePlayerDevice(window, &params);
    return createDeviceWithFallbacks(*d3d, window, &params, device) && setPlayerDeviceState(*device);
}

DWORD patternTexel(int x, int y) { return 0xFF000000u | (x << 16) | (y << 8) | ((x * 7 + y * 13) & 0xFF); }

IDirect3DTexture9* makeTexture(IDirect3DDevice9* device, int size, TexelFn texel) {
    IDirect3DTexture9* texture = nullptr;
    if (device->CreateTexture(size, size, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr) != D3D_OK)
        return nullptr;
    D3DLOCKED_RECT locked;
    if (texture->LockRect(0, &locked, nullptr, 0) != D3D_OK) return texture;
    for (int y = 0; y < size; ++y) {
        DWORD* row = reinterpret_cast<DWORD*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
        for (int x = 0; x < size; ++x) row[x] = texel(x, y);
    }
    texture->UnlockRect(0);
    return texture;
}

bool pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) return false;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return true;
}

void printStats(IDirect3DDevice9* device, const char* label) {
    fwd3d::DeviceStats stats = {};
    fwlayer::deviceStats(device, &stats);
    say("STATS %s presents %llu drawn %llu partial %llu skipped %llu videoonly %llu repaints %llu preserved %d "
        "copies %llu puts %llu",
        label, count(stats.presents), count(stats.framesDrawn), count(stats.partialRedraws), count(stats.framesSkipped),
        count(stats.videoOnlyUpdates), count(stats.repaints), stats.backBufferPreserved ? 1 : 0,
        count(stats.texelCopies), count(stats.videoPuts));
}

}  // namespace d3dharness
