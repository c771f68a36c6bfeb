// What the layer's probes (tests/e2e/probes) and the Direct3D benchmark (tools/bench) share:
// a window and a device as the player makes them, the message pump, and the
// device's statistics as one "STATS" line. Both link the fw_d3d_harness library.
#pragma once

#include "platform/platform.h"

namespace d3dharness {

// One line on stdout, flushed at once: the test or the benchmark script reads it live.
void say(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The player's window size, shown at the screen's top left; null on failure.
HWND openWindow();

// The player's device (gfx/device_setup.h) on window, with its fixed state.
bool openDevice(HWND window, IDirect3D9** d3d, IDirect3DDevice9** device);

// A texel pattern no two neighbours share: red the column, green the row.
DWORD patternTexel(int x, int y);

// A size x size texture filled with texel(x, y); null when it cannot be made.
typedef DWORD (*TexelFn)(int x, int y);
IDirect3DTexture9* makeTexture(IDirect3DDevice9* device, int size, TexelFn texel);

// Dispatches the waiting messages; false once WM_QUIT arrives.
bool pump();

// "STATS <label> presents N drawn N partial N skipped N videoonly N repaints N
// preserved 0|1 copies N": key and value pairs.
void printStats(IDirect3DDevice9* device, const char* label);

}  // namespace d3dharness
