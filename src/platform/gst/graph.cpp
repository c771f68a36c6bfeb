// COM's CoCreateInstance for the filter graph manager, and the manager itself: one
// object with the views IUnknown, IGraphBuilder, IMediaControl, IMediaEvent,
// IMediaSeeking, IBasicAudio and IVideoWindow, counted together. What it holds
// between RenderFile and the tear-down is one clip (clip.h) and the filters that
// stand for it, and after the tear-down the clip's pipeline, parked for the next
// RenderFile; its video window is a child video of the layer (common/layer.h).
//
// Implements:
//   CoCreateInstance: CLSID_FilterGraph only (else REGDB_E_CLASSNOTREG); no
//     aggregation (CLASS_E_NOAGGREGATION).
//   IGraphBuilder: RenderFile (null play list; the wide name is UTF-32 and goes to
//     the file system as UTF-8; a graph that holds a clip is emptied first),
//     EnumFilters, RemoveFilter (removing any filter takes the clip down: the graph
//     is no longer complete). The filters are a source, a splitter, and a decoder
//     and a renderer per rendered stream kind; they expose IUnknown and IBaseFilter.
//   IEnumFilters: Next (pcFetched may be null when one filter is asked for), Reset.
//     The enumeration is live: after a removal, Reset starts again at the first
//     remaining filter.
//   IMediaControl: Run, Pause, Stop (the position is kept), StopWhenReady (shows
//     the frame at the current position, then stops).
//   IMediaSeeking: GetDuration (100 ns units, from the first frame to the end of
//     the longest stream; 0 for a file that cannot tell it), GetCurrentPosition
//     (0 at the first frame, never beyond the duration), SetPositions (absolute
//     or relative current positions, accurate to the frame whatever the spacing
//     of key frames; the stop position only with AM_SEEKING_NoPositioning, other
//     stop flags give E_NOTIMPL; other flag bits are ignored).
//   IBasicAudio: put_Volume (-10000 to 0 hundredths of a decibel, else
//     E_INVALIDARG; E_NOTIMPL for a clip with no audio).
//   IMediaEvent: WaitForCompletion: S_OK with EC_COMPLETE once per end reached
//     while running (again only after a seek, a load or a run reaches it again),
//     S_OK with EC_ERRORABORT once after a streaming error, else E_ABORT with 0.
//   IVideoWindow: put_Owner, put_WindowStyle (WS_CHILD styles only, else
//     E_NOTIMPL), SetWindowPosition, put_Visible; E_NOINTERFACE for a clip with no
//     video, as when no video renderer is in the graph.
// On an empty graph: Stop succeeds (it is stopped), WaitForCompletion times out,
// every other call that needs a clip returns VFW_E_NOT_CONNECTED.
// Not implemented: everything else of these interfaces (they do not declare it),
// play lists, time formats other than 100 ns, a top-level video window.
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "../common/com_object.h"
#include "clip.h"

namespace {

// --- Filters -------------------------------------------------------------------
// One COM interface, answering for itself and IUnknown, deleted with its last reference.
template <typename Interface, const IID& kInterfaceId>
class SingleInterface : public fwlayer::ComObject<Interface> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        if (!ppvObject) return E_POINTER;
        if (!(riid == IID_IUnknown || riid == kInterfaceId))
            return fwlayer::ComObject<Interface>::QueryInterface(riid, ppvObject);
        *ppvObject = static_cast<Interface*>(this);
        this->AddRef();
        return S_OK;
    }
};

class Filter final : public SingleInterface<IBaseFilter, IID_IBaseFilter> {};

class FilterGraph;

// --- Filter enumerator -----------------------------------------------------------
class FilterEnumerator final : public SingleInterface<IEnumFilters, IID_IEnumFilters> {
public:
    explicit FilterEnumerator(FilterGraph* graph);
    ~FilterEnumerator() override;

    HRESULT STDMETHODCALLTYPE Next(ULONG cFilters, IBaseFilter** ppFilter, ULONG* pcFetched) override;
    HRESULT STDMETHODCALLTYPE Reset() override {
        next_ = 0;
        return S_OK;
    }

private:
    FilterGraph* graph_;
    size_t next_ = 0;
};

// --- The filter graph manager ---------------------------------------------------------
class FilterGraph final
    : public fwlayer::ComObject<IGraphBuilder, IMediaControl, IMediaEvent, IMediaSeeking, IBasicAudio, IVideoWindow> {
public:
    FilterGraph() : video_(fwlayer::childVideoCreate()) {}
    ~FilterGraph() {
        emptyGraph();
        fwgst::clipClose(spare_);
        fwlayer::childVideoDestroy(video_);
    }

    const std::vector<Filter*>& filters() const { return filters_; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        if (!ppvObject) return E_POINTER;
        void* view = nullptr;
        if (riid == IID_IUnknown || riid == IID_IGraphBuilder) view = static_cast<IGraphBuilder*>(this);
        else if (riid == IID_IMediaControl) view = static_cast<IMediaControl*>(this);
        else if (riid == IID_IMediaEvent) view = static_cast<IMediaEvent*>(this);
        else if (riid == IID_IMediaSeeking) view = static_cast<IMediaSeeking*>(this);
        else if (riid == IID_IBasicAudio) view = static_cast<IBasicAudio*>(this);
        else if (riid == IID_IVideoWindow) view = static_cast<IVideoWindow*>(this);
        *ppvObject = view;
        if (!view) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

    // IGraphBuilder
    HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter* pFilter) override {
        for (size_t i = 0; i < filters_.size(); ++i) {
            if (static_cast<IBaseFilter*>(filters_[i]) != pFilter) continue;
            closeClip();
            filters_[i]->Release();
            filters_.erase(filters_.begin() + long(i));
            return S_OK;
        }
        return VFW_E_NOT_FOUND;
    }
    HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters** ppEnum) override {
        if (!ppEnum) return E_POINTER;
        *ppEnum = new FilterEnumerator(this);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RenderFile(LPCWSTR lpcwstrFile, LPCWSTR lpcwstrPlayList) override;

    // IMediaControl
    HRESULT STDMETHODCALLTYPE Run() override { return setState(fwgst::ClipState::Running); }
    HRESULT STDMETHODCALLTYPE Pause() override { return setState(fwgst::ClipState::Paused); }
    HRESULT STDMETHODCALLTYPE Stop() override {
        if (!clip_) return S_OK;
        return setState(fwgst::ClipState::Stopped);
    }
    HRESULT STDMETHODCALLTYPE StopWhenReady() override { return setState(fwgst::ClipState::Cued); }

    // IMediaEvent
    HRESULT STDMETHODCALLTYPE WaitForCompletion(LONG msTimeout, LONG* pEvCode) override;

    // IMediaSeeking
    HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* pDuration) override {
        if (!pDuration) return E_POINTER;
        if (!clip_) return VFW_E_NOT_CONNECTED;
        int64_t duration = 0;
        if (!fwgst::clipDuration(clip_, &duration)) return E_FAIL;
        *pDuration = duration;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* pCurrent) override {
        if (!pCurrent) return E_POINTER;
        if (!clip_) return VFW_E_NOT_CONNECTED;
        int64_t position = 0;
        if (!fwgst::clipPosition(clip_, &position)) return E_FAIL;
        *pCurrent = position;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,
                                           DWORD dwStopFlags) override;

    // IBasicAudio
    HRESULT STDMETHODCALLTYPE put_Volume(LONG lVolume) override;

    // IVideoWindow
    HRESULT STDMETHODCALLTYPE put_WindowStyle(LONG WindowStyle) override {
        HRESULT ready = videoReady();
        if (ready != S_OK) return ready;
        if (!(WindowStyle & WS_CHILD)) return E_NOTIMPL;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Visible(LONG Visible) override {
        HRESULT ready = videoReady();
        if (ready != S_OK) return ready;
        fwlayer::childVideoSetVisible(video_, Visible != OAFALSE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Owner(OAHWND Owner) override {
        HRESULT ready = videoReady();
        if (ready != S_OK) return ready;
        fwlayer::childVideoSetOwner(video_, reinterpret_cast<HWND>(Owner));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetWindowPosition(LONG Left, LONG Top, LONG Width, LONG Height) override {
        HRESULT ready = videoReady();
        if (ready != S_OK) return ready;
        if (Width < 0 || Height < 0) return E_INVALIDARG;
        fwlayer::childVideoSetRect(video_, Left, Top, Width, Height);
        return S_OK;
    }

private:
    HRESULT setState(fwgst::ClipState state) {
        if (!clip_) return VFW_E_NOT_CONNECTED;
        fwgst::clipSetState(clip_, state);
        return S_OK;
    }
    HRESULT videoReady() const {
        if (!clip_) return VFW_E_NOT_CONNECTED;
        return fwgst::clipHasVideo(clip_) ? S_OK : E_NOINTERFACE;
    }
    // The clip goes, and with its renderer the video window: hidden, unowned, black.
    void closeClip() {
        if (!clip_) return;
        spare_ = fwgst::clipPark(clip_);
        clip_ = nullptr;
        errorReported_ = false;
        fwlayer::childVideoSetVisible(video_, false);
        fwlayer::childVideoSetOwner(video_, nullptr);
        fwlayer::childVideoClearFrame(video_);
    }
    void emptyGraph() {
        closeClip();
        for (Filter* filter : filters_) filter->Release();
        filters_.clear();
    }
    void addFilters(int count) {
        for (int i = 0; i < count; ++i) filters_.push_back(new Filter());
    }

    fwlayer::ChildVideo* video_;
    fwgst::Clip* clip_ = nullptr;
    fwgst::Clip* spare_ = nullptr;  // the last clip's pipeline, kept for the next
    std::vector<Filter*> filters_;
    bool errorReported_ = false;
};

FilterEnumerator::FilterEnumerator(FilterGraph* graph) : graph_(graph) { graph_->AddRef(); }
FilterEnumerator::~FilterEnumerator() { graph_->Release(); }

HRESULT FilterEnumerator::Next(ULONG cFilters, IBaseFilter** ppFilter, ULONG* pcFetched) {
    if (!ppFilter) return E_POINTER;
    if (!pcFetched && cFilters != 1) return E_POINTER;
    const std::vector<Filter*>& filters = graph_->filters();
    ULONG fetched = 0;
    while (fetched < cFilters && next_ < filters.size()) {
        Filter* filter = filters[next_++];
        filter->AddRef();
        ppFilter[fetched++] = filter;
    }
    if (pcFetched) *pcFetched = fetched;
    return fetched == cFilters ? S_OK : S_FALSE;
}

HRESULT FilterGraph::RenderFile(LPCWSTR lpcwstrFile, LPCWSTR lpcwstrPlayList) {
    if (!lpcwstrFile) return E_POINTER;
    if (lpcwstrPlayList) return E_INVALIDARG;
    emptyGraph();
    std::string path = fwlayer::wideToUtf8(lpcwstrFile);
    if (path.empty()) return VFW_E_NOT_FOUND;
    HRESULT result = E_FAIL;
    fwgst::Clip* clip = fwgst::clipOpen(path.c_str(), video_, &spare_, &result);
    if (!clip) return result;
    clip_ = clip;
    // A source and a splitter, then a decoder and a renderer per stream kind.
    addFilters(2 + (fwgst::clipHasVideo(clip) ? 2 : 0) + (fwgst::clipHasAudio(clip) ? 2 : 0));
    return result;
}

HRESULT FilterGraph::WaitForCompletion(LONG msTimeout, LONG* pEvCode) {
    if (!pEvCode) return E_POINTER;
    *pEvCode = 0;
    // INFINITE arrives as -1.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(msTimeout < 0 ? 0 : msTimeout);
    for (;;) {
        if (clip_) {
            if (!errorReported_ && fwgst::clipStreamError(clip_) != S_OK) {
                errorReported_ = true;
                *pEvCode = EC_ERRORABORT;
                return S_OK;
            }
            if (fwgst::clipTakeCompletion(clip_)) {
                *pEvCode = EC_COMPLETE;
                return S_OK;
            }
        }
        if (msTimeout >= 0 && std::chrono::steady_clock::now() >= deadline) return E_ABORT;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

HRESULT FilterGraph::SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop, DWORD dwStopFlags) {
    const DWORD positioningBits = 0x3;
    if ((dwStopFlags & positioningBits) != AM_SEEKING_NoPositioning) return E_NOTIMPL;
    (void)pStop;
    DWORD how = dwCurrentFlags & positioningBits;
    if (how == AM_SEEKING_NoPositioning) return clip_ ? S_OK : VFW_E_NOT_CONNECTED;
    if (how != AM_SEEKING_AbsolutePositioning && how != AM_SEEKING_RelativePositioning) return E_INVALIDARG;
    if (!pCurrent) return E_POINTER;
    if (!clip_) return VFW_E_NOT_CONNECTED;
    int64_t target = *pCurrent;
    if (how == AM_SEEKING_RelativePositioning) {
        int64_t now = 0;
        if (!fwgst::clipPosition(clip_, &now)) return E_FAIL;
        target += now;
    }
    return fwgst::clipSeek(clip_, target) ? S_OK : E_FAIL;
}

HRESULT FilterGraph::put_Volume(LONG lVolume) {
    if (lVolume < -10000 || lVolume > 0) return E_INVALIDARG;
    if (!clip_) return VFW_E_NOT_CONNECTED;
    if (!fwgst::clipHasAudio(clip_)) return E_NOTIMPL;
    fwgst::clipSetVolume(clip_, std::pow(10.0, double(lVolume) / 2000.0));
    return S_OK;
}

}  // namespace

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    if (rclsid != CLSID_FilterGraph || !(dwClsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    if (!fwgst::ensureGstreamer()) return E_FAIL;
    FilterGraph* graph = new FilterGraph();
    HRESULT result = graph->QueryInterface(riid, ppv);
    graph->Release();
    return result;
}
