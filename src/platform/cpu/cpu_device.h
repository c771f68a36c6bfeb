// The cpu backend's COM objects and what each file of it adds to them:
//   cpu_device.cpp  IDirect3D9, the device's creation, lifetime, textures, Present
//   cpu_raster.cpp  a recorded frame into the window's pixels: clears and texel copies
//   cpu_video.cpp   the child videos, the composition of a picture and its showing
//   cpu_scale.cpp   video frames scaled onto their areas, the picture enlarged
// The rest of the layer sees cpu_renderer.h alone (through platform/renderers.cpp).
//
// Implements: the objects' declarations and the cpu_xshm.cpp seam.
// Does not: anything the other backends could call (they see cpu_renderer.h).
#pragma once

#include <vector>

#include "../d3d/recording_device.h"
#include "cpu_renderer.h"

struct SDL_Surface;

namespace fwcpu {

using namespace fwd3d;

struct CpuDevice;
struct SharedVideoOutput;

struct CpuTexture final : public RecordedTexture<CpuDevice, CpuTexture> {};

// Linear filtering of a video frame onto an area (cpu_scale.cpp); its tables and
// rows are kept from one frame to the next.
struct VideoScaler {
    std::vector<int32_t> columns;   // per column drawn: the first source column
    std::vector<uint32_t> weights;  // and the weight of the next, 0 to 255
    std::vector<uint32_t> rows[2];  // source rows filtered across
    int rowOf[2] = {-1, -1};
    bool doubled = false;  // the area is twice the frame's width: rows doubled whole
    // Draws part (within area, both in the pixels' coordinates) of the frame scaled onto area.
    void draw(const fwlayer::ChildVideoView& view, const PixelRect& area, const PixelRect& part, uint32_t* pixels,
              int pitch);
    const uint32_t* filteredRow(const fwlayer::ChildVideoView& view, int y, int slot);
};

struct CpuDirect3D final : public fwlayer::ComObject<IDirect3D9> {
    HRESULT STDMETHODCALLTYPE CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                                           D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) override;
};

struct CpuDevice final : public RecordingDevice<CpuDevice, CpuTexture> {
    std::vector<uint16_t> depth;  // D16, width * height, when the device has one
    // The depth buffer within the clip, while it holds one value throughout.
    bool depthKnown = false;
    uint16_t depthValue = 0;
    // A value over a whole clip not yet written to the buffer: most frames never
    // test depth against anything but that one value.
    bool depthPending = false;
    PixelRect pendingRect = {0, 0, 0, 0};
    uint16_t pendingValue = 0;

    // The window's surface (an X shared-memory image on X11) is the back buffer
    // while the client area lies on it 1:1: it keeps the last picture until the
    // window is resized. Placed larger, the back buffer is picture, kept here and
    // enlarged onto the surface, and the videos are scaled onto the surface.
    SDL_Surface* surface = nullptr;
    uint32_t* windowPixels = nullptr;
    int windowPitch = 0;  // in pixels
    std::vector<uint32_t> picture;
    uint32_t* pixels = nullptr;         // where frames are drawn: the surface or picture
    int pitch = 0;                      // in pixels
    PixelRect drawable = {0, 0, 0, 0};  // the back buffer's pixels there
    PixelRect clip = {0, 0, 0, 0};      // where drawing goes now
    VideoScaler scaler;
    std::vector<PixelRect> videoAreas;  // the visible child videos as last composed
    bool videoAreasChanged = false;
    SharedVideoOutput* sharedVideo = nullptr;  // null: every frame is copied into the image
    uint32_t* memoryPixels = nullptr;          // a memory device's back buffer (createMemoryDevice)
    int memoryPitch = 0;

    HRESULT STDMETHODCALLTYPE CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* sharedHandle) override;
    HRESULT STDMETHODCALLTYPE DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, CONST void* vertices,
                                              UINT stride) override;

    // cpu_device.cpp
    void destroyIfUnused();
    void textureGone(CpuTexture*) {}
    bool readyToDraw() { return true; }

    // cpu_raster.cpp
    enum class DepthUse { Passes, Fails, PerPixel };
    void replay(const FrameRecord& frame);
    void clearWhole(const FrameRecord& frame, const FrameCommand& command, const FrameCommand* next);
    void fill(const PixelRect& part, DWORD flags, const FrameCommand& command);
    DepthUse depthUse(const PipelineState& state, uint16_t z) const;
    bool planCopy(const FrameRecord& frame, const FrameCommand& command, CpuTexture** texture, TexelCopy* copy,
                  PixelRect* part) const;
    bool isPlainCopy(const TexelCopy& copy, const PixelRect& part, CpuTexture* texture,
                     const PipelineState& state) const;
    bool copyCoversClip(const FrameRecord& frame, const FrameCommand& command) const;
    void replayDraw(const FrameRecord& frame, const FrameCommand& command);
    void copyRows(const TexelCopy& copy, const PixelRect& part, const TexelStore& texture);
    void writeDepth(const PixelRect& part, uint16_t z);
    void setDepth(const PixelRect& part, uint16_t z, bool wholePart);
    void writePendingDepth();
    void shade(const TexelCopy& copy, const PixelRect& part, const TexelStore& texture, const PipelineState& state,
               bool depthPerPixel);

    // cpu_video.cpp
    bool takeSurface(SDL_Window* window, bool* kept);
    void collectVideoAreas();
    void compose(SDL_Window* window, const FrameRecord& frame, bool frameChanged, bool videoChanged);
    void putOnWindow(SDL_Window* window, const PixelRect& rect);
    void paintBars();
    void updateWindow(SDL_Window* window, const std::vector<PixelRect>& rects);
    static void onRepaint(void* user);

    // cpu_scale.cpp
    void enlarge(const PixelRect& part);
};

// cpu_xshm.cpp: frames in shared memory put on the window by the X server, without
// a copy into the window's image. Begin gives null where that cannot be done.
SharedVideoOutput* sharedVideoBegin(SDL_Window* window);
void sharedVideoEnd(SharedVideoOutput* output);
void sharedVideoTidy(SharedVideoOutput* output);  // lets go of segments freed since
// Whether the view's frame can be put on area (window pixels) as it is: its size.
bool sharedVideoCanPut(const SharedVideoOutput* output, const fwlayer::ChildVideoView& view, const PixelRect& area);
bool sharedVideoPut(SharedVideoOutput* output, const fwlayer::ChildVideoView& view, const PixelRect& area,
                    const PixelRect& part);

// D16 as a draw or clear stores z (0 to 1).
inline uint16_t depthBits(float z) {
    float clamped = z < 0.0f ? 0.0f : z > 1.0f ? 1.0f : z;
    return static_cast<uint16_t>(clamped * 65535.0f + 0.5f);
}

}  // namespace fwcpu
