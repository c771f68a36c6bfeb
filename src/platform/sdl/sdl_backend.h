// What the files of the sdl backend share: the window table, the video
// subsystem's start, the message queue's hooks, the client area's placement on
// its window, and the keys. Main thread only, except where a function says
// otherwise.
//
// Implements: the backend's shared declarations.
// Does not: anything the program or other backends call (they see layer.h).
#pragma once

#include <atomic>
#include <cstdint>

#include <SDL2/SDL.h>

#include "../common/layer.h"

namespace fwsdl {

const int kMaxWindowClasses = 8;
const int kMaxWindows = 8;  // slots are never reused, so a stale HWND stays invalid
const int kMaxClassName = 64;

struct WindowClass {
    bool used;
    char name[kMaxClassName];
    ATOM atom;
    UINT style;
    WNDPROC windowProc;
    HICON icon;
    HCURSOR cursor;
};

struct WindowRecord {
    std::atomic<bool> alive;           // read by windowRequestRepaint on any thread
    std::atomic<bool> repaintPending;  // a repaint event is in SDL's queue
    bool used;
    SDL_Window* sdl;  // kept (hidden) after destruction, see destroyWindow
    uint32_t sdlId;
    const WindowClass* windowClass;
    DWORD style;
    DWORD exStyle;
    LONG_PTR userData;
    fwlayer::RepaintHandler repaintHandler;
    void* repaintUser;
    int clientWidth, clientHeight;  // the client area, in the program's units
    bool fullscreen;
    SDL_Rect windowed;  // the window's place and size before fullscreen
};

// Starts SDL's video subsystem once; false when there is no display.
bool ensureVideo();
bool videoReady();
// The SDL event type of repaint requests (event.user.code is the window slot).
uint32_t repaintEventType();

WindowRecord* windowSlot(int index);
// Live windows only; null for null, stale or foreign handles.
WindowRecord* windowFromHandle(HWND hwnd);
WindowRecord* windowFromSdlId(uint32_t id);
HWND handleOf(const WindowRecord* window);
int slotOf(const WindowRecord* window);

// The window procedure's answer, called synchronously (SendMessage).
LRESULT sendMessage(WindowRecord* window, UINT message, WPARAM wParam, LPARAM lParam);
// DestroyWindow: WM_DESTROY and WM_NCDESTROY, then the window is gone.
void destroyWindow(WindowRecord* window);

// Screen position of the SDL window's top-left corner, as the X server knows it.
bool clientOrigin(const WindowRecord* window, int* x, int* y);
// The outer frame around the client area for a style, in the border metrics.
void frameBorders(DWORD style, DWORD exStyle, RECT* borders);

// Called by the window side: forget queued messages of a destroyed window.
void dropQueuedMessages(HWND hwnd);
// Called by the message queue when a capture-holding window goes away.
void releaseCaptureOf(WindowRecord* window);
bool holdsCapture(const WindowRecord* window);

}  // namespace fwsdl

namespace fwsdl {

// Ends a Sleep in progress on the main thread (system.cpp): a repaint waits for the pump.
void wakeSleep();

// Asked of the X server directly (x11_query.cpp), since SDL's cached global mouse
// state can lag behind pointer moves made with XTEST. False when the window is not
// on X11.
bool x11PointerPosition(SDL_Window* window, int* x, int* y);
bool x11ClientOrigin(SDL_Window* window, int* x, int* y);
// The X resource Xft.dpi of the display, or 0 when it has none (or there is no display).
double x11XftDpi();
// Moves and sizes the window on the X server, as no window manager does for it.
bool x11MoveResize(SDL_Window* window, const SDL_Rect& rect);
// Waits (up to about 200 ms) until the window is mapped: SDL maps it anew on a resize,
// and the keyboard focus can only be given to a mapped window.
bool x11WaitViewable(SDL_Window* window);
// Lifts SDL's suspension of the X screen saver extension's saver: SDL 2.26 lifts
// only a D-Bus inhibition, and where the session has no screen saver service the
// suspension it made instead would stay (libsdl-org/SDL#15420).
bool x11ResumeScreenSaver();
// Waits until the X server has handled every request so far (a focus change).
bool x11Sync(SDL_Window* window);

}  // namespace fwsdl

namespace fwsdl {

// The client area on its window (placement.cpp). The program sees its client area
// in its own units (the size it made the window); the SDL window is that size times
// a whole scale, or the monitor in fullscreen, and the client area is drawn at the
// largest fit, centred.
//
// The whole scale of a new window whose client area is clientWidth x clientHeight
// (FW_SCALE, else from Xft.dpi and the display's work area), said on stderr when
// FW_SCALE cannot be had.
int chooseScale(int clientWidth, int clientHeight, const RECT& borders, int display);
fwlayer::ClientPlacement placementOf(const WindowRecord* window);
// A point of the SDL window in client units; false when it lies outside the client area.
bool clientPoint(const WindowRecord* window, int x, int y, int* clientX, int* clientY);
// Into or out of fullscreen on the window's monitor; leaving restores its size and place.
void setFullscreen(WindowRecord* window, bool on);

// The keys (keys.cpp).
struct KeyMessage {
    UINT message;  // 0: a key without a virtual-key code, not delivered
    WPARAM wParam;
    LPARAM lParam;
};
UINT virtualKey(const SDL_Keysym& key);
KeyMessage keyMessage(const SDL_KeyboardEvent& event);
// True when the key (or its release, or its repeat) is the layer's own: F11 and
// Alt+Enter toggle fullscreen, Escape leaves it.
bool takeLayerKey(WindowRecord* window, const SDL_KeyboardEvent& event);

// The session's end from outside the window (session_end.cpp): SIGHUP, SIGINT and
// SIGTERM, watched from the process's start (the player's main calls it), and the
// X server going away, watched on the display of the first window. From the first
// of them on, sessionEnding() is true (any thread): the pump closes every window
// once and message boxes are not shown.
void watchSessionEnd();
bool sessionEnding();
bool displayLost();
void watchDisplayLoss(SDL_Window* window);

// The picture of an icon from LoadIconA, as a 32-bit ARGB surface owned by the
// icon; null for handles that are not icons of ours.
SDL_Surface* iconSurface(HICON icon);

}  // namespace fwsdl
