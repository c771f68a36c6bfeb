// The player's Direct3D device as one description: the presentation parameters,
// the creation attempts and the fixed pipeline state all drawing relies on. The
// player's createDevice, the Direct3D benchmark and probe all make their device
// with it, so that they run with exactly the player's state.
#pragma once

#include "platform/platform.h"

// Windowed, 800 x 600, with a 16-bit depth buffer, presenting immediately.
void describePlayerDevice(HWND window, D3DPRESENT_PARAMETERS* params);

// Hardware vertex processing first, then software, and software once more; the
// device, or null with *device null.
IDirect3DDevice9* createDeviceWithFallbacks(IDirect3D9* d3d, HWND window, D3DPRESENT_PARAMETERS* params,
                                            IDirect3DDevice9** device);

// The fixed render, texture-stage and sampler states; false when the device
// refused one (every one is still tried).
bool setPlayerDeviceState(IDirect3DDevice9* device);
