// The recording DirectShow subset: one graph object behind all the interfaces,
// with scripted results and a filter list that RenderFile fills.
//
// Implemented: CoCreateInstance of CLSID_FilterGraph and everything declared in
// api/fw_dshow.h. Not implemented: playback; WaitForCompletion returns the
// scripted event codes.
#include <memory>
#include <sstream>

#include "../common/com_object.h"
#include "../common/layer.h"
#include "record.h"

namespace fwrecord {

namespace {

std::string position(const LONGLONG* value) { return value ? std::to_string(*value) : "null"; }

struct RecordedFilter final : public fwlayer::ComObject<IBaseFilter> {
    void released(ULONG left) override {
        if (left > 0) return;
        --dshow().liveObjects;
        delete this;
    }
};

struct RecordedGraph;

struct RecordedEnum final : public fwlayer::ComObject<IEnumFilters> {
    RecordedGraph* graph;
    size_t next = 0;
    explicit RecordedEnum(RecordedGraph* g) : graph(g) {}
    void released(ULONG left) override;
    HRESULT STDMETHODCALLTYPE Next(ULONG count, IBaseFilter** filters, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Reset() override {
        record("IEnumFilters::Reset");
        next = 0;
        return S_OK;
    }
};

struct RecordedGraph final
    : public fwlayer::ComObject<IGraphBuilder, IMediaControl, IMediaEvent, IMediaSeeking, IBasicAudio, IVideoWindow> {
    std::vector<IBaseFilter*> filters;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        const char* name = iid == IID_IMediaControl   ? "IMediaControl"
                           : iid == IID_IMediaEvent   ? "IMediaEvent"
                           : iid == IID_IMediaSeeking ? "IMediaSeeking"
                           : iid == IID_IBasicAudio   ? "IBasicAudio"
                           : iid == IID_IVideoWindow  ? "IVideoWindow"
                           : iid == IID_IGraphBuilder ? "IGraphBuilder"
                           : iid == IID_IUnknown      ? "IUnknown"
                                                      : "unknown";
        record(std::string("QueryInterface ") + name);
        *out = nullptr;
        if (iid == IID_IMediaControl) *out = static_cast<IMediaControl*>(this);
        else if (iid == IID_IMediaEvent) *out = static_cast<IMediaEvent*>(this);
        else if (iid == IID_IMediaSeeking) *out = static_cast<IMediaSeeking*>(this);
        else if (iid == IID_IBasicAudio) *out = static_cast<IBasicAudio*>(this);
        else if (iid == IID_IVideoWindow) *out = static_cast<IVideoWindow*>(this);
        else if (iid == IID_IGraphBuilder || iid == IID_IUnknown) *out = static_cast<IGraphBuilder*>(this);
        else return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    void released(ULONG left) override {
        record("Release graph " + std::to_string(left));
        if (left > 0) return;
        for (IBaseFilter* f : filters) f->Release();
        filters.clear();
        dshow().filterCount = 0;
        --dshow().liveObjects;
        delete this;
    }

    // IGraphBuilder
    HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter* filter) override {
        record("RemoveFilter");
        for (size_t i = 0; i < filters.size(); ++i)
            if (filters[i] == filter) {
                filters.erase(filters.begin() + static_cast<long>(i));
                dshow().filterCount = static_cast<int>(filters.size());
                filter->Release();
                return S_OK;
            }
        return VFW_E_NOT_FOUND;
    }
    HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters** out) override {
        record("EnumFilters");
        *out = new RecordedEnum(this);
        ++dshow().liveObjects;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RenderFile(LPCWSTR file, LPCWSTR playList) override {
        std::string path = fwlayer::wideToUtf8(file);
        record("RenderFile " + path + (playList ? " playlist" : ""));
        auto scripted = dshow().renderFileResults.find(path);
        HRESULT result = scripted != dshow().renderFileResults.end() ? scripted->second : S_OK;
        if (SUCCEEDED(result)) {
            for (int i = 0; i < dshow().filtersPerRender; ++i) {
                filters.push_back(new RecordedFilter);
                ++dshow().liveObjects;
            }
            dshow().filterCount = static_cast<int>(filters.size());
        }
        return result;
    }

    // IMediaControl
    HRESULT STDMETHODCALLTYPE Run() override {
        record("Run");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Pause() override {
        record("Pause");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Stop() override {
        record("Stop");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE StopWhenReady() override {
        record("StopWhenReady");
        return S_OK;
    }

    // IMediaEvent
    HRESULT STDMETHODCALLTYPE WaitForCompletion(LONG timeout, LONG* code) override {
        record("WaitForCompletion " + std::to_string(timeout));
        if (dshow().eventCodes.empty()) {
            *code = 0;
            return E_ABORT;
        }
        *code = dshow().eventCodes.front();
        dshow().eventCodes.pop_front();
        return *code == EC_COMPLETE ? S_OK : E_ABORT;
    }

    // IMediaSeeking
    HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) override {
        record("GetDuration");
        if (FAILED(dshow().getDurationResult)) return dshow().getDurationResult;
        *duration = dshow().duration;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* current) override {
        record("GetCurrentPosition");
        if (FAILED(dshow().getCurrentPositionResult)) return dshow().getCurrentPositionResult;
        *current = dshow().position;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                           DWORD stopFlags) override {
        record("SetPositions " + position(current) + " " + std::to_string(currentFlags) + " " + position(stop) + " " +
               std::to_string(stopFlags));
        if (current && (currentFlags & AM_SEEKING_AbsolutePositioning)) dshow().position = *current;
        return S_OK;
    }

    // IBasicAudio
    HRESULT STDMETHODCALLTYPE put_Volume(LONG volume) override {
        record("put_Volume " + std::to_string(volume));
        if (volume < -10000 || volume > 0) return E_INVALIDARG;
        dshow().volume = volume;
        return S_OK;
    }

    // IVideoWindow
    HRESULT STDMETHODCALLTYPE put_WindowStyle(LONG style) override {
        record("put_WindowStyle " + std::to_string(style));
        return dshow().putWindowStyleResult;
    }
    HRESULT STDMETHODCALLTYPE put_Visible(LONG visible) override {
        record("put_Visible " + std::to_string(visible));
        dshow().visible = visible != OAFALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Owner(OAHWND owner) override {
        record(std::string("put_Owner ") + (owner ? "hwnd" : "null"));
        return dshow().putOwnerResult;
    }
    HRESULT STDMETHODCALLTYPE SetWindowPosition(LONG left, LONG top, LONG width, LONG height) override {
        record("SetWindowPosition " + std::to_string(left) + " " + std::to_string(top) + " " + std::to_string(width) +
               " " + std::to_string(height));
        return dshow().setWindowPositionResult;
    }
};

void RecordedEnum::released(ULONG left) {
    if (left > 0) return;
    record("Release enum");
    --dshow().liveObjects;
    delete this;
}

HRESULT RecordedEnum::Next(ULONG count, IBaseFilter** out, ULONG* fetched) {
    record("IEnumFilters::Next " + std::to_string(count));
    if (count != 1 && !fetched) return E_POINTER;
    if (next >= graph->filters.size()) {
        if (fetched) *fetched = 0;
        return S_FALSE;
    }
    *out = graph->filters[next++];
    (*out)->AddRef();
    if (fetched) *fetched = 1;
    return S_OK;
}

}  // namespace

DShowState& dshow() {
    static DShowState state;
    return state;
}

void resetDShow() { dshow() = DShowState(); }

}  // namespace fwrecord

using namespace fwrecord;

HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out) {
    record(std::string("CoCreateInstance") + (clsid == CLSID_FilterGraph ? " CLSID_FilterGraph" : " other") +
           (outer ? " outer" : "") + " " + std::to_string(context) +
           (iid == IID_IGraphBuilder ? " IID_IGraphBuilder" : " other"));
    *out = nullptr;
    if (FAILED(dshow().createInstanceResult)) return dshow().createInstanceResult;
    if (clsid != CLSID_FilterGraph) return REGDB_E_CLASSNOTREG;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (iid != IID_IGraphBuilder && iid != IID_IUnknown) return E_NOINTERFACE;
    RecordedGraph* graph = new RecordedGraph;
    ++dshow().liveObjects;
    *out = static_cast<IGraphBuilder*>(graph);
    return S_OK;
}
