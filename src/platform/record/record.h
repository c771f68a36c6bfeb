// The recording platform: Win32, Direct3D 9 and DirectShow stand-ins that log
// every call in one ordered list and answer with scripted results, so the
// program's code runs in unit tests and fuzzers without a display, a GPU or a
// sound card.
//
// Implemented: every function and method declared in src/platform/api.
// Time is virtual: timeGetTime reads `clock`, Sleep advances it.
// Not implemented: anything real. Nothing is drawn, played or shown.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace fwrecord {

// --- The call log ------------------------------------------------------------------
// One line per platform call, in call order: the function or method name, then its
// arguments as the recorder formats them (see each recorder).
std::vector<std::string>& calls();
void record(const std::string& line);
// Lines of calls() that start with prefix, in order.
std::vector<std::string> callsStartingWith(const std::string& prefix);
// Runs after every recorded call, with its line: tests use it to script the world
// (post a message at a certain frame, advance the clock, fail the next call).
extern std::function<void(const std::string& line)> onCall;

// Clears the log, every knob below and every object the recorders made.
void resetAll();

// --- Win32 --------------------------------------------------------------------------
struct Win32State {
    DWORD clock = 0;  // timeGetTime's answer, in ms; Sleep adds to it
    bool failCreateWindow = false;
    std::deque<MSG> queue;           // what PeekMessageA / GetMessageA deliver
    POINT cursor = {0, 0};           // GetCursorPos
    RECT windowRect = {0, 0, 0, 0};  // GetWindowRect of the main window
    bool leftHeld = false;           // GetKeyState(VK_LBUTTON)
    bool rightHeld = false;          // GetKeyState(VK_RBUTTON)
    HWND capture = nullptr;          // SetCapture / ReleaseCapture
    HWND window = nullptr;           // the last window made
    WNDPROC windowProc = nullptr;    // its class's procedure
    LONG_PTR userData = 0;           // its GWLP_USERDATA
    bool windowDestroyed = false;
    int coInitializeCount = 0;                       // CoInitialize minus CoUninitialize
    EXECUTION_STATE executionState = ES_CONTINUOUS;  // the last continuous SetThreadExecutionState
    struct Box {
        HWND owner;
        std::string caption;  // as given (code page 932 bytes)
        std::string text;
        UINT type;
    };
    std::vector<Box> messageBoxes;
};
Win32State& win32();

// Delivers a message to the window procedure at once, as SendMessage would.
LRESULT sendMessage(UINT message, WPARAM wParam, LPARAM lParam);
// Queues a message for the window, as PostMessage would.
void postMessage(UINT message, WPARAM wParam, LPARAM lParam);

// The metrics the recorder answers (GetSystemMetrics).
enum { kFixedFrameX = 3, kFixedFrameY = 3, kEdgeX = 2, kEdgeY = 2, kCaptionY = 20 };

// --- Direct3D 9 ---------------------------------------------------------------------
struct RecordedVertex {
    float x, y, z, rhw;
    DWORD diffuse;
    float u, v;
};
struct RecordedDraw {
    IDirect3DBaseTexture9* texture;  // bound to stage 0 when the draw was made
    DWORD fvf;
    D3DPRIMITIVETYPE type;
    UINT primitiveCount;
    UINT stride;
    std::vector<RecordedVertex> vertices;
};
struct RecordedTexture;  // the recorder's IDirect3DTexture9

struct D3DState {
    std::vector<HRESULT> createDeviceResults;  // one per CreateDevice call, in order; S_OK when run out
    UINT maxTextureSize = 4096;                // CreateTexture beyond: D3DERR_INVALIDCALL
    bool failCreateTexture = false;
    int pitchPadding = 16;            // bytes added to each locked row, so pitch is honoured
    std::vector<RecordedDraw> draws;  // every DrawPrimitiveUP
    int presents = 0;
    D3DPRESENT_PARAMETERS lastPresentParams = {};
    int liveObjects = 0;  // made minus released to 0
};
D3DState& d3d();

// Texel (x, y) of a texture the recorder made, as A8R8G8B8.
DWORD texel(IDirect3DTexture9* texture, UINT x, UINT y);
// Whether texel (x, y) was ever written since the texture was made.
bool texelWritten(IDirect3DTexture9* texture, UINT x, UINT y);
// The size CreateTexture was given.
UINT textureWidth(IDirect3DTexture9* texture);
UINT textureHeight(IDirect3DTexture9* texture);
// A short name for a texture in the log: "tex1", "tex2", ... in creation order.
std::string textureName(const IDirect3DBaseTexture9* texture);

// --- DirectShow ---------------------------------------------------------------------
struct DShowState {
    HRESULT createInstanceResult = S_OK;
    std::map<std::string, HRESULT> renderFileResults;  // by UTF-8 path; S_OK otherwise
    int filtersPerRender = 3;                          // filters a successful RenderFile adds
    int filterCount = 0;                               // filters in the graph now
    HRESULT putOwnerResult = S_OK;
    HRESULT putWindowStyleResult = S_OK;
    HRESULT setWindowPositionResult = S_OK;
    HRESULT getDurationResult = S_OK;
    LONGLONG duration = 100000000;  // GetDuration's answer
    LONGLONG position = 0;          // GetCurrentPosition's answer; SetPositions writes it
    HRESULT getCurrentPositionResult = S_OK;
    std::deque<LONG> eventCodes;  // WaitForCompletion's codes, one per call; then none
    bool visible = false;
    LONG volume = 0;
    int liveObjects = 0;
};
DShowState& dshow();

}  // namespace fwrecord
