// The main window and the input state its procedure keeps: the mouse, and the keys.
#include <cstdio>

#include "app/player_app.h"

namespace {

const int kClientWidth = 800;
const int kClientHeight = 600;
const DWORD kWindowStyle = WS_VISIBLE | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

bool buttonHeld(int virtualKey) { return (GetKeyState(virtualKey) & 0x80) != 0; }

}  // namespace

int32_t PlayerApp::createMainWindow(HINSTANCE hInstance) {
    WNDCLASSA WndClass;
    WndClass.style = 0;
    WndClass.lpfnWndProc = mainWindowProc;
    WndClass.cbClsExtra = 0;
    WndClass.cbWndExtra = 0;
    WndClass.hInstance = hInstance;
    WndClass.hIcon = LoadIconA(hInstance, "MAINICON");
    WndClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    WndClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    WndClass.lpszMenuName = "";
    WndClass.lpszClassName = "MAINWNDOW";
    if (!RegisterClassA(&WndClass)) return 0;

    // Outer size around an 800 x 600 client area; the seek drag undoes the left border.
    int Width = kClientWidth + 2 * GetSystemMetrics(SM_CXFIXEDFRAME) + 2 * GetSystemMetrics(SM_CXEDGE);
    int Height = kClientHeight + 2 * GetSystemMetrics(SM_CYFIXEDFRAME) + 2 * GetSystemMetrics(SM_CYEDGE) +
                 GetSystemMetrics(SM_CYCAPTION);
    hwnd = CreateWindowExA(WS_EX_CLIENTEDGE, "MAINWNDOW", "Fernwood2", kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                           Width, Height, nullptr, nullptr, hInstance, nullptr);
    if (!hwnd) return 0;

    // The whole pointer: the procedure fetches the object from here on every message.
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return 1;
}

LRESULT CALLBACK PlayerApp::mainWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // Null for the messages sent while the window is being created.
    PlayerApp* pApp = reinterpret_cast<PlayerApp*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    switch (message) {
    case WM_MOUSEMOVE:
        // Unsigned halves: a captured move left of the window gives 65536 minus the distance.
        if (pApp) pApp->setMousePosition(LOWORD(lParam), HIWORD(lParam));
        break;
    case WM_LBUTTONDOWN:
        if (pApp) pApp->setLeftPressed();
        SetCapture(hWnd);
        break;
    case WM_LBUTTONUP:
        if (pApp) pApp->setLeftReleased();
        if (!buttonHeld(VK_RBUTTON)) ReleaseCapture();
        break;
    case WM_RBUTTONDOWN: SetCapture(hWnd); break;
    case WM_RBUTTONUP:
        if (!buttonHeld(VK_LBUTTON)) ReleaseCapture();
        break;
    case WM_KEYDOWN:
        // Bit 30: the key was down already, a held key's repeat.
        if (pApp) pApp->setKeyPressed(static_cast<int32_t>(wParam), (lParam & 0x40000000) != 0);
        break;
    case WM_DESTROY: PostQuitMessage(0); break;
    case WM_MOVE:
        // With the sequence off, a move cues the movie again at its current frame.
        if (pApp && pApp->isPlaying == 0 && pApp->mediaControl) pApp->mediaControl->StopWhenReady();
        break;
    case WM_ENDSESSION:
        // Logoff or shutdown may end the process as soon as this returns, before the
        // loop's own save: save now. No box: it would hold up the session's end.
        if (wParam && pApp && !pApp->writeSaveData())
            std::fputs("Fernwood2: GameData.sys could not be written as the session ended\n", stderr);
        break;
    default: break;
    }
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

void PlayerApp::setMousePosition(int32_t x, int32_t y) {
    mouseX = x;
    mouseY = y;
}

void PlayerApp::setLeftPressed() { leftPressed = 1; }

void PlayerApp::setLeftReleased() { leftReleased = 1; }

void PlayerApp::setKeyPressed(int32_t key, bool repeated) {
    if (keyCount < MAX_QUEUED_KEYS) keyQueue[keyCount++] = key | (repeated ? KEY_REPEATED : 0);
}
