// The thread's message queue on SDL's event queue.
// Implements PeekMessageA (PM_NOREMOVE, PM_REMOVE), GetMessageA (blocks; 0 on
// WM_QUIT), TranslateMessage (makes no WM_CHAR: nothing to translate),
// DispatchMessageA, PostQuitMessage and GetKeyState for the mouse buttons.
// SDL events become posted messages: mouse motion WM_MOUSEMOVE, left and right
// buttons WM_[LR]BUTTONDOWN / WM_[LR]BUTTONUP (never double clicks), keys
// WM_KEYDOWN / WM_KEYUP / WM_SYSKEYDOWN / WM_SYSKEYUP (keys.cpp; the layer's own
// fullscreen keys are kept back), a moved window WM_MOVE, the close button
// WM_CLOSE, and so does the session's end (session_end.cpp: SIGHUP, SIGINT,
// SIGTERM, the display gone). Mouse positions are client coordinates in the
// program's units (placement.cpp), packed as two unsigned 16-bit halves of LPARAM,
// so a captured move left of the window arrives as 65536 minus the distance;
// wParam carries the MK_ flags. Without the capture, the mouse on the bars around
// a fullscreen picture is outside the client area: nothing arrives. WM_QUIT comes
// when nothing else is queued, as on Windows. Repaint requests
// (windowRequestRepaint) are handled inside the pump, on this thread, and never
// reach the program as messages; they wake a blocked GetMessageA. A window
// resized (fullscreen) places its client area anew and repaints.
// Not supported: middle button and wheel input (dropped), WM_PAINT, timers, sent
// messages between threads, PM_NOYIELD and the PM_QS_* filters (ignored).
// GetKeyState knows VK_LBUTTON and VK_RBUTTON only (0 otherwise).
#include <deque>

#include "sdl_backend.h"

namespace fwsdl {

namespace {

std::deque<MSG> gQueue;
bool gQuitPending = false;
bool gSessionEndPosted = false;
int gQuitCode = 0;

// The buttons as the events translated so far left them (the MK_ flags of the
// next message), and as the messages read so far left them (GetKeyState's view).
uint32_t gPumpButtons = 0;

bool gButtonDown[3];
bool gButtonToggled[3];

DWORD nowMs() { return timeGetTime(); }

WPARAM buttonFlags(uint32_t sdlState) {
    WPARAM flags = 0;
    if ((sdlState & SDL_BUTTON_LMASK) != 0) flags |= MK_LBUTTON;
    if ((sdlState & SDL_BUTTON_RMASK) != 0) flags |= MK_RBUTTON;
    return flags;
}

void post(WindowRecord* window, UINT message, WPARAM wParam, LPARAM lParam, int clientX, int clientY) {
    MSG msg;
    msg.hwnd = handleOf(window);
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = nowMs();
    int originX = 0, originY = 0;
    SDL_GetWindowPosition(window->sdl, &originX, &originY);
    msg.pt.x = originX + clientX;
    msg.pt.y = originY + clientY;
    gQueue.push_back(msg);
}

LPARAM packPoint(int x, int y) { return MAKELPARAM(x, y); }

void runRepaint(int slot) {
    WindowRecord* window = windowSlot(slot);
    if (window == nullptr) return;
    // Cleared first: a request made while the handler runs gets a repaint of its own.
    window->repaintPending.store(false);
    if (!window->used || !window->alive.load() || window->repaintHandler == nullptr) return;
    window->repaintHandler(window->repaintUser);
}

// Where a mouse event lands in the window's client area; false outside it unless
// the window holds the capture.
bool mousePoint(WindowRecord* window, int x, int y, int* clientX, int* clientY) {
    return clientPoint(window, x, y, clientX, clientY) || holdsCapture(window);
}

void translateMotion(const SDL_MouseMotionEvent& motion) {
    WindowRecord* window = windowFromSdlId(motion.windowID);
    if (window == nullptr || motion.which == SDL_TOUCH_MOUSEID) return;
    gPumpButtons = motion.state;
    int x = 0, y = 0;
    if (mousePoint(window, motion.x, motion.y, &x, &y))
        post(window, WM_MOUSEMOVE, buttonFlags(motion.state), packPoint(x, y), x, y);
}

void translateButton(const SDL_MouseButtonEvent& button) {
    WindowRecord* window = windowFromSdlId(button.windowID);
    if (window == nullptr || button.which == SDL_TOUCH_MOUSEID) return;
    bool down = button.type == SDL_MOUSEBUTTONDOWN;
    UINT message;
    if (button.button == SDL_BUTTON_LEFT) message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
    else if (button.button == SDL_BUTTON_RIGHT) message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
    else return;
    // wParam: the buttons held after this event, as Windows reports them.
    uint32_t mask = SDL_BUTTON(button.button);
    gPumpButtons = down ? (gPumpButtons | mask) : (gPumpButtons & ~mask);
    int x = 0, y = 0;
    if (mousePoint(window, button.x, button.y, &x, &y))
        post(window, message, buttonFlags(gPumpButtons), packPoint(x, y), x, y);
}

void translateKey(const SDL_KeyboardEvent& key) {
    WindowRecord* window = windowFromSdlId(key.windowID);
    if (window == nullptr || takeLayerKey(window, key)) return;
    KeyMessage message = keyMessage(key);
    if (message.message != 0) post(window, message.message, message.wParam, message.lParam, 0, 0);
}

void translateWindowEvent(const SDL_WindowEvent& event) {
    WindowRecord* window = windowFromSdlId(event.windowID);
    if (window == nullptr) return;
    if (event.event == SDL_WINDOWEVENT_MOVED) {
        post(window, WM_MOVE, 0, packPoint(event.data1, event.data2), 0, 0);
    } else if (event.event == SDL_WINDOWEVENT_CLOSE) {
        post(window, WM_CLOSE, 0, 0, 0, 0);
    } else if (event.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
        fwlayer::childVideoOwnerPlaced(handleOf(window));
    } else if (event.event == SDL_WINDOWEVENT_EXPOSED) {
        // Uncovered: show the last picture again without waiting for a frame.
        window->repaintPending.store(true);
        runRepaint(slotOf(window));
    }
}

// A signal or the session's end: every window is asked to close, as its close button would.
void closeEveryWindow() {
    for (int slot = 0; WindowRecord* window = windowSlot(slot); ++slot)
        if (window->used && window->alive.load()) post(window, WM_CLOSE, 0, 0, 0, 0);
}

void translate(const SDL_Event& event) {
    if (event.type == repaintEventType()) {
        runRepaint(event.user.code);
    } else if (event.type == SDL_MOUSEMOTION) {
        translateMotion(event.motion);
    } else if (event.type == SDL_MOUSEBUTTONDOWN || event.type == SDL_MOUSEBUTTONUP) {
        translateButton(event.button);
    } else if (event.type == SDL_KEYDOWN || event.type == SDL_KEYUP) {
        translateKey(event.key);
    } else if (event.type == SDL_WINDOWEVENT) {
        translateWindowEvent(event.window);
    } else if (event.type == SDL_QUIT) {
        closeEveryWindow();
    }
}

// Moves everything SDL has into the queue, without waiting. The session's end
// closes every window once; after the display has gone there is nothing to read.
void pump() {
    if (!videoReady()) return;
    if (sessionEnding() && !gSessionEndPosted) {
        gSessionEndPosted = true;
        closeEveryWindow();
    }
    if (displayLost()) return;
    SDL_PumpEvents();
    SDL_Event events[32];
    for (;;) {
        int count = SDL_PeepEvents(events, 32, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
        if (count <= 0) break;
        for (int i = 0; i < count; ++i) translate(events[i]);
    }
}

bool matches(const MSG& msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    if (hwnd != nullptr && msg.hwnd != hwnd) return false;
    if (filterMin == 0 && filterMax == 0) return true;
    return msg.message >= filterMin && msg.message <= filterMax;
}

void noteRetrieved(const MSG& msg) {
    int index = -1;
    bool down = false;
    switch (msg.message) {
    case WM_LBUTTONDOWN:
        index = VK_LBUTTON;
        down = true;
        break;
    case WM_LBUTTONUP: index = VK_LBUTTON; break;
    case WM_RBUTTONDOWN:
        index = VK_RBUTTON;
        down = true;
        break;
    case WM_RBUTTONUP: index = VK_RBUTTON; break;
    default: return;
    }
    if (down && !gButtonDown[index]) gButtonToggled[index] = !gButtonToggled[index];
    gButtonDown[index] = down;
}

// Finds the next message for the filter; removes it if asked.
bool take(MSG* out, HWND hwnd, UINT filterMin, UINT filterMax, bool remove) {
    for (auto it = gQueue.begin(); it != gQueue.end(); ++it) {
        if (!matches(*it, hwnd, filterMin, filterMax)) continue;
        *out = *it;
        if (remove) {
            gQueue.erase(it);
            noteRetrieved(*out);
        }
        return true;
    }
    bool quitWanted = filterMin == 0 && filterMax == 0 ? true : (WM_QUIT >= filterMin && WM_QUIT <= filterMax);
    if (gQuitPending && quitWanted) {
        out->hwnd = nullptr;
        out->message = WM_QUIT;
        out->wParam = static_cast<WPARAM>(gQuitCode);
        out->lParam = 0;
        out->time = nowMs();
        out->pt.x = 0;
        out->pt.y = 0;
        if (remove) gQuitPending = false;
        return true;
    }
    return false;
}

}  // namespace

void dropQueuedMessages(HWND hwnd) {
    for (auto it = gQueue.begin(); it != gQueue.end();) it = it->hwnd == hwnd ? gQueue.erase(it) : it + 1;
}

}  // namespace fwsdl

using namespace fwsdl;

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
    if (lpMsg == nullptr) return FALSE;
    pump();
    return take(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (lpMsg == nullptr) return -1;
    if (hWnd != nullptr && windowFromHandle(hWnd) == nullptr) return -1;  // as Windows does for a bad handle
    for (;;) {
        if (take(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true)) return lpMsg->message == WM_QUIT ? FALSE : TRUE;
        pump();
        if (take(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true)) return lpMsg->message == WM_QUIT ? FALSE : TRUE;
        if (!ensureVideo()) return -1;  // nothing could ever arrive
        SDL_Event event;
        if (SDL_WaitEvent(&event) == 1) translate(event);
    }
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    (void)lpMsg;
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
    if (lpMsg == nullptr) return 0;
    WindowRecord* window = windowFromHandle(lpMsg->hwnd);
    if (window == nullptr) return 0;
    return sendMessage(window, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

void WINAPI PostQuitMessage(int nExitCode) {
    gQuitPending = true;
    gQuitCode = nExitCode;
}

SHORT WINAPI GetKeyState(int nVirtKey) {
    if (nVirtKey != VK_LBUTTON && nVirtKey != VK_RBUTTON) return 0;
    // Held: the high bit, which makes the SHORT negative (0xFF80 and up, as Windows
    // gives it); the low bit toggles with every press.
    uint16_t value = gButtonDown[nVirtKey] ? 0xFF80 : 0;
    if (gButtonToggled[nVirtKey]) value |= 1;
    return static_cast<SHORT>(value);
}
