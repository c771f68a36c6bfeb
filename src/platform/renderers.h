// The Direct3D backends the layer has, and which of them draws: one table above the
// backends (renderers.cpp), read by Direct3DCreate9, by the window side (an OpenGL
// window or not, through layer.h's chosenRenderer) and by the tools' statistics.
//
// Implements: the table (name, available, create, stats) and the choice from it.
// Does not: mix backends in one process (the window side made its windows for the
//   chosen one: OpenGL windows for gl only).
#pragma once

#include "common/layer.h"
#include "d3d/device_stats.h"

namespace fwlayer {

struct RendererDriver {
    Renderer kind;
    const char* name;  // what FW_RENDERER names it by
    // Whether it should draw here when nothing forces a choice; asked in the
    // table's order, without loading any library.
    bool (*available)();
    IDirect3D9* (*create)();
    // The device's statistics; false when the device is not one of this backend's.
    bool (*stats)(IDirect3DDevice9* device, fwd3d::DeviceStats* stats);
};

// The backend that draws in this process, decided once: FW_RENDERER=<name> forces
// one; otherwise the first available.
const RendererDriver& chosenRendererDriver();

// The device's statistics, whichever backend made it; false when it is not one of ours.
bool deviceStats(IDirect3DDevice9* device, fwd3d::DeviceStats* stats);

}  // namespace fwlayer
