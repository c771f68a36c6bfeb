// The window side of the Win32 subset on SDL2.
// Implements RegisterClassA; CreateWindowExA for top-level windows (an SDL window
// with an OpenGL surface for the gl backend (a plain one for cpu: layer.h,
// "Renderer choice"), its client area the outer size less the frame that
// GetSystemMetrics describes, shown at a whole scale (placement.cpp: FW_SCALE, or
// from the screen's density), never resizable by the program; the title and the
// class icon shown); DefWindowProcA (WM_CLOSE destroys the window,
// WM_QUERYENDSESSION answers TRUE, everything else 0); GetWindowRect;
// Set/GetWindowLongPtrA for GWLP_USERDATA; GetSystemMetrics for the frame metrics
// and the screen size; SetCapture and ReleaseCapture (SDL_CaptureMouse: moves
// outside the window keep arriving while the capture is held); GetCursorPos (asked
// of the X server); and the layer's window seams (windowSdlHandle,
// windowSetRepaintHandler, windowRequestRepaint; windowClientPlacement is
// placement.cpp's).
// Whatever the scale or fullscreen, the program sees its client area in its own
// units: GetWindowRect is the client area's size around the window's place on the
// screen, and GetCursorPos is that place plus the pointer's offset from it taken
// back into client units, so a position computed from the two is a client one.
// Creation sends WM_SIZE and WM_MOVE to the window procedure, not WM_NCCREATE or
// WM_CREATE; destruction sends WM_DESTROY and WM_NCDESTROY.
// Not supported: child windows, class styles, resizable frames (WS_THICKFRAME is
// drawn as a fixed frame), menus, other window longs (0 is returned), a second
// registration of a class name (the atom 0). There is no window manager frame of
// our own: whether the window system decorates the window or not, the border
// metrics below describe a virtual frame around the client area, and
// GetWindowRect reports the client rectangle widened by it.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "sdl_backend.h"

namespace fwsdl {

namespace {

// The frame metrics of a classic fixed-frame window with a client edge. Only
// their sums matter: the program sizes its window with them and takes them off
// again to find its client area.
const int kFixedFrame = 3;  // SM_CXFIXEDFRAME, SM_CYFIXEDFRAME
const int kEdge = 2;        // SM_CXEDGE, SM_CYEDGE
const int kCaption = 19;    // SM_CYCAPTION

WindowClass gClasses[kMaxWindowClasses];
WindowRecord gWindows[kMaxWindows];
ATOM gNextAtom = 0xC000;  // where Windows numbers registered classes from

bool gVideoTried = false;
bool gVideoReady = false;
uint32_t gRepaintEvent = 0;

HWND gCapture = nullptr;

WindowClass* findClass(LPCSTR name) {
    if (name == nullptr) return nullptr;
    ULONG_PTR value = reinterpret_cast<ULONG_PTR>(name);
    for (WindowClass& windowClass : gClasses) {
        if (!windowClass.used) continue;
        // Class names compare without regard to case, as on Windows.
        if (value <= 0xFFFF ? windowClass.atom == value : strcasecmp(windowClass.name, name) == 0) return &windowClass;
    }
    return nullptr;
}

}  // namespace

bool ensureVideo() {
    if (gVideoTried) return gVideoReady;
    gVideoTried = true;
    // The program ends through its own window messages: closing the last window
    // is only a WM_CLOSE, and so is an interrupt or termination signal (the
    // player watches them itself from its start, session_end.cpp; SDL's own
    // handlers, installed only where none is, turn them into SDL_QUIT).
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "0");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // The mouse is captured only by SetCapture, as on Windows.
    SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "0");
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    // The layer reads the pointer from the X server, so only X will do: without a
    // display SDL would otherwise fall back to an off-screen driver and the player
    // would run with no window to see.
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "fernwood2: no display: %s\n", SDL_GetError());
        return false;
    }
    gRepaintEvent = SDL_RegisterEvents(1);
    if (gRepaintEvent == static_cast<uint32_t>(-1)) return false;
    gVideoReady = true;
    return true;
}

bool videoReady() { return gVideoReady; }
uint32_t repaintEventType() { return gRepaintEvent; }

WindowRecord* windowSlot(int index) {
    if (index < 0 || index >= kMaxWindows) return nullptr;
    return &gWindows[index];
}

int slotOf(const WindowRecord* window) { return static_cast<int>(window - gWindows); }

HWND handleOf(const WindowRecord* window) {
    return window == nullptr ? nullptr : reinterpret_cast<HWND>(const_cast<WindowRecord*>(window));
}

WindowRecord* windowFromHandle(HWND hwnd) {
    for (WindowRecord& window : gWindows)
        if (reinterpret_cast<HWND>(&window) == hwnd && window.used && window.alive.load()) return &window;
    return nullptr;
}

WindowRecord* windowFromSdlId(uint32_t id) {
    for (WindowRecord& window : gWindows)
        if (window.used && window.alive.load() && window.sdlId == id) return &window;
    return nullptr;
}

LRESULT sendMessage(WindowRecord* window, UINT message, WPARAM wParam, LPARAM lParam) {
    return window->windowClass->windowProc(handleOf(window), message, wParam, lParam);
}

void frameBorders(DWORD style, DWORD exStyle, RECT* borders) {
    int side = 0, top = 0;
    if ((style & (WS_DLGFRAME | WS_THICKFRAME)) != 0) {
        side += kFixedFrame;
        top += kFixedFrame;
    }
    if ((style & WS_CAPTION) == WS_CAPTION) top += kCaption;
    if ((exStyle & WS_EX_CLIENTEDGE) != 0) {
        side += kEdge;
        top += kEdge;
    }
    borders->left = side;
    borders->top = top;
    borders->right = side;
    borders->bottom = side;  // the frame below is as wide as at the sides
}

bool clientOrigin(const WindowRecord* window, int* x, int* y) {
    if (x11ClientOrigin(window->sdl, x, y)) return true;
    SDL_GetWindowPosition(window->sdl, x, y);
    return true;
}

bool holdsCapture(const WindowRecord* window) { return gCapture != nullptr && gCapture == handleOf(window); }

void releaseCaptureOf(WindowRecord* window) {
    if (gCapture != handleOf(window)) return;
    gCapture = nullptr;
    SDL_CaptureMouse(SDL_FALSE);
    sendMessage(window, WM_CAPTURECHANGED, 0, 0);
}

void destroyWindow(WindowRecord* window) {
    releaseCaptureOf(window);
    sendMessage(window, WM_DESTROY, 0, 0);
    sendMessage(window, WM_NCDESTROY, 0, 0);
    window->alive.store(false);
    dropQueuedMessages(handleOf(window));
    // The SDL window is hidden, not destroyed: a Direct3D device made on it may
    // outlive the HWND (the program releases it later), and its GL context must
    // not lose its drawable under it. It goes with the process. On a display that
    // has gone, hiding would wait for ever for the server's answer.
    if (!displayLost()) SDL_HideWindow(window->sdl);
}

}  // namespace fwsdl

using namespace fwsdl;

// --- Layer seams -------------------------------------------------------------------

namespace fwlayer {

SDL_Window* windowSdlHandle(HWND hwnd) {
    // Destroyed windows still answer: their device may be released after them.
    for (WindowRecord& window : gWindows)
        if (reinterpret_cast<HWND>(&window) == hwnd && window.used) return window.sdl;
    return nullptr;
}

void windowSetRepaintHandler(HWND hwnd, RepaintHandler handler, void* user) {
    WindowRecord* window = windowFromHandle(hwnd);
    if (window == nullptr) return;
    window->repaintHandler = handler;
    window->repaintUser = user;
}

void windowRequestRepaint(HWND hwnd) {
    // Any thread: only the atomics of the slot are touched before the push.
    WindowRecord* window = nullptr;
    for (WindowRecord& candidate : gWindows)
        if (reinterpret_cast<HWND>(&candidate) == hwnd) window = &candidate;
    if (window == nullptr || !window->alive.load()) return;
    if (window->repaintPending.exchange(true)) return;  // one is on its way already
    SDL_Event event;
    std::memset(&event, 0, sizeof event);
    event.type = gRepaintEvent;
    event.user.code = slotOf(window);
    // Pushing wakes a pump blocked in SDL_WaitEvent.
    if (SDL_PushEvent(&event) != 1) {
        window->repaintPending.store(false);
        return;
    }
    wakeSleep();
}

}  // namespace fwlayer

// --- Win32 ---------------------------------------------------------------------------

ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass) {
    if (lpWndClass == nullptr || lpWndClass->lpfnWndProc == nullptr || lpWndClass->lpszClassName == nullptr) return 0;
    if (reinterpret_cast<ULONG_PTR>(lpWndClass->lpszClassName) <= 0xFFFF) return 0;
    if (std::strlen(lpWndClass->lpszClassName) >= static_cast<size_t>(kMaxClassName)) return 0;
    if (findClass(lpWndClass->lpszClassName) != nullptr) return 0;  // already registered
    for (WindowClass& windowClass : gClasses) {
        if (windowClass.used) continue;
        windowClass.used = true;
        std::strcpy(windowClass.name, lpWndClass->lpszClassName);
        windowClass.atom = gNextAtom++;
        windowClass.style = lpWndClass->style;
        windowClass.windowProc = lpWndClass->lpfnWndProc;
        windowClass.icon = lpWndClass->hIcon;
        windowClass.cursor = lpWndClass->hCursor;
        return windowClass.atom;
    }
    return 0;
}

namespace {

WindowRecord* freeWindowRecord() {
    for (WindowRecord& candidate : gWindows)
        if (!candidate.used) return &candidate;
    return nullptr;
}

// The SDL window for a top-level window of this outer size and place, at the scale
// chosen for it; the client size it was given.
SDL_Window* makeSdlWindow(LPCSTR name, DWORD style, DWORD exStyle, int X, int Y, int width, int height,
                          int* clientWidth, int* clientHeight) {
    RECT borders;
    frameBorders(style, exStyle, &borders);
    *clientWidth = std::max(1, width == CW_USEDEFAULT ? 640 : width - borders.left - borders.right);
    *clientHeight = std::max(1, width == CW_USEDEFAULT ? 480 : height - borders.top - borders.bottom);
    // The default place is the middle of the screen, which leaves room around the
    // window on every side.
    int x = X == CW_USEDEFAULT ? SDL_WINDOWPOS_CENTERED : X + borders.left;
    int y = X == CW_USEDEFAULT ? SDL_WINDOWPOS_CENTERED : Y + borders.top;
    SDL_Point corner = {X == CW_USEDEFAULT ? 0 : x, X == CW_USEDEFAULT ? 0 : y};
    int display = X == CW_USEDEFAULT ? 0 : std::max(0, SDL_GetPointDisplayIndex(&corner));
    int scale = chooseScale(*clientWidth, *clientHeight, borders, display);
    // An OpenGL window loads the OpenGL library and makes a context to learn its
    // extensions: only for the gl backend.
    Uint32 flags = fwlayer::chosenRenderer() == fwlayer::Renderer::Gl ? SDL_WINDOW_OPENGL : 0;
    flags |= (style & WS_VISIBLE) != 0 ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN;
    if ((style & WS_CAPTION) != WS_CAPTION) flags |= SDL_WINDOW_BORDERLESS;
    std::string title = fwlayer::cp932ToUtf8(name != nullptr ? name : "");
    SDL_Window* sdl = SDL_CreateWindow(title.c_str(), x, y, scale * *clientWidth, scale * *clientHeight, flags);
    if (sdl == nullptr) std::fprintf(stderr, "fernwood2: cannot create a window: %s\n", SDL_GetError());
    return sdl;
}

void fillWindowRecord(WindowRecord* window, SDL_Window* sdl, const WindowClass* windowClass, DWORD style, DWORD exStyle,
                      int clientWidth, int clientHeight) {
    window->used = true;
    window->sdl = sdl;
    window->sdlId = SDL_GetWindowID(sdl);
    window->windowClass = windowClass;
    window->style = style;
    window->exStyle = exStyle;
    window->userData = 0;
    window->repaintHandler = nullptr;
    window->repaintUser = nullptr;
    window->clientWidth = clientWidth;
    window->clientHeight = clientHeight;
    window->fullscreen = false;
    window->windowed = {0, 0, 0, 0};
    window->repaintPending.store(false);
    window->alive.store(true);
}

}  // namespace

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                            int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                            LPVOID lpParam) {
    (void)hInstance;
    (void)lpParam;
    const WindowClass* windowClass = findClass(lpClassName);
    if (windowClass == nullptr) return nullptr;
    if ((dwStyle & WS_CHILD) != 0 || hWndParent != nullptr || hMenu != nullptr) return nullptr;
    WindowRecord* window = freeWindowRecord();
    if (window == nullptr || !ensureVideo()) return nullptr;
    int clientWidth = 0, clientHeight = 0;
    SDL_Window* sdl =
        makeSdlWindow(lpWindowName, dwStyle, dwExStyle, X, Y, nWidth, nHeight, &clientWidth, &clientHeight);
    if (sdl == nullptr) return nullptr;
    if (SDL_Surface* icon = iconSurface(windowClass->icon)) SDL_SetWindowIcon(sdl, icon);
    fillWindowRecord(window, sdl, windowClass, dwStyle, dwExStyle, clientWidth, clientHeight);
    watchDisplayLoss(sdl);
    if ((dwStyle & WS_VISIBLE) != 0) {
        // A new top-level window becomes the active one; without the keyboard focus
        // SDL would refuse to capture the mouse for it.
        SDL_RaiseWindow(sdl);
        SDL_SetWindowInputFocus(sdl);
    }
    HWND hwnd = handleOf(window);
    sendMessage(window, WM_SIZE, 0, MAKELPARAM(clientWidth, clientHeight));
    int originX = 0, originY = 0;
    clientOrigin(window, &originX, &originY);
    if (windowFromHandle(hwnd) != nullptr) sendMessage(window, WM_MOVE, 0, MAKELPARAM(originX, originY));
    return windowFromHandle(hwnd) != nullptr ? hwnd : nullptr;
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    (void)wParam;
    (void)lParam;
    if (Msg == WM_CLOSE) {
        if (WindowRecord* window = windowFromHandle(hWnd)) destroyWindow(window);
    }
    return Msg == WM_QUERYENDSESSION ? TRUE : 0;  // the session may end
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
    WindowRecord* window = windowFromHandle(hWnd);
    if (window == nullptr || lpRect == nullptr) return FALSE;
    int x = 0, y = 0;
    clientOrigin(window, &x, &y);
    RECT borders;
    frameBorders(window->style, window->exStyle, &borders);
    lpRect->left = x - borders.left;
    lpRect->top = y - borders.top;
    lpRect->right = x + window->clientWidth + borders.right;
    lpRect->bottom = y + window->clientHeight + borders.bottom;
    return TRUE;
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    WindowRecord* window = windowFromHandle(hWnd);
    if (window == nullptr || nIndex != GWLP_USERDATA) return 0;
    LONG_PTR previous = window->userData;
    window->userData = dwNewLong;
    return previous;
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex) {
    WindowRecord* window = windowFromHandle(hWnd);
    if (window == nullptr || nIndex != GWLP_USERDATA) return 0;
    return window->userData;
}

int WINAPI GetSystemMetrics(int nIndex) {
    switch (nIndex) {
    case SM_CXFIXEDFRAME:
    case SM_CYFIXEDFRAME: return kFixedFrame;
    case SM_CXEDGE:
    case SM_CYEDGE: return kEdge;
    case SM_CYCAPTION: return kCaption;
    case SM_CXSCREEN:
    case SM_CYSCREEN: {
        SDL_DisplayMode mode;
        if (!ensureVideo() || SDL_GetDesktopDisplayMode(0, &mode) != 0) return 0;
        return nIndex == SM_CXSCREEN ? mode.w : mode.h;
    }
    default: return 0;  // as Windows answers an index it does not know
    }
}

HWND WINAPI SetCapture(HWND hWnd) {
    WindowRecord* window = windowFromHandle(hWnd);
    if (window == nullptr) return nullptr;
    HWND previous = gCapture;
    if (previous == hWnd) return previous;
    if (WindowRecord* loser = windowFromHandle(previous)) {
        gCapture = nullptr;
        sendMessage(loser, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hWnd));
    }
    gCapture = hWnd;
    // SDL captures only for the window with the keyboard focus. A window that was
    // clicked is the active one on Windows, so it takes the focus here if it had
    // lost it (to a message box, say), and the capture is tried again once SDL has
    // seen the focus arrive.
    if (SDL_CaptureMouse(SDL_TRUE) != 0) {
        SDL_SetWindowInputFocus(window->sdl);
        for (int attempt = 0; attempt < 50; ++attempt) {
            x11Sync(window->sdl);
            SDL_PumpEvents();
            if (SDL_CaptureMouse(SDL_TRUE) == 0) break;
            SDL_Delay(2);
        }
    }
    return previous;
}

BOOL WINAPI ReleaseCapture(void) {
    if (WindowRecord* window = windowFromHandle(gCapture)) {
        releaseCaptureOf(window);
    } else {
        gCapture = nullptr;
        if (videoReady()) SDL_CaptureMouse(SDL_FALSE);
    }
    return TRUE;
}

BOOL WINAPI GetCursorPos(LPPOINT lpPoint) {
    if (lpPoint == nullptr || !ensureVideo()) return FALSE;
    int x = 0, y = 0;
    bool known = false;
    for (WindowRecord& window : gWindows)
        if (!known && window.used && window.sdl != nullptr) known = x11PointerPosition(window.sdl, &x, &y);
    if (!known) SDL_GetGlobalMouseState(&x, &y);
    // Relative to the first live window, in its client units (see the top).
    for (WindowRecord& window : gWindows) {
        if (!window.used || !window.alive.load()) continue;
        int originX = 0, originY = 0, clientX = 0, clientY = 0;
        clientOrigin(&window, &originX, &originY);
        clientPoint(&window, x - originX, y - originY, &clientX, &clientY);
        x = originX + clientX;
        y = originY + clientY;
        break;
    }
    lpPoint->x = x;
    lpPoint->y = y;
    return TRUE;
}
