// The filter graph, its six control interfaces, and loading one clip into it.
#include "errors/errors.h"
#include "gfx/layout.h"
#include "movie/movie.h"

namespace {

const int kPathChars = 260;
const UINT kTableCodePage = 932;  // the tables are Shift-JIS

// Empty the graph: take the first filter, remove it, start the enumeration again.
void removeAllFilters(IGraphBuilder* Graph) {
    IEnumFilters* pEnumFilter = nullptr;
    if (FAILED(Graph->EnumFilters(&pEnumFilter))) return;
    IBaseFilter* pFilter = nullptr;
    while (pEnumFilter->Next(1, &pFilter, nullptr) == S_OK) {
        Graph->RemoveFilter(pFilter);
        pEnumFilter->Reset();
        pFilter->Release();
    }
    pEnumFilter->Release();
}

}  // namespace

int32_t createGraph(MovieGraph* graph) {
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&graph->graphBuilder))))
        return 0;
    IGraphBuilder* Builder = graph->graphBuilder;
    if (FAILED(Builder->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&graph->mediaControl)))) return 0;
    if (FAILED(Builder->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(&graph->videoWindow)))) return 0;
    if (FAILED(Builder->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&graph->basicAudio)))) return 0;
    if (FAILED(Builder->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&graph->mediaSeeking)))) return 0;
    if (FAILED(Builder->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&graph->mediaEvent)))) return 0;
    return 1;
}

int32_t loadClip(const MovieState& movie, int32_t item, int32_t clip) {
    const MovieGraph& Graph = movie.graph;
    Graph.mediaControl->Stop();
    removeAllFilters(Graph.graphBuilder);

    // Loading a clip unlocks it, whether or not its file plays.
    const PlayClip& Clip = movie.playItems[item].clips[clip];
    movie.unlockFlags[Clip.sequenceNumber] = 1;

    // The path is Shift-JIS; an unconvertible one names no file.
    WCHAR WFileName[kPathChars];
    if (MultiByteToWideChar(kTableCodePage, 0, Clip.path, -1, WFileName, kPathChars) == 0) WFileName[0] = 0;

    if (FAILED(Graph.graphBuilder->RenderFile(WFileName, nullptr))) return 0;
    if (FAILED(Graph.videoWindow->put_Owner(reinterpret_cast<OAHWND>(movie.owner)))) return 0;
    if (FAILED(Graph.videoWindow->put_WindowStyle(WS_CHILD))) return 0;
    if (FAILED(Graph.videoWindow->SetWindowPosition(kVideoLeft, kVideoTop, kVideoWidth, kVideoHeight))) return 0;
    if (FAILED(Graph.mediaSeeking->GetDuration(movie.duration))) return 0;

    LONGLONG SeekPos = 0;
    Graph.mediaSeeking->SetPositions(&SeekPos, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    Graph.videoWindow->put_Visible(OATRUE);
    Graph.basicAudio->put_Volume(*movie.volume);
    *movie.clipPlayCount = 0;
    return 1;
}

int32_t playClip(const MovieState& movie, int32_t item, int32_t clip) {
    *movie.currentItem = item;
    *movie.currentClip = clip;
    if (loadClip(movie, item, clip)) return 1;
    showError(movie.owner, kMessageMovieFailed);
    return 0;
}

void seekToFraction(IMediaSeeking* seeking, int64_t duration, double fraction) {
    LONGLONG SeekPos = static_cast<LONGLONG>(static_cast<double>(duration) * fraction);
    seeking->SetPositions(&SeekPos, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
}

double playedFraction(IMediaSeeking* seeking, int64_t duration) {
    LONGLONG CurrentPos = 0;
    if (!seeking || FAILED(seeking->GetCurrentPosition(&CurrentPos)) || duration <= 0) return 0.0;
    double Fraction = static_cast<double>(CurrentPos) / static_cast<double>(duration);
    if (Fraction < 0.0) return 0.0;
    if (Fraction > 1.0) return 1.0;
    return Fraction;
}
