// The player's graph calls on their own, in loadMovie's order, then its frame's
// completion poll: for each clip on the command line, one line with each call's
// HRESULT, the duration and when the poll first saw EC_COMPLETE. Nothing else draws
// into the window, which has the main window's style.
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR pCmdLine, int) {
    CoInitialize(nullptr);
    WNDCLASSA WndClass = {0, DefWindowProcA, 0, 0, hInstance, nullptr, nullptr,
                          static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)), "", "PROBEWINDOW"};
    RegisterClassA(&WndClass);
    HWND hwnd = CreateWindowExA(WS_EX_CLIENTEDGE, "PROBEWINDOW", "graph probe",
                                WS_VISIBLE | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                0, 0, 822, 642, nullptr, nullptr, hInstance, nullptr);
    char* pNext = nullptr;
    IGraphBuilder* pGraph = nullptr;
    IMediaControl* pControl = nullptr;
    IVideoWindow* pWindow = nullptr;
    IBasicAudio* pAudio = nullptr;
    IMediaSeeking* pSeeking = nullptr;
    IMediaEvent* pEvent = nullptr;
    CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                     reinterpret_cast<void**>(&pGraph));
    pGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&pControl));
    pGraph->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(&pWindow));
    pGraph->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&pAudio));
    pGraph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&pSeeking));
    pGraph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&pEvent));
    for (char* pWord = strtok_r(pCmdLine, " ", &pNext); pWord; pWord = strtok_r(nullptr, " ", &pNext)) {
        pControl->Stop();
        IEnumFilters* pEnum = nullptr;
        IBaseFilter* pFilter = nullptr;
        if (SUCCEEDED(pGraph->EnumFilters(&pEnum))) {
            for (; pEnum->Next(1, &pFilter, nullptr) == S_OK; pFilter->Release()) {
                pGraph->RemoveFilter(pFilter);
                pEnum->Reset();
            }
            pEnum->Release();
        }
        WCHAR WFileName[260];
        MultiByteToWideChar(932, 0, pWord, -1, WFileName, 260);
        LONGLONG Duration = 0, SeekPos = 0;
        HRESULT Results[5] = {pGraph->RenderFile(WFileName, nullptr),
                              pWindow->put_Owner(reinterpret_cast<OAHWND>(hwnd)), pWindow->put_WindowStyle(WS_CHILD),
                              pWindow->SetWindowPosition(80, 16, 640, 480), pSeeking->GetDuration(&Duration)};
        pSeeking->SetPositions(&SeekPos, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
        pWindow->put_Visible(OATRUE);
        pAudio->put_Volume(0);
        pControl->Run();
        // The frame's poll, every 15 ms, until EC_COMPLETE or the clip's length and 5 s more.
        DWORD Start = timeGetTime(), Now = Start;
        LONG EventCode = 0;
        HRESULT Polled = S_OK;
        for (MSG msg; EventCode != EC_COMPLETE && Now - Start < Duration / 10000 + 5000; Now = timeGetTime()) {
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
            EventCode = 0;
            Polled = pEvent->WaitForCompletion(0, &EventCode);
            Sleep(15);
        }
        std::printf("%s render %#lx owner %#lx style %#lx position %#lx duration %#lx %lld ms; poll %#lx code %ld"
                    " after %lu ms\n", pWord, static_cast<unsigned long>(Results[0]),
                    static_cast<unsigned long>(Results[1]), static_cast<unsigned long>(Results[2]),
                    static_cast<unsigned long>(Results[3]), static_cast<unsigned long>(Results[4]),
                    static_cast<long long>(Duration / 10000), static_cast<unsigned long>(Polled),
                    static_cast<long>(EventCode), static_cast<unsigned long>(Now - Start));
        std::fflush(stdout);
    }
    pControl->Stop();
    pEvent->Release(), pSeeking->Release(), pAudio->Release(), pWindow->Release(), pControl->Release();
    pGraph->Release();
    CoUninitialize();
    return 0;
}
