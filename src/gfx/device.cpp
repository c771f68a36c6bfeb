// The Direct3D 9 device and the fixed pipeline state all drawing relies on, as
// gfx/device_setup.h describes them.
#include "app/player_app.h"
#include "gfx/device_setup.h"

int32_t PlayerApp::createDevice() {
    d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!d3d) return 0;
    describePlayerDevice(hwnd, &presentParams);
    if (!createPlayerDevice(d3d, hwnd, &presentParams, &device)) return 0;
    setPlayerDeviceState(device);
    return 1;
}
