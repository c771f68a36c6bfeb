// Pointer and window positions read from the X server itself, for GetCursorPos
// and GetWindowRect; the display's Xft.dpi resource; a window moved and sized
// where no window manager does it, and waited for until it is mapped again; the X
// screen saver extension's suspension lifted. SDL caches the global pointer
// position and refreshes it only on XInput2 raw motion, which pointer moves injected through XTEST (as under Xvfb) do
// not always produce; a direct query is always current, and taking the window's position from the same server keeps the
// two consistent. Only the X11 video driver is handled; elsewhere both report false and the callers fall back to SDL's
// own answers.
//
// Implements: the pointer and window positions of X11, Xft.dpi, XMoveResizeWindow,
//   XScreenSaverSuspend(False).
// Does not: other video drivers.
#include <SDL2/SDL_syswm.h>
#include <X11/extensions/scrnsaver.h>

#include <cstdlib>

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

double x11XftDpi() {
    // A connection of its own: asked once, before the first window exists.
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return 0.0;
    const char* value = XGetDefault(display, "Xft", "dpi");
    double dpi = value ? std::strtod(value, nullptr) : 0.0;
    XCloseDisplay(display);
    return dpi > 0.0 ? dpi : 0.0;
}

bool x11MoveResize(SDL_Window* window, const SDL_Rect& rect) {
    SDL_SysWMinfo info;
    if (!x11Info(window, &info)) return false;
    XMoveResizeWindow(info.info.x11.display, info.info.x11.window, rect.x, rect.y, static_cast<unsigned>(rect.w),
                      static_cast<unsigned>(rect.h));
    XSync(info.info.x11.display, False);
    return true;
}

bool x11WaitViewable(SDL_Window* window) {
    SDL_SysWMinfo info;
    if (!x11Info(window, &info)) return false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        XWindowAttributes attributes;
        XSync(info.info.x11.display, False);
        if (XGetWindowAttributes(info.info.x11.display, info.info.x11.window, &attributes) &&
            attributes.map_state == IsViewable)
            return true;
        SDL_Delay(2);
    }
    return false;
}

bool x11ResumeScreenSaver() {
    // Any window: they all share SDL's connection, which holds the suspension.
    SDL_SysWMinfo info;
    for (int slot = 0; WindowRecord* window = windowSlot(slot); ++slot) {
        if (!window->used || !x11Info(window->sdl, &info)) continue;
        int event = 0, error = 0;
        if (!XScreenSaverQueryExtension(info.info.x11.display, &event, &error)) return false;
        XScreenSaverSuspend(info.info.x11.display, False);
        XFlush(info.info.x11.display);
        return true;
    }
    return false;
}

bool x11Sync(SDL_Window* window) {
    SDL_SysWMinfo info;
    if (!x11Info(window, &info)) return false;
    XSync(info.info.x11.display, False);
    return true;
}

}  // namespace fwsdl
