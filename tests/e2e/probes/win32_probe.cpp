// The player's window as the end-to-end tests drive it, built twice. win32_probe (on the
// layer): the player's loop, printing what the window procedure gets. graph_probe (the
// Windows build, under Wine): the player's own graph code (movie/graph.cpp) on each clip
// named on the command line, then its frame's completion poll; one line per clip. Under
// Wine, "--before-run=CALL" first makes one more documented call before each Run, to see
// whether it makes the graph report the next clip's end afresh (docs/wine.md).
#include <cstdio>
#include <cstring>

#include "movie/movie.h"

namespace {

LRESULT CALLBACK probeWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    unsigned x = LOWORD(lParam), y = HIWORD(lParam), flags = static_cast<unsigned>(wParam);
    switch (message) {
    case WM_MOUSEMOVE: {
        // The client x as the player's drags compute it.
        POINT cursor;
        RECT rect;
        GetCursorPos(&cursor);
        GetWindowRect(hwnd, &rect);
        int clientX = cursor.x - rect.left - GetSystemMetrics(SM_CXEDGE) - GetSystemMetrics(SM_CXFIXEDFRAME);
        std::printf("WM_MOUSEMOVE %u %u %u cursor %d %d clientx %d\n", x, y, flags, static_cast<int>(cursor.x),
                    static_cast<int>(cursor.y), clientX);
        break;
    }
    case WM_LBUTTONDOWN:
        std::printf("WM_LBUTTONDOWN %u %u %u\n", x, y, flags);
        SetCapture(hwnd);
        break;
    case WM_LBUTTONUP:
        std::printf("WM_LBUTTONUP %u %u %u\n", x, y, flags);
        ReleaseCapture();
        break;
    case WM_CAPTURECHANGED: std::printf("WM_CAPTURECHANGED\n"); break;
    case WM_CLOSE: std::printf("WM_CLOSE\n"); break;
    case WM_DESTROY:
        std::printf("WM_DESTROY\n");
        PostQuitMessage(0);
        break;
    default: break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

#ifdef _WIN32
// drain: the event queue emptied (GetEvent and FreeEventParams until none is left); stop: a
// second Stop; pause: Pause, so that Run starts from paused; handling: the graph's own
// EC_COMPLETE handling cancelled and restored. The layer declares none of these but Stop.
bool callBeforeRun(const MovieGraph& graph, const char* call) {
    if (std::strcmp(call, "none") == 0) return true;
    if (std::strcmp(call, "stop") == 0) return graph.mediaControl->Stop(), true;
    if (std::strcmp(call, "pause") == 0) return graph.mediaControl->Pause(), true;
    if (std::strcmp(call, "handling") == 0) {
        graph.mediaEvent->CancelDefaultHandling(EC_COMPLETE);
        return SUCCEEDED(graph.mediaEvent->RestoreDefaultHandling(EC_COMPLETE));
    }
    if (std::strcmp(call, "drain") != 0) return false;
    LONG code = 0;
    LONG_PTR first = 0, second = 0;
    while (graph.mediaEvent->GetEvent(&code, &first, &second, 0) == S_OK) {
        std::printf("event %ld\n", static_cast<long>(code));
        graph.mediaEvent->FreeEventParams(code, first, second);
    }
    return true;
}
#else
bool callBeforeRun(const MovieGraph&, const char* call) { return std::strcmp(call, "none") == 0; }
#endif

// Each clip loaded as the player loads it and run: polled every 15 ms until EC_COMPLETE or
// the clip's length and 5 s more.
int playClips(HWND window, char* clips) {
    static PlayItem item;
    uint8_t unlockFlags[MAX_TABLE_CLIPS] = {};
    int32_t volume = 0, currentItem = 0, currentClip = 0, clipPlayCount = 0, isPlaying = 1;
    int64_t duration = 0;
    MovieState movie = {window,       {},           &item,          1,         unlockFlags, &volume, &duration,
                        &currentItem, &currentClip, &clipPlayCount, &isPlaying};
    if (!createGraph(&movie.graph)) return 2;
    char* next = nullptr;
    const char* call = "none";
    for (char* clip = strtok_r(clips, " ", &next); clip; clip = strtok_r(nullptr, " ", &next)) {
        if (std::strncmp(clip, "--before-run=", 13) == 0) {
            call = clip + 13;
            continue;
        }
        std::snprintf(item.clips[0].path, sizeof item.clips[0].path, "%s", clip);
        int32_t loaded = loadClip(movie, 0, 0);
        if (!callBeforeRun(movie.graph, call)) return 3;
        movie.graph.mediaControl->Run();
        DWORD start = timeGetTime(), now = start;
        LONG code = 0;
        HRESULT polled = S_OK;
        for (MSG msg; code != EC_COMPLETE && now - start < duration / 10000 + 5000; now = timeGetTime()) {
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
            code = 0;
            polled = movie.graph.mediaEvent->WaitForCompletion(0, &code);
            Sleep(15);
        }
        std::printf("%s loaded %d duration %lld ms; poll %#lx code %ld after %lu ms\n", clip, static_cast<int>(loaded),
                    static_cast<long long>(duration / 10000), static_cast<unsigned long>(polled),
                    static_cast<long>(code), static_cast<unsigned long>(now - start));
    }
    movie.graph.mediaControl->Stop();
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR pCmdLine, int) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);  // each line seen as it is printed
    CoInitialize(nullptr);
    WNDCLASSA windowClass = {0,
                             probeWindowProc,
                             0,
                             0,
                             hInstance,
                             LoadIconA(hInstance, "MAINICON"),
                             LoadCursorA(nullptr, IDC_ARROW),
                             static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)),
                             nullptr,
                             "MAINWNDOW"};
    if (RegisterClassA(&windowClass) == 0) return 2;
    int width = 800 + 2 * GetSystemMetrics(SM_CXFIXEDFRAME) + 2 * GetSystemMetrics(SM_CXEDGE);
    int height =
        600 + 2 * GetSystemMetrics(SM_CYFIXEDFRAME) + 2 * GetSystemMetrics(SM_CYEDGE) + GetSystemMetrics(SM_CYCAPTION);
    // "Probeプローブ": the title is code page 932 like the player's strings.
    HWND window = CreateWindowExA(WS_EX_CLIENTEDGE, "MAINWNDOW", "Probe\x83\x76\x83\x8d\x81\x5b\x83\x75", 0x12CA0000,
                                  CW_USEDEFAULT, CW_USEDEFAULT, width, height, nullptr, nullptr, hInstance, nullptr);
    if (window == nullptr) return 2;
    if (pCmdLine != nullptr && *pCmdLine != '\0') return playClips(window, pCmdLine);
    std::printf("ready\n");

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
    std::printf("WM_QUIT %d\n", static_cast<int>(msg.wParam));
    return 7;
}
