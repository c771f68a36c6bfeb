// The cpu backend as the renderer table (platform/renderers.cpp) sees it: the
// Direct3D 9 subset drawn on the CPU into the window's own surface.
//
// Implements: available (always: the fallback), createDirect3D, deviceStatsOf.
// Does not: expose the backend's objects (cpu_device.h, for its own files only).
#pragma once

#include "../platform.h"

namespace fwd3d {
struct DeviceStats;
}

namespace fwcpu {

bool available();
IDirect3D9* createDirect3D();
bool deviceStatsOf(IDirect3DDevice9* device, fwd3d::DeviceStats* stats);  // false: not a cpu device

}  // namespace fwcpu
