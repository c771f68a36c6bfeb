// The renderer table (renderers.h) and Direct3DCreate9. Loading a software OpenGL
// costs time and memory before the first frame and CPU on every frame; the choice is
// therefore made from the environment and the device nodes alone (each backend's
// available), never by making an OpenGL context.
//
// Implements: FW_RENDERER=gl|cpu (other values are ignored); otherwise gl where
//   OpenGL has a GPU behind it (gl/gl_renderer.h), cpu everywhere else;
//   Direct3DCreate9 (D3D_SDK_VERSION only) of the chosen backend.
// Does not: ask a driver what it is (a render node of a driver without OpenGL
//   still picks gl; FW_RENDERER=cpu overrides).
#include "renderers.h"

#include <cstdlib>
#include <cstring>

#include "cpu/cpu_renderer.h"
#include "gl/gl_renderer.h"

namespace fwlayer {

namespace {

const RendererDriver kRenderers[] = {
    {Renderer::Gl, "gl", fwgl::available, fwgl::createDirect3D, fwgl::deviceStatsOf},
    {Renderer::Cpu, "cpu", fwcpu::available, fwcpu::createDirect3D, fwcpu::deviceStatsOf},
};

const RendererDriver& decide() {
    const char* forced = std::getenv("FW_RENDERER");
    for (const RendererDriver& driver : kRenderers)
        if (forced && std::strcmp(forced, driver.name) == 0) return driver;
    for (const RendererDriver& driver : kRenderers)
        if (driver.available()) return driver;
    return kRenderers[sizeof kRenderers / sizeof kRenderers[0] - 1];
}

}  // namespace

const RendererDriver& chosenRendererDriver() {
    static const RendererDriver& chosen = decide();
    return chosen;
}

Renderer chosenRenderer() { return chosenRendererDriver().kind; }

bool deviceStats(IDirect3DDevice9* device, fwd3d::DeviceStats* stats) {
    for (const RendererDriver& driver : kRenderers)
        if (driver.stats(device, stats)) return true;
    return false;
}

}  // namespace fwlayer

IDirect3D9* WINAPI Direct3DCreate9(UINT SDKVersion) {
    if (SDKVersion != D3D_SDK_VERSION) return nullptr;
    return fwlayer::chosenRendererDriver().create();
}
