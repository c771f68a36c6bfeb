// The child video registry: the picture areas that movie graphs lay over their
// owner window, written by the media backend's streaming threads and read by the
// Direct3D backend when it presents.
//
// Implements: childVideoCreate / Destroy / SetOwner / SetRect / SetVisible /
// PushFrame / LendFrame / LendSharedFrame (a lent frame that lies in a shared
// segment, which the view names) / ClearFrame, childVideoForEachVisible,
// childVideoGeneration, childVideoOwnerPlaced and childVideoShownSize (from the
// owner's placement, taken on the main thread when the owner is set or placed
// anew), all thread-safe behind one registry lock. A lent frame is shown in place
// and handed back when replaced, so a decoded frame is not copied here.
// Does not: scale or convert pixels (frames are kept as given, 32-bit B, G, R, A),
// clip one child against another, or keep more than the latest frame.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "layer.h"

namespace fwlayer {

struct ChildVideo {
    HWND owner = nullptr;
    int left = 0, top = 0, width = 0, height = 0;
    bool visible = false;
    std::vector<uint8_t> frame;     // a pushed frame: frameWidth * 4 bytes per row, top row first
    const uint8_t* lent = nullptr;  // or a lent frame's pixels, frameStride bytes per row
    FrameRelease release = nullptr;
    void* releaseUser = nullptr;
    int frameWidth = 0, frameHeight = 0, frameStride = 0;
    uint64_t segment = 0;  // the lent frame's shared segment, or 0
    int segmentFd = -1;
    size_t segmentOffset = 0;
    uint64_t frameSerial = 0;
};

namespace {

struct OwnerGeneration {
    HWND owner;
    uint64_t generation;
    ClientPlacement placement;  // where the owner's client area lies on its window
};

std::mutex& registryLock() {
    static std::mutex lock;
    return lock;
}

// Creation order is drawing order.
std::vector<ChildVideo*>& registry() {
    static std::vector<ChildVideo*> videos;
    return videos;
}

std::vector<OwnerGeneration>& generations() {
    static std::vector<OwnerGeneration> table;
    return table;
}

// Under the registry lock.
OwnerGeneration& ownerEntry(HWND owner) {
    for (OwnerGeneration& entry : generations())
        if (entry.owner == owner) return entry;
    generations().push_back(OwnerGeneration{owner, 0, ClientPlacement{0, 0, 0, 0, 0, 0}});
    return generations().back();
}

// Under the registry lock. A change that nobody can see (no owner) bumps nothing.
void bumpGeneration(HWND owner) {
    if (owner) ++ownerEntry(owner).generation;
}

// What hands back a lent frame; called outside the registry lock.
struct PendingRelease {
    FrameRelease release;
    void* user;
    void run() const {
        if (release) release(user);
    }
};

// Under the registry lock: forgets the frame shown, keeping what hands it back.
PendingRelease dropFrame(ChildVideo* video) {
    PendingRelease pending = {video->release, video->releaseUser};
    video->lent = nullptr;
    video->release = nullptr;
    video->releaseUser = nullptr;
    video->frameWidth = 0;
    video->frameHeight = 0;
    video->frameStride = 0;
    video->segment = 0;
    video->segmentFd = -1;
    video->segmentOffset = 0;
    return pending;
}

// Under the registry lock: a new frame is there to show.
HWND frameChanged(ChildVideo* video) {
    ++video->frameSerial;
    if (!video->visible || !video->owner) return nullptr;
    bumpGeneration(video->owner);
    return video->owner;
}

}  // namespace

ChildVideo* childVideoCreate() {
    ChildVideo* video = new ChildVideo();
    std::lock_guard<std::mutex> guard(registryLock());
    registry().push_back(video);
    return video;
}

void childVideoDestroy(ChildVideo* video) {
    if (!video) return;
    PendingRelease pending;
    {
        std::lock_guard<std::mutex> guard(registryLock());
        std::vector<ChildVideo*>& videos = registry();
        videos.erase(std::remove(videos.begin(), videos.end(), video), videos.end());
        if (video->visible) bumpGeneration(video->owner);
        pending = dropFrame(video);
    }
    pending.run();
    delete video;
}

void childVideoSetOwner(ChildVideo* video, HWND owner) {
    if (!video) return;
    ClientPlacement placement = owner ? windowClientPlacement(owner) : ClientPlacement{0, 0, 0, 0, 0, 0};
    std::lock_guard<std::mutex> guard(registryLock());
    if (owner) ownerEntry(owner).placement = placement;
    if (video->owner == owner) return;
    if (video->visible) {
        bumpGeneration(video->owner);
        bumpGeneration(owner);
    }
    video->owner = owner;
}

void childVideoSetRect(ChildVideo* video, int left, int top, int width, int height) {
    if (!video) return;
    std::lock_guard<std::mutex> guard(registryLock());
    if (video->left == left && video->top == top && video->width == width && video->height == height) return;
    video->left = left;
    video->top = top;
    video->width = width;
    video->height = height;
    if (video->visible) bumpGeneration(video->owner);
}

void childVideoSetVisible(ChildVideo* video, bool visible) {
    if (!video) return;
    std::lock_guard<std::mutex> guard(registryLock());
    if (video->visible == visible) return;
    video->visible = visible;
    bumpGeneration(video->owner);
}

void childVideoPushFrame(ChildVideo* video, const uint8_t* bgra, int width, int height, int stride) {
    if (!video || !bgra || width <= 0 || height <= 0 || stride < width * 4) return;
    HWND repaintOwner = nullptr;
    PendingRelease pending;
    {
        std::lock_guard<std::mutex> guard(registryLock());
        pending = dropFrame(video);
        size_t rowBytes = size_t(width) * 4;
        video->frame.resize(rowBytes * size_t(height));
        for (int y = 0; y < height; ++y)
            std::memcpy(video->frame.data() + rowBytes * size_t(y), bgra + size_t(stride) * size_t(y), rowBytes);
        video->frameWidth = width;
        video->frameHeight = height;
        video->frameStride = int(rowBytes);
        repaintOwner = frameChanged(video);
    }
    // Outside the lock: the window side takes its own.
    pending.run();
    if (repaintOwner) windowRequestRepaint(repaintOwner);
}

void childVideoLendFrame(ChildVideo* video, const uint8_t* bgra, int width, int height, int stride,
                         FrameRelease release, void* user) {
    childVideoLendSharedFrame(video, bgra, width, height, stride, SharedFrameSegment{0, -1, nullptr, 0}, release, user);
}

void childVideoLendSharedFrame(ChildVideo* video, const uint8_t* bgra, int width, int height, int stride,
                               const SharedFrameSegment& segment, FrameRelease release, void* user) {
    if (!video || !bgra || width <= 0 || height <= 0 || stride < width * 4 || stride % 4 != 0) {
        if (release) release(user);
        return;
    }
    uintptr_t offset = reinterpret_cast<uintptr_t>(bgra) - reinterpret_cast<uintptr_t>(segment.base);
    bool inSegment =
        segment.id != 0 && offset <= segment.size && static_cast<size_t>(stride) * height <= segment.size - offset;
    HWND repaintOwner = nullptr;
    PendingRelease pending;
    {
        std::lock_guard<std::mutex> guard(registryLock());
        pending = dropFrame(video);
        std::vector<uint8_t>().swap(video->frame);
        video->lent = bgra;
        video->release = release;
        video->releaseUser = user;
        video->frameWidth = width;
        video->frameHeight = height;
        video->frameStride = stride;
        video->segment = inSegment ? segment.id : 0;
        video->segmentFd = inSegment ? segment.fd : -1;
        video->segmentOffset = inSegment ? offset : 0;
        repaintOwner = frameChanged(video);
    }
    pending.run();
    if (repaintOwner) windowRequestRepaint(repaintOwner);
}

void childVideoClearFrame(ChildVideo* video) {
    if (!video) return;
    HWND repaintOwner = nullptr;
    PendingRelease pending;
    {
        std::lock_guard<std::mutex> guard(registryLock());
        pending = dropFrame(video);
        std::vector<uint8_t>().swap(video->frame);
        repaintOwner = frameChanged(video);
    }
    pending.run();
    if (repaintOwner) windowRequestRepaint(repaintOwner);
}

void childVideoForEachVisible(HWND owner, ChildVideoVisitor visitor, void* user) {
    if (!visitor) return;
    std::lock_guard<std::mutex> guard(registryLock());
    for (const ChildVideo* video : registry()) {
        if (!video->visible || video->owner != owner) continue;
        ChildVideoView view;
        view.left = video->left;
        view.top = video->top;
        view.width = video->width;
        view.height = video->height;
        view.frameWidth = video->frameWidth;
        view.frameHeight = video->frameHeight;
        view.frameStride = video->frameStride;
        view.frameBgra = video->lent ? video->lent : video->frame.empty() ? nullptr : video->frame.data();
        view.frameSerial = video->frameSerial;
        view.frameSegment = video->lent ? video->segment : 0;
        view.frameSegmentFd = video->segmentFd;
        view.frameSegmentOffset = video->segmentOffset;
        visitor(view, user);
    }
}

uint64_t childVideoGeneration(HWND owner) {
    std::lock_guard<std::mutex> guard(registryLock());
    for (const OwnerGeneration& entry : generations())
        if (entry.owner == owner) return entry.generation;
    return 0;
}

void childVideoOwnerPlaced(HWND owner) {
    if (!owner) return;
    ClientPlacement placement = windowClientPlacement(owner);
    {
        std::lock_guard<std::mutex> guard(registryLock());
        ownerEntry(owner).placement = placement;
        bumpGeneration(owner);
    }
    windowRequestRepaint(owner);
}

bool childVideoShownSize(ChildVideo* video, int* width, int* height) {
    if (!video) return false;
    std::lock_guard<std::mutex> guard(registryLock());
    if (!video->owner || video->width <= 0 || video->height <= 0) return false;
    const ClientPlacement& p = ownerEntry(video->owner).placement;
    *width = video->width;
    *height = video->height;
    if (p.clientWidth <= 0 || p.clientHeight <= 0 || p.width <= 0 || p.height <= 0) return true;
    int right = video->left + video->width, bottom = video->top + video->height;
    *width = windowOf(right, p.clientWidth, p.left, p.width) - windowOf(video->left, p.clientWidth, p.left, p.width);
    *height = windowOf(bottom, p.clientHeight, p.top, p.height) - windowOf(video->top, p.clientHeight, p.top, p.height);
    return true;
}

}  // namespace fwlayer
