// Declarations of the DirectShow subset the program calls, spelled as the SDK
// spells them, for builds where the SDK is not available.
//
// Declared: the filter graph manager (CLSID_FilterGraph) with IGraphBuilder
// (EnumFilters, RemoveFilter, RenderFile), IEnumFilters (Next, Reset),
// IMediaControl (Run, Pause, Stop, StopWhenReady), IVideoWindow (put_Owner,
// put_WindowStyle, put_Visible, SetWindowPosition), IBasicAudio (put_Volume),
// IMediaSeeking (GetDuration, GetCurrentPosition, SetPositions) and IMediaEvent
// (WaitForCompletion). The interfaces hold only these methods; GUIDs, HRESULTs
// and constants carry the SDK's values.
//
// Implements: the declarations above (the gst backend defines them; record/ for tests).
// Does not: any other interface or method; vtables laid out as the SDK's.
#pragma once

#include "fw_windows.h"

typedef LONGLONG REFERENCE_TIME;
typedef LONG_PTR OAHWND;
typedef LONG OAEVENT;

#define OATRUE (-1)
#define OAFALSE (0)

#define EC_COMPLETE 0x01
#define EC_USERABORT 0x02
#define EC_ERRORABORT 0x03

#define AM_SEEKING_NoPositioning 0x0
#define AM_SEEKING_AbsolutePositioning 0x1
#define AM_SEEKING_RelativePositioning 0x2

#define VFW_S_PARTIAL_RENDER ((HRESULT)0x00040242L)
#define VFW_S_AUDIO_NOT_RENDERED ((HRESULT)0x00040258L)
#define VFW_S_VIDEO_NOT_RENDERED ((HRESULT)0x00040257L)
#define VFW_S_STATE_INTERMEDIATE ((HRESULT)0x00040237L)
#define VFW_E_NOT_FOUND ((HRESULT)0x80040216L)
#define VFW_E_CANNOT_RENDER ((HRESULT)0x80040218L)
#define VFW_E_UNKNOWN_FILE_TYPE ((HRESULT)0x80040240L)
#define VFW_E_UNSUPPORTED_STREAM ((HRESULT)0x80040265L)
#define VFW_E_WRONG_STATE ((HRESULT)0x80040227L)
#define VFW_E_NO_AUDIO_HARDWARE ((HRESULT)0x80040256L)
#define VFW_E_NOT_CONNECTED ((HRESULT)0x80040209L)
#define VFW_E_NO_INTERFACE ((HRESULT)0x80040215L)
#define VFW_E_INVALID_FILE_FORMAT ((HRESULT)0x8004022FL)
#define VFW_E_TIME_EXPIRED ((HRESULT)0x80040249L)
#define E_ABORT_TIMEOUT E_ABORT

struct IBaseFilter : public IUnknown {};

struct IEnumFilters : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG cFilters, IBaseFilter** ppFilter, ULONG* pcFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
};

struct IGraphBuilder : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter* pFilter) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE RenderFile(LPCWSTR lpcwstrFile, LPCWSTR lpcwstrPlayList) = 0;
};

struct IMediaControl : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Run() = 0;
    virtual HRESULT STDMETHODCALLTYPE Pause() = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE StopWhenReady() = 0;
};

struct IMediaEvent : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE WaitForCompletion(LONG msTimeout, LONG* pEvCode) = 0;
};

struct IMediaSeeking : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* pDuration) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* pCurrent) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,
                                                   DWORD dwStopFlags) = 0;
};

struct IBasicAudio : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE put_Volume(LONG lVolume) = 0;
};

struct IVideoWindow : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE put_WindowStyle(LONG WindowStyle) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Visible(LONG Visible) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Owner(OAHWND Owner) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetWindowPosition(LONG Left, LONG Top, LONG Width, LONG Height) = 0;
};

extern const CLSID CLSID_FilterGraph;
extern const IID IID_IGraphBuilder;
extern const IID IID_IMediaControl;
extern const IID IID_IMediaEvent;
extern const IID IID_IMediaSeeking;
extern const IID IID_IBasicAudio;
extern const IID IID_IVideoWindow;
extern const IID IID_IBaseFilter;
extern const IID IID_IEnumFilters;
