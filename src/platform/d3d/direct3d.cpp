// Direct3DCreate9: the Direct3D object of the backend chosen for this machine
// (common/renderer.cpp): gl where OpenGL has a GPU behind it, cpu otherwise.
//
// Implements: Direct3DCreate9 (D3D_SDK_VERSION only), deviceStats for devices of
//   either backend.
// Does not: mix backends in one process (the window side made its windows for the
//   chosen one: OpenGL windows for gl only).
#include "../cpu/cpu_device.h"
#include "../gl/gl_objects.h"

namespace fwd3d {

bool deviceStats(IDirect3DDevice9* device, DeviceStats* stats) {
    return fwgl::deviceStatsOf(device, stats) || fwcpu::deviceStatsOf(device, stats);
}

}  // namespace fwd3d

IDirect3D9* WINAPI Direct3DCreate9(UINT SDKVersion) {
    if (SDKVersion != D3D_SDK_VERSION) return nullptr;
    return fwlayer::chosenRenderer() == fwlayer::Renderer::Gl ? fwgl::createDirect3D() : fwcpu::createDirect3D();
}
