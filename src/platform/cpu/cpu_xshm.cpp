// Video frames put on the window straight from shared memory, for the cpu backend.
//
// Implemented: on a local X server with MIT-SHM and a 24-bit true-colour window,
//   frames the media backend decoded into shared segments (common/shared_frames.cpp)
//   go to the window with XShmPutImage: the X server reads them in place, and the
//   window's image is not written under them. Segments are attached on first use and
//   detached once freed; a failed attach turns the path off for good (frames are
//   then copied into the window's image as before).
// Does not: scale (a frame whose size differs from its area is drawn by
//   cpu_video.cpp), or put anything but a whole lent frame.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstring>
#include <vector>

#include "cpu_device.h"

namespace fwcpu {

struct SharedVideoOutput {
    Display* display = nullptr;
    ::Window window = 0;
    GC gc = nullptr;
    int depth = 0;
    bool failed = false;
    std::vector<XShmSegmentInfo> attached;
    std::vector<int> freed;
};

namespace {

bool trappedError = false;

int trapError(Display*, XErrorEvent*) {
    trappedError = true;
    return 0;
}

// The window's pixels are what the frames hold: 32 bits, B, G, R, x in memory.
bool windowTakesFrames(Display* display, ::Window window, int* depth) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes) || !attributes.visual) return false;
    const Visual* visual = attributes.visual;
    if (attributes.depth != 24 || visual->red_mask != 0xFF0000 || visual->green_mask != 0xFF00 ||
        visual->blue_mask != 0xFF || ImageByteOrder(display) != LSBFirst)
        return false;
    int count = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
    bool fits = false;
    for (int i = 0; i < count; ++i)
        if (formats[i].depth == 24) fits = formats[i].bits_per_pixel == 32;
    if (formats) XFree(formats);
    *depth = attributes.depth;
    return fits;
}

bool localDisplay(Display* display) {
    const char* name = DisplayString(display);
    return name && (name[0] == ':' || std::strncmp(name, "unix:", 5) == 0);
}

}  // namespace

void sharedVideoTidy(SharedVideoOutput* output) {
    if (!output) return;
    fwlayer::sharedFrameSegmentsTakeFreed(&output->freed);
    for (int id : output->freed) {
        for (size_t i = 0; i < output->attached.size(); ++i) {
            if (output->attached[i].shmid != id) continue;
            XShmDetach(output->display, &output->attached[i]);
            output->attached.erase(output->attached.begin() + static_cast<long>(i));
            break;
        }
    }
}

namespace {

// The X server's attachment of segment id, made now if need be; null when the
// server refused it.
const XShmSegmentInfo* attach(SharedVideoOutput* output, int id) {
    for (const XShmSegmentInfo& info : output->attached)
        if (info.shmid == id) return &info;
    XShmSegmentInfo info = {};
    info.shmid = id;
    info.readOnly = True;
    XSync(output->display, False);
    trappedError = false;
    XErrorHandler previous = XSetErrorHandler(trapError);
    Status attached = XShmAttach(output->display, &info);
    XSync(output->display, False);
    XSetErrorHandler(previous);
    if (!attached || trappedError) {
        output->failed = true;
        fwlayer::sharedFramesWanted(false);
        return nullptr;
    }
    output->attached.push_back(info);
    return &output->attached.back();
}

}  // namespace

SharedVideoOutput* sharedVideoBegin(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return nullptr;
    Display* display = info.info.x11.display;
    int depth = 0;
    if (!display || !localDisplay(display) || !XShmQueryExtension(display) ||
        !windowTakesFrames(display, info.info.x11.window, &depth))
        return nullptr;
    SharedVideoOutput* output = new SharedVideoOutput;
    output->display = display;
    output->window = info.info.x11.window;
    output->gc = XCreateGC(display, output->window, 0, nullptr);
    output->depth = depth;
    fwlayer::sharedFramesWanted(true);
    return output;
}

void sharedVideoEnd(SharedVideoOutput* output) {
    if (!output) return;
    fwlayer::sharedFramesWanted(false);
    for (XShmSegmentInfo& info : output->attached) XShmDetach(output->display, &info);
    XFreeGC(output->display, output->gc);
    XSync(output->display, False);
    delete output;
}

bool sharedVideoCanPut(const SharedVideoOutput* output, const fwlayer::ChildVideoView& view) {
    return output && !output->failed && view.frameSegment >= 0 && view.frameBgra &&
           view.frameWidth == view.width && view.frameHeight == view.height;
}

// Puts part (client coordinates, inside the video's area) and waits until the X
// server has read it, since the frame goes back to the decoder once replaced.
bool sharedVideoPut(SharedVideoOutput* output, const fwlayer::ChildVideoView& view, const PixelRect& part) {
    if (!sharedVideoCanPut(output, view)) return false;
    const XShmSegmentInfo* attached = attach(output, view.frameSegment);
    if (!attached) return false;
    XShmSegmentInfo segment = *attached;
    char* pixels = const_cast<char*>(reinterpret_cast<const char*>(view.frameBgra));
    segment.shmaddr = pixels - view.frameSegmentOffset;
    XImage image = {};
    image.width = view.frameStride / 4;
    image.height = view.frameHeight;
    image.format = ZPixmap;
    image.depth = output->depth;
    image.bits_per_pixel = 32;
    image.bytes_per_line = view.frameStride;
    image.data = pixels;
    image.obdata = reinterpret_cast<char*>(&segment);
    XShmPutImage(output->display, output->window, output->gc, &image, part.left - view.left, part.top - view.top,
                 part.left, part.top, static_cast<unsigned>(part.right - part.left),
                 static_cast<unsigned>(part.bottom - part.top), False);
    XSync(output->display, False);
    return true;
}

}  // namespace fwcpu
