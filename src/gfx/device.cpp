// The Direct3D 9 device and the fixed pipeline state all drawing relies on, as
// gfx/device_setup.h describes them.
#include "gfx/device_setup.h"
#include "gfx/gfx.h"

int32_t createPlayerDevice(HWND hwnd, IDirect3D9*& d3d, IDirect3DDevice9*& device,
                           D3DPRESENT_PARAMETERS& presentParams) {
    d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!d3d) return 0;
    describePlayerDevice(hwnd, &presentParams);
    if (!createDeviceWithFallbacks(d3d, hwnd, &presentParams, &device)) return 0;
    setPlayerDeviceState(device);
    return 1;
}
