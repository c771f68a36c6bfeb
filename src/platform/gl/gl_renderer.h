// The gl backend as the renderer table (platform/renderers.cpp) sees it: the
// Direct3D 9 subset on OpenGL 2.1. Includes no OpenGL header.
//
// Implements: available (where OpenGL has a GPU behind it: a render node under
//   /dev/dri, and LIBGL_ALWAYS_SOFTWARE unset or "0"), createDirect3D, deviceStatsOf.
// Does not: load OpenGL or make a context to decide (see available).
#pragma once

#include "../platform.h"

namespace fwd3d {
struct DeviceStats;
}

namespace fwgl {

bool available();
IDirect3D9* createDirect3D();
bool deviceStatsOf(IDirect3DDevice9* device, fwd3d::DeviceStats* stats);  // false: not a gl device

}  // namespace fwgl
