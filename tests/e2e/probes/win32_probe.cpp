// The layer's Win32 subset used as the player uses it (window, loop, capture); prints
// what its window procedure gets for the end-to-end tests.
#include "gl_harness.h"
#include "platform/platform.h"

namespace {

using glharness::say;

LRESULT CALLBACK probeWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    unsigned x = LOWORD(lParam), y = HIWORD(lParam);
    unsigned flags = static_cast<unsigned>(wParam);
    switch (message) {
    case WM_MOUSEMOVE: {
        // The client x as the player's drags compute it.
        POINT cursor;
        RECT rect;
        GetCursorPos(&cursor);
        GetWindowRect(hwnd, &rect);
        int clientX = cursor.x - rect.left - GetSystemMetrics(SM_CXEDGE) - GetSystemMetrics(SM_CXFIXEDFRAME);
        say("WM_MOUSEMOVE %u %u %u cursor %d %d clientx %d", x, y, flags, static_cast<int>(cursor.x),
            static_cast<int>(cursor.y), clientX);
        break;
    }
    case WM_LBUTTONDOWN:
        say("WM_LBUTTONDOWN %u %u %u", x, y, flags);
        SetCapture(hwnd);
        break;
    case WM_LBUTTONUP:
        say("WM_LBUTTONUP %u %u %u", x, y, flags);
        ReleaseCapture();
        break;
    case WM_CAPTURECHANGED: say("WM_CAPTURECHANGED"); break;
    case WM_CLOSE: say("WM_CLOSE"); break;
    case WM_DESTROY:
        say("WM_DESTROY");
        PostQuitMessage(0);
        break;
    default: break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = probeWindowProc;
    windowClass.hInstance = hInstance;
    windowClass.hIcon = LoadIconA(hInstance, "MAINICON");
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = "MAINWNDOW";
    if (RegisterClassA(&windowClass) == 0) return 2;
    int width = 800 + 2 * GetSystemMetrics(SM_CXFIXEDFRAME) + 2 * GetSystemMetrics(SM_CXEDGE);
    int height = 600 + 2 * GetSystemMetrics(SM_CYFIXEDFRAME) + 2 * GetSystemMetrics(SM_CYEDGE) +
                 GetSystemMetrics(SM_CYCAPTION);
    // "Probeプローブ": the title is code page 932 like the player's strings.
    HWND window = CreateWindowExA(WS_EX_CLIENTEDGE, "MAINWNDOW", "Probe\x83\x76\x83\x8d\x81\x5b\x83\x75", 0x12CA0000,
                                  CW_USEDEFAULT, CW_USEDEFAULT, width, height, nullptr, nullptr, hInstance, nullptr);
    if (window == nullptr) return 2;
    say("ready");

    // The player's loop.
    MSG msg;
    for (;;) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!GetMessageA(&msg, nullptr, 0, 0)) break;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            Sleep(1);
        }
    }
    say("WM_QUIT %d", static_cast<int>(msg.wParam));
    return 7;
}
