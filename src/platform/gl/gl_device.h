// What the gl backend tells its own tests and tools about a device: how many
// frames it drew and how many it found unchanged and skipped.
#pragma once

#include <cstdint>

#include "../platform.h"

namespace fwgl {

struct DeviceStats {
    uint64_t presents;           // pictures put on the window (whole or a part)
    uint64_t framesDrawn;        // frames replayed into OpenGL, whole or in part
    uint64_t partialRedraws;     // of those, frames redrawn only where they differ from the last
    uint64_t texelCopies;        // draws done as plain copies of texels (opaque 1:1 pictures)
    uint64_t framesSkipped;      // frames equal to the last one shown, with no new video: no OpenGL work
    uint64_t videoOnlyUpdates;   // presents and repaints that drew only the video areas
    uint64_t repaints;           // repaint requests from the window side that drew something
    bool backBufferPreserved;    // the back buffer keeps its content from one picture to the next
};

// False when device is not a device of this backend.
bool deviceStats(IDirect3DDevice9* device, DeviceStats* stats);

}  // namespace fwgl
