// The child video registry: the picture areas that movie graphs lay over their
// owner window, written by the media backend's streaming threads and read by the
// Direct3D backend when it presents.
//
// Implements: childVideoCreate / Destroy / SetOwner / SetRect / SetVisible /
// PushFrame / ClearFrame, childVideoForEachVisible and childVideoGeneration, all
// thread-safe behind one registry lock.
// Does not: scale or convert pixels (frames are kept as pushed, 32-bit B, G, R, A),
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
    std::vector<uint8_t> frame;  // frameWidth * 4 bytes per row, top row first
    int frameWidth = 0, frameHeight = 0;
    uint64_t frameSerial = 0;
};

namespace {

struct OwnerGeneration {
    HWND owner;
    uint64_t generation;
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

// Under the registry lock. A change that nobody can see (no owner) bumps nothing.
void bumpGeneration(HWND owner) {
    if (!owner) return;
    for (OwnerGeneration& entry : generations()) {
        if (entry.owner == owner) {
            ++entry.generation;
            return;
        }
    }
    generations().push_back(OwnerGeneration{owner, 1});
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
    {
        std::lock_guard<std::mutex> guard(registryLock());
        std::vector<ChildVideo*>& videos = registry();
        videos.erase(std::remove(videos.begin(), videos.end(), video), videos.end());
        if (video->visible) bumpGeneration(video->owner);
    }
    delete video;
}

void childVideoSetOwner(ChildVideo* video, HWND owner) {
    if (!video) return;
    std::lock_guard<std::mutex> guard(registryLock());
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
    {
        std::lock_guard<std::mutex> guard(registryLock());
        size_t rowBytes = size_t(width) * 4;
        video->frame.resize(rowBytes * size_t(height));
        for (int y = 0; y < height; ++y)
            std::memcpy(video->frame.data() + rowBytes * size_t(y), bgra + size_t(stride) * size_t(y), rowBytes);
        video->frameWidth = width;
        video->frameHeight = height;
        ++video->frameSerial;
        if (video->visible && video->owner) {
            bumpGeneration(video->owner);
            repaintOwner = video->owner;
        }
    }
    // Outside the lock: the window side takes its own.
    if (repaintOwner) windowRequestRepaint(repaintOwner);
}

void childVideoClearFrame(ChildVideo* video) {
    if (!video) return;
    HWND repaintOwner = nullptr;
    {
        std::lock_guard<std::mutex> guard(registryLock());
        std::vector<uint8_t>().swap(video->frame);
        video->frameWidth = 0;
        video->frameHeight = 0;
        ++video->frameSerial;
        if (video->visible && video->owner) {
            bumpGeneration(video->owner);
            repaintOwner = video->owner;
        }
    }
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
        view.frameStride = video->frameWidth * 4;
        view.frameBgra = video->frame.empty() ? nullptr : video->frame.data();
        view.frameSerial = video->frameSerial;
        visitor(view, user);
    }
}

uint64_t childVideoGeneration(HWND owner) {
    std::lock_guard<std::mutex> guard(registryLock());
    for (const OwnerGeneration& entry : generations())
        if (entry.owner == owner) return entry.generation;
    return 0;
}

}  // namespace fwlayer
