// The recording side of the backends' window seams: there is no window system,
// so there is nothing to hand out and nothing to repaint.
//
// Implements: the window side of layer.h for tests, and for fwgallery preview, which
//   draws into memory: no SDL window, no repaints.
// Does not: resources or child videos (common/ has those).
#include "platform/common/layer.h"

namespace fwlayer {

SDL_Window* windowSdlHandle(HWND) { return nullptr; }
ClientPlacement windowClientPlacement(HWND) { return {0, 0, 0, 0, 0, 0}; }
void windowSetRepaintHandler(HWND, RepaintHandler, void*) {}
void windowRequestRepaint(HWND) {}

}  // namespace fwlayer
