// Video frames put on the window straight from shared memory, for the cpu backend.
//
// Implemented: on a local X server with MIT-SHM 1.2 (descriptor passing) and a
//   24-bit true-colour window, frames the media backend decoded into shared memory
//   files (common/shared_frames.cpp) go to the window with XShmPutImage: the X
//   server reads them in place, and the window's image is not written under them.
//   A segment is attached (its descriptor sent) on first use and detached once
//   freed; a refused attach turns the path off for good (frames are then copied
//   into the window's image as before).
// Does not: scale (a frame whose size differs from its area on the window is drawn
//   by cpu_video.cpp), or put anything but a whole lent frame.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <unistd.h>
#include <xcb/shm.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "cpu_device.h"

namespace fwcpu {

struct SharedVideoOutput {
    Display* display = nullptr;
    xcb_connection_t* connection = nullptr;  // the same connection, for the attach
    ::Window window = 0;
    GC gc = nullptr;
    int depth = 0;
    bool failed = false;
    struct Attached {
        uint64_t id;
        XShmSegmentInfo info;
    };
    std::vector<Attached> attached;
    std::vector<uint64_t> freed;
};

namespace {

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

// MIT-SHM 1.2 and later take a segment as a descriptor.
bool takesDescriptors(xcb_connection_t* connection) {
    xcb_shm_query_version_reply_t* version =
        xcb_shm_query_version_reply(connection, xcb_shm_query_version(connection), nullptr);
    bool takes = version && (version->major_version > 1 || version->minor_version >= 2);
    std::free(version);
    return takes;
}

}  // namespace

void sharedVideoTidy(SharedVideoOutput* output) {
    if (!output) return;
    fwlayer::sharedFrameSegmentsTakeFreed(&output->freed);
    for (uint64_t id : output->freed) {
        for (size_t i = 0; i < output->attached.size(); ++i) {
            if (output->attached[i].id != id) continue;
            XShmDetach(output->display, &output->attached[i].info);
            output->attached.erase(output->attached.begin() + static_cast<long>(i));
            break;
        }
    }
}

namespace {

// The X server's attachment of the view's segment, made now if need be; null when
// the server refused it.
const XShmSegmentInfo* attach(SharedVideoOutput* output, const fwlayer::ChildVideoView& view) {
    for (const SharedVideoOutput::Attached& known : output->attached)
        if (known.id == view.frameSegment) return &known.info;
    int fd = dup(view.frameSegmentFd);  // the request closes the copy it sends
    uint32_t segment = xcb_generate_id(output->connection);
    xcb_generic_error_t* error =
        fd < 0 ? nullptr
               : xcb_request_check(output->connection, xcb_shm_attach_fd_checked(output->connection, segment, fd, 1));
    if (fd < 0 || error) {
        std::free(error);
        output->failed = true;
        fwlayer::sharedFramesWanted(false);
        return nullptr;
    }
    XShmSegmentInfo info = {};
    info.shmseg = segment;
    info.shmid = -1;
    info.readOnly = True;
    output->attached.push_back({view.frameSegment, info});
    return &output->attached.back().info;
}

}  // namespace

SharedVideoOutput* sharedVideoBegin(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return nullptr;
    Display* display = info.info.x11.display;
    if (!display || !localDisplay(display) || !XShmQueryExtension(display)) return nullptr;
    xcb_connection_t* connection = XGetXCBConnection(display);
    int depth = 0;
    if (!takesDescriptors(connection) || !windowTakesFrames(display, info.info.x11.window, &depth)) return nullptr;
    SharedVideoOutput* output = new SharedVideoOutput;
    output->display = display;
    output->connection = connection;
    output->window = info.info.x11.window;
    output->gc = XCreateGC(display, output->window, 0, nullptr);
    output->depth = depth;
    fwlayer::sharedFramesWanted(true);
    return output;
}

void sharedVideoEnd(SharedVideoOutput* output) {
    if (!output) return;
    fwlayer::sharedFramesWanted(false);
    for (SharedVideoOutput::Attached& known : output->attached) XShmDetach(output->display, &known.info);
    XFreeGC(output->display, output->gc);
    XSync(output->display, False);
    delete output;
}

bool sharedVideoCanPut(const SharedVideoOutput* output, const fwlayer::ChildVideoView& view, const PixelRect& area) {
    return output && !output->failed && view.frameSegment != 0 && view.frameBgra &&
           view.frameWidth == area.right - area.left && view.frameHeight == area.bottom - area.top;
}

// Puts part (window pixels, inside the video's area there) and waits until the X
// server has read it, since the frame goes back to the decoder once replaced.
bool sharedVideoPut(SharedVideoOutput* output, const fwlayer::ChildVideoView& view, const PixelRect& area,
                    const PixelRect& part) {
    if (!sharedVideoCanPut(output, view, area)) return false;
    const XShmSegmentInfo* attached = attach(output, view);
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
    XShmPutImage(output->display, output->window, output->gc, &image, part.left - area.left, part.top - area.top,
                 part.left, part.top, static_cast<unsigned>(part.right - part.left),
                 static_cast<unsigned>(part.bottom - part.top), False);
    XSync(output->display, False);
    return true;
}

}  // namespace fwcpu
