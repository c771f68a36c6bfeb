// Seams between the Linux backends of the platform layer. The program never
// includes this header; each backend includes it to reach the others.
//
//   window side (sdl backend, or the record backend in tests):
//     windowSdlHandle, windowClientPlacement, windowSetRepaintHandler, windowRequestRepaint
//   child video (common/child_video.cpp): written by the gst backend, composited
//     by the Direct3D backend's Present (gl or cpu) over the device's picture
//   resources (common/resources.cpp): the program's icon, linked in at build time
//   code page 932 (common/cp932.cpp): the "A" functions' text conversion
//   renderer choice (platform/renderers.cpp, the table above the Direct3D
//     backends): which of them draws, read by the window side (an OpenGL window
//     or not) and by Direct3DCreate9
//   early start (common/early_start.cpp): registered by the media backend, run by
//     CoInitialize
//
// Implements: the seams' declarations.
// Does not: anything the program calls (it sees platform.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../platform.h"

struct SDL_Window;

namespace fwlayer {

// --- Window side ----------------------------------------------------------------
// The SDL window behind a top-level HWND, or null.
SDL_Window* windowSdlHandle(HWND hwnd);

// Where a window's client area lies on its SDL window, in the SDL window's pixels.
// The program draws and points in client units (the size it made the window); the
// window shows them enlarged: at a whole scale N (N x N pixels each), or in
// fullscreen at the largest fit, centred, with black bars around. Pixel w of the
// window shows client pixel clientOf(w); client pixel c starts at windowOf(c).
struct ClientPlacement {
    int clientWidth, clientHeight;
    int left, top, width, height;
    bool identity() const { return left == 0 && top == 0 && width == clientWidth && height == clientHeight; }
};
// The placement of a top-level window (one of 0 x 0 for a handle that is none).
ClientPlacement windowClientPlacement(HWND hwnd);

// Along one axis, by pixel centres: a window pixel shows the client pixel its centre
// falls in (negative or past the client size on a bar); a client pixel's first window
// pixel is the first whose centre falls in it (windowOf(clientSize) is the end).
inline int clientOf(int window, int clientSize, int offset, int size) {
    long long scaled = (2LL * (window - offset) + 1) * clientSize, span = 2LL * size;
    return static_cast<int>(scaled >= 0 ? scaled / span : -((-scaled + span - 1) / span));
}
inline int windowOf(int client, int clientSize, int offset, int size) {
    long long scaled = 2LL * client * size - clientSize, span = 2LL * clientSize;
    return offset + static_cast<int>(scaled >= 0 ? (scaled + span - 1) / span : -(-scaled / span));
}

// Called on the main thread from inside the message pump (PeekMessageA,
// GetMessageA, a message box's loop) after windowRequestRepaint, so that a child
// video's new frame reaches the screen between the program's own frames.
typedef void (*RepaintHandler)(void* user);
void windowSetRepaintHandler(HWND hwnd, RepaintHandler handler, void* user);
// Thread-safe; coalesces: many requests before the pump runs give one repaint.
void windowRequestRepaint(HWND hwnd);

// --- Child video ------------------------------------------------------------------
// One child video area: the picture of a movie, laid over its owner's client area
// at a rectangle, as a WS_CHILD video window over a WS_CLIPCHILDREN parent.
struct ChildVideo;

ChildVideo* childVideoCreate();
void childVideoDestroy(ChildVideo* video);
void childVideoSetOwner(ChildVideo* video, HWND owner);  // null detaches
void childVideoSetRect(ChildVideo* video, int left, int top, int width, int height);
void childVideoSetVisible(ChildVideo* video, bool visible);
// Any thread. Copies a frame of 32-bit pixels, bytes B, G, R, A (alpha ignored),
// top row first, and asks the owner for a repaint.
void childVideoPushFrame(ChildVideo* video, const uint8_t* bgra, int width, int height, int stride);
// Any thread. The same without the copy: the video shows the pixels where they are
// until the next frame, a clear or its destruction, then calls release(user) (on
// that caller's thread, outside the video's lock). A frame the video cannot take
// is released at once.
typedef void (*FrameRelease)(void* user);
void childVideoLendFrame(ChildVideo* video, const uint8_t* bgra, int width, int height, int stride,
                         FrameRelease release, void* user);
// Back to black until the next frame arrives (a new clip was rendered).
void childVideoClearFrame(ChildVideo* video);

// --- Shared frame memory (common/shared_frames.cpp) -----------------------------------
// A memory file holding decoded frames, which the X server can read in place once
// given its descriptor. Id 0 is no segment.
struct SharedFrameSegment {
    uint64_t id;    // unique in the process
    int fd;         // open for the segment's life
    uint8_t* base;  // mapped here, size bytes
    size_t size;
};
bool sharedFrameSegmentCreate(size_t size, SharedFrameSegment* segment);
// Any thread. The presenter lets go of the X server's attachment at its next present.
void sharedFrameSegmentFree(const SharedFrameSegment& segment);
// Set by a presenter that can put such frames on its window (the cpu renderer on a
// local X server); the media backend offers the memory only while it is.
void sharedFramesWanted(bool wanted);
bool sharedFramesAreWanted();
// The presenter's side, on its thread: the ids of the segments freed since last asked.
void sharedFrameSegmentsTakeFreed(std::vector<uint64_t>* ids);
// Any thread. A lent frame's pixels lie in segment, which the video records.
void childVideoLendSharedFrame(ChildVideo* video, const uint8_t* bgra, int width, int height, int stride,
                               const SharedFrameSegment& segment, FrameRelease release, void* user);

struct ChildVideoView {
    int left, top, width, height;  // client rectangle
    int frameWidth, frameHeight;   // 0 before the first frame: the area is black
    int frameStride;
    const uint8_t* frameBgra;   // valid only inside the visitor
    uint64_t frameSerial;       // grows with every pushed or cleared frame
    uint64_t frameSegment;      // the shared segment frameBgra lies in, or 0
    int frameSegmentFd;         // its descriptor, valid only inside the visitor
    size_t frameSegmentOffset;  // frameBgra's offset in it
};
typedef void (*ChildVideoVisitor)(const ChildVideoView& view, void* user);
// Visits the visible child videos of owner, in creation order, under their lock.
void childVideoForEachVisible(HWND owner, ChildVideoVisitor visitor, void* user);
// Changes whenever anything a visible child of owner shows changes (frame,
// rectangle, visibility, ownership, the owner's placement on its window).
uint64_t childVideoGeneration(HWND owner);
// The owner's client area was placed anew on its window (windowClientPlacement): its
// picture and videos are drawn again, and a repaint is asked for.
void childVideoOwnerPlaced(HWND owner);
// Any thread. The size in window pixels the video's area is drawn at (its
// rectangle where its owner's client area lies on the window); false while it has
// no owner or an empty rectangle.
bool childVideoShownSize(ChildVideo* video, int* width, int* height);

// --- Renderer choice ------------------------------------------------------------------
// Gl: Direct3D through OpenGL (src/platform/gl). Cpu: drawn on the CPU into the
// window's surface (src/platform/cpu), chosen where OpenGL would only be a software
// rasterizer: no render node under /dev/dri or LIBGL_ALWAYS_SOFTWARE set.
// FW_RENDERER=gl or FW_RENDERER=cpu forces either. Decided once, without OpenGL,
// from the table in platform/renderers.h.
enum class Renderer { Gl, Cpu };
Renderer chosenRenderer();

// --- Early start -------------------------------------------------------------------
// The media backend registers (during static initialisation) how to begin its own
// start-up on a thread of its own; CoInitialize runs it, so that GStreamer's start
// and plugin loading overlap the window's and OpenGL's instead of following them.
// The text conversions are opened first (see openTextConversions). A program linked
// without a media backend registers nothing and nothing runs.
typedef void (*EarlyStart)();
void setMediaEarlyStart(EarlyStart start);
void runMediaEarlyStart();

// --- Resources ----------------------------------------------------------------------
struct Resource {
    const uint8_t* data;
    size_t size;
};
// The resource of that name (for example the icon group "MAINICON" as a .ico file),
// or {null, 0}.
Resource findResource(const char* name);

// --- Code page 932 ------------------------------------------------------------------
// Shift-JIS bytes (NUL-terminated) to UTF-8, as Windows decodes code page 932;
// bytes that are not valid Shift-JIS become U+FFFD.
std::string cp932ToUtf8(const char* text);
std::string cp932ToUtf8(const char* text, size_t length);
// Opens the two conversions the "A" functions use, once: early, before a media
// plugin's load can hold the dynamic loader's lock that opening one needs.
void openTextConversions();
// One code point onto UTF-8; what cannot be a character (a surrogate, beyond
// U+10FFFF) becomes U+FFFD.
void appendUtf8(char32_t c, std::string* out);
// A NUL-terminated wide string (UTF-32 here) as UTF-8; null gives "".
std::string wideToUtf8(const wchar_t* wide);

}  // namespace fwlayer
