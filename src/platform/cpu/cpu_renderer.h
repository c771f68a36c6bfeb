// The cpu backend as the renderer table (platform/renderers.cpp) sees it: the
// Direct3D 9 subset drawn on the CPU into the window's own surface.
//
// Implements: available (always: the fallback), createDirect3D, deviceStatsOf;
//   createMemoryDevice, for tools that draw the program's screens without a display.
// Does not: expose the backend's objects (cpu_device.h, for its own files only).
#pragma once

#include <cstdint>

#include "../platform.h"

namespace fwd3d {
struct DeviceStats;
}

namespace fwcpu {

bool available();
IDirect3D9* createDirect3D();
bool deviceStatsOf(IDirect3DDevice9* device, fwd3d::DeviceStats* stats);  // false: not a cpu device

// A device as CreateDevice makes one (params as the program describes its device),
// drawing into pixels instead of a window: each Present leaves the picture there, with
// the visible child videos of owner over it, as the window would show it. pixels holds
// the back buffer's rows of 32-bit B, G, R, X, pitch pixels apart, and outlives the
// device. D3DERR_NOTAVAILABLE while another cpu device lives.
HRESULT createMemoryDevice(HWND owner, D3DPRESENT_PARAMETERS* params, uint32_t* pixels, int pitch,
                           IDirect3DDevice9** device);

}  // namespace fwcpu
