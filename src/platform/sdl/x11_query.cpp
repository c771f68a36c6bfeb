// Pointer and window positions read from the X server itself, for GetCursorPos
// and GetWindowRect. SDL caches the global pointer position and refreshes it only
// on XInput2 raw motion, which pointer moves injected through XTEST (as under
// Xvfb) do not always produce; a direct query is always current, and taking the
// window's position from the same server keeps the two consistent.
// Only the X11 video driver is handled; elsewhere both report false and the
// callers fall back to SDL's own answers.
//
// Implements: the pointer and window positions of X11.
// Does not: other video drivers.
#include <SDL2/SDL_syswm.h>

#include "sdl_backend.h"

namespace fwsdl {

namespace {

bool x11Info(SDL_Window* window, SDL_SysWMinfo* info) {
    if (window == nullptr) return false;
    SDL_VERSION(&info->version);
    if (!SDL_GetWindowWMInfo(window, info)) return false;
    return info->subsystem == SDL_SYSWM_X11 && info->info.x11.display != nullptr;
}

}  // namespace

bool x11PointerPosition(SDL_Window* window, int* x, int* y) {
    SDL_SysWMinfo info;
    if (!x11Info(window, &info)) return false;
    Display* display = info.info.x11.display;
    ::Window root = 0, child = 0;
    int rootX = 0, rootY = 0, windowX = 0, windowY = 0;
    unsigned int mask = 0;
    if (!XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rootX, &rootY, &windowX, &windowY, &mask))
        return false;  // the pointer is on another screen
    *x = rootX;
    *y = rootY;
    return true;
}

bool x11ClientOrigin(SDL_Window* window, int* x, int* y) {
    SDL_SysWMinfo info;
    if (!x11Info(window, &info)) return false;
    Display* display = info.info.x11.display;
    ::Window child = 0;
    int rootX = 0, rootY = 0;
    if (!XTranslateCoordinates(display, info.info.x11.window, DefaultRootWindow(display), 0, 0, &rootX, &rootY, &child))
        return false;
    *x = rootX;
    *y = rootY;
    return true;
}

bool x11Sync(SDL_Window* window) {
    SDL_SysWMinfo info;
    if (!x11Info(window, &info)) return false;
    XSync(info.info.x11.display, False);
    return true;
}

}  // namespace fwsdl
