// The recording Win32 subset: one window, a scripted message queue, a virtual
// clock, message boxes kept in a list.
//
// Implemented: every Win32 function declared in api/fw_windows.h that the sdl
// backend implements (the file and code page functions come from common/).
// Not implemented: more than one window; messages for other windows.
#include <cstdio>
#include <cstring>

#include "record.h"

namespace fwrecord {

namespace {

struct RecordedWindow {};
RecordedWindow theWindow;
HWND const kWindow = reinterpret_cast<HWND>(&theWindow);
WNDPROC registeredProc = nullptr;
int quitPosted = 0;

std::string text(LPCSTR s) { return s ? std::string(s) : std::string("(null)"); }
std::string handle(const void* h) { return h ? (h == kWindow ? "hwnd" : "handle") : "null"; }

}  // namespace

Win32State& win32() {
    static Win32State state;
    return state;
}

void resetWin32() {
    win32() = Win32State();
    registeredProc = nullptr;
    quitPosted = 0;
}

LRESULT sendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!win32().windowProc || win32().windowDestroyed) return 0;
    return win32().windowProc(kWindow, message, wParam, lParam);
}

void postMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg = {};
    msg.hwnd = message == WM_QUIT ? nullptr : kWindow;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = win32().clock;
    win32().queue.push_back(msg);
}

}  // namespace fwrecord

using namespace fwrecord;

ATOM WINAPI RegisterClassA(const WNDCLASSA* wc) {
    record("RegisterClassA " + text(wc->lpszClassName) + " style=" + std::to_string(wc->style) +
           " icon=" + handle(wc->hIcon) + " cursor=" + handle(wc->hCursor) + " brush=" + handle(wc->hbrBackground) +
           " menu=" + text(wc->lpszMenuName));
    registeredProc = wc->lpfnWndProc;
    return 1;
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                            int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    (void)parent;
    (void)menu;
    (void)instance;
    (void)param;
    record("CreateWindowExA ex=" + std::to_string(exStyle) + " " + text(className) + " " + text(windowName) +
           " style=" + std::to_string(style) + " " + std::to_string(x) + " " + std::to_string(y) + " " +
           std::to_string(width) + "x" + std::to_string(height));
    if (win32().failCreateWindow || !registeredProc) return nullptr;
    win32().window = kWindow;
    win32().windowProc = registeredProc;
    win32().windowDestroyed = false;
    // A real window gets messages while it is being made, before the caller can link it.
    registeredProc(kWindow, WM_CREATE, 0, 0);
    registeredProc(kWindow, WM_MOVE, 0, 0);
    return kWindow;
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)wParam;
    (void)lParam;
    if (message == WM_CLOSE && hWnd == kWindow && !win32().windowDestroyed) {
        record("DestroyWindow");
        WNDPROC proc = win32().windowProc;
        proc(kWindow, WM_DESTROY, 0, 0);
        win32().windowDestroyed = true;
    }
    return message == WM_QUERYENDSESSION ? TRUE : 0;
}

void WINAPI PostQuitMessage(int exitCode) {
    record("PostQuitMessage " + std::to_string(exitCode));
    postMessage(WM_QUIT, static_cast<WPARAM>(exitCode), 0);
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND hWnd, UINT filterMin, UINT filterMax, UINT remove) {
    (void)hWnd;
    (void)filterMin;
    (void)filterMax;
    record("PeekMessageA");
    if (win32().queue.empty()) return FALSE;
    *msg = win32().queue.front();
    if (remove & PM_REMOVE) win32().queue.pop_front();
    return TRUE;
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND hWnd, UINT filterMin, UINT filterMax) {
    (void)hWnd;
    (void)filterMin;
    (void)filterMax;
    record("GetMessageA");
    if (win32().queue.empty()) {
        // Nothing will ever arrive in a test: answer as if the window had been closed.
        std::memset(msg, 0, sizeof(*msg));
        msg->message = WM_QUIT;
        return 0;
    }
    *msg = win32().queue.front();
    win32().queue.pop_front();
    return msg->message == WM_QUIT ? 0 : 1;
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
    record("TranslateMessage " + std::to_string(msg->message));
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    record("DispatchMessageA " + std::to_string(msg->message));
    if (msg->hwnd != kWindow || !win32().windowProc || win32().windowDestroyed) return 0;
    return win32().windowProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

HWND WINAPI SetCapture(HWND hWnd) {
    record("SetCapture " + handle(hWnd));
    HWND previous = win32().capture;
    win32().capture = hWnd;
    return previous;
}

BOOL WINAPI ReleaseCapture(void) {
    record("ReleaseCapture");
    win32().capture = nullptr;
    return TRUE;
}

SHORT WINAPI GetKeyState(int key) {
    record("GetKeyState " + std::to_string(key));
    bool held = (key == VK_LBUTTON && win32().leftHeld) || (key == VK_RBUTTON && win32().rightHeld);
    return held ? static_cast<SHORT>(0xFF80) : 0;
}

BOOL WINAPI GetCursorPos(LPPOINT point) {
    record("GetCursorPos");
    *point = win32().cursor;
    return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT rect) {
    record("GetWindowRect " + handle(hWnd));
    if (hWnd != kWindow) return FALSE;
    *rect = win32().windowRect;
    return TRUE;
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int index, LONG_PTR value) {
    record("SetWindowLongPtrA " + handle(hWnd) + " " + std::to_string(index));
    if (hWnd != kWindow || index != GWLP_USERDATA) return 0;
    LONG_PTR previous = win32().userData;
    win32().userData = value;
    return previous;
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int index) {
    if (hWnd != kWindow || index != GWLP_USERDATA) return 0;
    return win32().userData;
}

int WINAPI GetSystemMetrics(int index) {
    switch (index) {
    case SM_CXFIXEDFRAME: return kFixedFrameX;
    case SM_CYFIXEDFRAME: return kFixedFrameY;
    case SM_CXEDGE: return kEdgeX;
    case SM_CYEDGE: return kEdgeY;
    case SM_CYCAPTION: return kCaptionY;
    default: return 0;
    }
}

int WINAPI MessageBoxA(HWND owner, LPCSTR textBytes, LPCSTR caption, UINT type) {
    record("MessageBoxA " + handle(owner) + " " + text(caption) + " " + text(textBytes));
    win32().messageBoxes.push_back({owner, text(caption), text(textBytes), type});
    return IDOK;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    (void)instance;
    bool isName = reinterpret_cast<ULONG_PTR>(name) > 0xFFFF;
    record(std::string("LoadIconA ") + (isName ? text(name) : "#" + std::to_string(reinterpret_cast<ULONG_PTR>(name))));
    static int icon;
    return reinterpret_cast<HICON>(&icon);
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    record("LoadCursorA " + handle(instance) + " #" + std::to_string(reinterpret_cast<ULONG_PTR>(name)));
    static int cursor;
    return reinterpret_cast<HCURSOR>(&cursor);
}

HGDIOBJ WINAPI GetStockObject(int index) {
    record("GetStockObject " + std::to_string(index));
    static int brush;
    return &brush;
}

DWORD WINAPI timeGetTime(void) {
    record("timeGetTime " + std::to_string(win32().clock));
    return win32().clock;
}

void WINAPI Sleep(DWORD milliseconds) {
    record("Sleep " + std::to_string(milliseconds));
    win32().clock += milliseconds;
}

EXECUTION_STATE WINAPI SetThreadExecutionState(EXECUTION_STATE flags) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08x", static_cast<unsigned>(flags));
    record(std::string("SetThreadExecutionState ") + hex);
    EXECUTION_STATE previous = win32().executionState;
    if (flags & ES_CONTINUOUS) win32().executionState = flags;
    return previous;
}

HRESULT WINAPI CoInitialize(LPVOID reserved) {
    (void)reserved;
    record("CoInitialize");
    return win32().coInitializeCount++ == 0 ? S_OK : S_FALSE;
}

void WINAPI CoUninitialize(void) {
    record("CoUninitialize");
    --win32().coInitializeCount;
}
