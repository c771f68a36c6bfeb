// What each Direct3D 9 backend counts of its device's work, read by the tools and
// the end-to-end probes (platform/renderers.h's deviceStats).
//
// Implements: the record; the backends fill it in.
// Does not: reset or time anything.
#pragma once

#include <cstdint>

namespace fwd3d {

struct DeviceStats {
    uint64_t presents;          // pictures put on the window (whole or a part)
    uint64_t framesDrawn;       // frames drawn, whole or in part
    uint64_t partialRedraws;    // of those, frames redrawn only where they differ from the last
    uint64_t texelCopies;       // draws done as plain copies of texels (opaque 1:1 pictures)
    uint64_t framesSkipped;     // frames equal to the last one shown, with no new video: nothing drawn
    uint64_t videoOnlyUpdates;  // presents and repaints that drew only the video areas
    uint64_t repaints;          // repaint requests from the window side that drew something
    uint64_t videoPuts;         // video frames the X server took from shared memory, uncopied
    bool backBufferPreserved;   // the back buffer keeps its content from one picture to the next
};

}  // namespace fwd3d
