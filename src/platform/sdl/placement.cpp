// The client area on its SDL window: a whole scale for high-density screens, and
// fullscreen.
//
// Implements: chooseScale (FW_SCALE=N, N from 1 to 4; else the largest N whose
//   window fits the display's work area, at most Xft.dpi / 96 rounded down, 1 where
//   Xft.dpi is not set; a bad FW_SCALE, or one that does not fit, is said in one
//   line on stderr and the automatic or the largest fitting scale is taken);
//   placementOf and windowClientPlacement (the largest fit of the client area in the
//   window, centred: N times in a window of N times its size); clientPoint;
//   setFullscreen (SDL's fullscreen on the window's monitor, which asks the window
//   manager; the window is also moved and sized onto the monitor on the X server,
//   since without a window manager nothing else does it; leaving restores the
//   window's size and place).
// Does not: change the screen's mode, follow a window dragged to another monitor
//   while fullscreen, or resize the window in any other way (it stays fixed-size).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sdl_backend.h"

namespace fwsdl {

namespace {

const int kLargestScale = 4;
const double kBaseDpi = 96.0;

// FW_SCALE as a whole number from 1 to kLargestScale; 0 when unset or empty, -1 when bad.
int scaleAsked() {
    const char* text = std::getenv("FW_SCALE");
    if (text == nullptr || *text == '\0') return 0;
    if (std::strlen(text) == 1 && text[0] >= '1' && text[0] <= '0' + kLargestScale) return text[0] - '0';
    std::fprintf(stderr,
                 "fernwood2: FW_SCALE=\"%s\" is not a whole number from 1 to %d; the scale follows the screen\n", text,
                 kLargestScale);
    return -1;
}

}  // namespace

int chooseScale(int clientWidth, int clientHeight, const RECT& borders, int display) {
    int asked = scaleAsked();
    SDL_Rect area;
    if (SDL_GetDisplayUsableBounds(display, &area) != 0) area = {0, 0, clientWidth, clientHeight};
    int extraWidth = borders.left + borders.right, extraHeight = borders.top + borders.bottom;
    int fits = 1;
    while (fits < kLargestScale && (fits + 1) * clientWidth + extraWidth <= area.w &&
           (fits + 1) * clientHeight + extraHeight <= area.h)
        ++fits;
    if (asked > fits) {
        std::fprintf(
            stderr,
            "fernwood2: a window at FW_SCALE=%d (%d x %d) does not fit the screen's %d x %d; scale %d is used\n", asked,
            asked * clientWidth, asked * clientHeight, area.w, area.h, fits);
        return fits;
    }
    if (asked > 0) return asked;
    int forDensity = static_cast<int>(x11XftDpi() / kBaseDpi);
    return forDensity < 1 ? 1 : forDensity < fits ? forDensity : fits;
}

fwlayer::ClientPlacement placementOf(const WindowRecord* window) {
    fwlayer::ClientPlacement placement = {window->clientWidth, window->clientHeight, 0, 0, 0, 0};
    int width = 0, height = 0;
    SDL_GetWindowSize(window->sdl, &width, &height);
    if (width <= 0 || height <= 0 || window->clientWidth <= 0 || window->clientHeight <= 0) return placement;
    // The largest fit: as wide as the window, unless that is too tall.
    long long wide = static_cast<long long>(height) * window->clientWidth;
    long long tall = static_cast<long long>(width) * window->clientHeight;
    placement.width = wide >= tall ? width : static_cast<int>(wide / window->clientHeight);
    placement.height = wide >= tall ? static_cast<int>(tall / window->clientWidth) : height;
    placement.left = (width - placement.width) / 2;
    placement.top = (height - placement.height) / 2;
    return placement;
}

bool clientPoint(const WindowRecord* window, int x, int y, int* clientX, int* clientY) {
    fwlayer::ClientPlacement placement = placementOf(window);
    *clientX = fwlayer::clientOf(x, placement.clientWidth, placement.left, placement.width);
    *clientY = fwlayer::clientOf(y, placement.clientHeight, placement.top, placement.height);
    return *clientX >= 0 && *clientX < placement.clientWidth && *clientY >= 0 && *clientY < placement.clientHeight;
}

void setFullscreen(WindowRecord* window, bool on) {
    if (on == window->fullscreen) return;
    SDL_Window* sdl = window->sdl;
    if (on) {
        SDL_Rect monitor;
        if (SDL_GetDisplayBounds(SDL_GetWindowDisplayIndex(sdl), &monitor) != 0) return;
        SDL_GetWindowPosition(sdl, &window->windowed.x, &window->windowed.y);
        SDL_GetWindowSize(sdl, &window->windowed.w, &window->windowed.h);
        SDL_SetWindowFullscreen(sdl, SDL_WINDOW_FULLSCREEN_DESKTOP);
        x11MoveResize(sdl, monitor);
    } else {
        SDL_SetWindowFullscreen(sdl, 0);
        SDL_SetWindowSize(sdl, window->windowed.w, window->windowed.h);
        SDL_SetWindowPosition(sdl, window->windowed.x, window->windowed.y);
    }
    window->fullscreen = on;
    // SDL unmaps and maps it on the way, and the focus went with the unmapping: the
    // keys must come back to it once it is mapped again.
    x11WaitViewable(sdl);
    SDL_RaiseWindow(sdl);
    SDL_SetWindowInputFocus(sdl);
    fwlayer::childVideoOwnerPlaced(handleOf(window));
}

}  // namespace fwsdl

namespace fwlayer {

ClientPlacement windowClientPlacement(HWND hwnd) {
    // Destroyed windows still answer, as windowSdlHandle does: their device may outlive them.
    for (int slot = 0; fwsdl::WindowRecord* window = fwsdl::windowSlot(slot); ++slot)
        if (fwsdl::handleOf(window) == hwnd && window->used) return fwsdl::placementOf(window);
    return {0, 0, 0, 0, 0, 0};
}

}  // namespace fwlayer
