// The recording side of the backends' window seams: there is no window system,
// so there is nothing to hand out and nothing to repaint.
#include "platform/common/layer.h"

namespace fwlayer {

SDL_Window* windowSdlHandle(HWND) { return nullptr; }
void windowSetRepaintHandler(HWND, RepaintHandler, void*) {}
void windowRequestRepaint(HWND) {}

}  // namespace fwlayer
