// What the files of the sdl backend share: the window table, the video
// subsystem's start, and the message queue's hooks. Main thread only, except
// where a function says otherwise.
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

// Screen position of the client area's top-left corner, as the X server knows it.
bool clientOrigin(const WindowRecord* window, int* x, int* y);
// The outer frame around the client area for a style, in the border metrics.
void frameBorders(DWORD style, DWORD exStyle, RECT* borders);

// Called by the window side: forget queued messages of a destroyed window.
void dropQueuedMessages(HWND hwnd);
// Called by the message queue when a capture-holding window goes away.
void releaseCaptureOf(WindowRecord* window);

}  // namespace fwsdl

namespace fwsdl {

// Ends a Sleep in progress on the main thread (system.cpp): a repaint waits for the pump.
void wakeSleep();

// Asked of the X server directly (x11_query.cpp), since SDL's cached global mouse
// state can lag behind pointer moves made with XTEST. False when the window is not
// on X11.
bool x11PointerPosition(SDL_Window* window, int* x, int* y);
bool x11ClientOrigin(SDL_Window* window, int* x, int* y);
// Waits until the X server has handled every request so far (a focus change).
bool x11Sync(SDL_Window* window);

}  // namespace fwsdl

namespace fwsdl {

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
