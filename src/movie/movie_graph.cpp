// The filter graph, its five control interfaces, and loading one clip into it.
#include "app/player_app.h"

namespace {

const int kPathChars = 260;
const LONG kVideoLeft = 80;
const LONG kVideoTop = 16;
const LONG kVideoWidth = 640;
const LONG kVideoHeight = 480;
const UINT kTableCodePage = 932;  // the tables are Shift-JIS

}  // namespace

int32_t PlayerApp::createMovieGraph() {
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&graphBuilder))))
        return 0;
    if (FAILED(graphBuilder->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&mediaControl)))) return 0;
    if (FAILED(graphBuilder->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(&videoWindow)))) return 0;
    if (FAILED(graphBuilder->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&basicAudio)))) return 0;
    if (FAILED(graphBuilder->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&mediaSeeking)))) return 0;
    if (FAILED(graphBuilder->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&mediaEvent)))) return 0;
    return 1;
}

int32_t PlayerApp::loadMovie(int32_t item, int32_t clip) {
    mediaControl->Stop();

    // Empty the graph: take the first filter, remove it, start the enumeration again.
    IEnumFilters* pEnumFilter = nullptr;
    if (SUCCEEDED(graphBuilder->EnumFilters(&pEnumFilter))) {
        IBaseFilter* pFilter = nullptr;
        while (pEnumFilter->Next(1, &pFilter, nullptr) == S_OK) {
            graphBuilder->RemoveFilter(pFilter);
            pEnumFilter->Reset();
            pFilter->Release();
        }
        pEnumFilter->Release();
    }

    // Loading a clip unlocks it, whether or not its file plays.
    const PlayClip& Clip = playItems[item].clips[clip];
    unlockFlags[Clip.sequenceNumber] = 1;

    // The path is Shift-JIS; an unconvertible one names no file.
    WCHAR WFileName[kPathChars];
    if (MultiByteToWideChar(kTableCodePage, 0, Clip.path, -1, WFileName, kPathChars) == 0) WFileName[0] = 0;

    if (FAILED(graphBuilder->RenderFile(WFileName, nullptr))) return 0;
    if (FAILED(videoWindow->put_Owner(reinterpret_cast<OAHWND>(hwnd)))) return 0;
    if (FAILED(videoWindow->put_WindowStyle(WS_CHILD))) return 0;
    if (FAILED(videoWindow->SetWindowPosition(kVideoLeft, kVideoTop, kVideoWidth, kVideoHeight))) return 0;
    if (FAILED(mediaSeeking->GetDuration(&duration))) return 0;

    LONGLONG SeekPos = 0;
    mediaSeeking->SetPositions(&SeekPos, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    videoWindow->put_Visible(OATRUE);
    basicAudio->put_Volume(volume);
    clipPlayCount = 0;
    return 1;
}
