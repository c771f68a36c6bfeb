// What the gl backend tells its own tests and tools about a device: how many
// frames it drew and how many it found unchanged and skipped.
#pragma once

#include <cstdint>

#include "../platform.h"

namespace fwgl {

struct DeviceStats {
    uint64_t presents;           // Present calls that reached the window
    uint64_t framesDrawn;        // frames replayed into OpenGL and swapped
    uint64_t framesSkipped;      // frames equal to the last one shown, with no new video: no OpenGL work
    uint64_t videoOnlyUpdates;   // presents and repaints that drew only the video areas
    uint64_t repaints;           // repaint requests from the window side that drew something
    bool backBufferPreserved;    // the back buffer keeps its content across a swap
};

// False when device is not a device of this backend.
bool deviceStats(IDirect3DDevice9* device, DeviceStats* stats);

}  // namespace fwgl
