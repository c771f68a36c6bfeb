// Shared frame memory: decoded frames in memory the X server can read in place, so
// the cpu renderer puts a frame on the window without first copying it into the
// window's image (as an X shared-memory video sink does).
//
// Implements: sharedFrameSegmentCreate / Free, and the presenter's side:
//   sharedFramesWanted, sharedFramesAreWanted, sharedFrameSegmentsTakeFreed. A
//   segment is an anonymous memory file (memfd) whose descriptor the presenter
//   passes to the X server: it has no name anywhere, so nothing outlives the
//   process, however the process ends.
// Does not: attach segments to the X server (the presenter does, on its thread), or
//   pool them (the media backend's buffer pools reuse them).
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "layer.h"

namespace fwlayer {

namespace {

std::atomic<bool> gWanted{false};
std::atomic<uint64_t> gLastId{0};

std::mutex& freedLock() {
    static std::mutex lock;
    return lock;
}

std::vector<uint64_t>& freedIds() {
    static std::vector<uint64_t> ids;
    return ids;
}

}  // namespace

bool sharedFrameSegmentCreate(size_t size, SharedFrameSegment* segment) {
    if (size == 0 || !segment) return false;
    int fd = memfd_create("fernwood2-frame", MFD_CLOEXEC);
    if (fd < 0) return false;
    void* base = ftruncate(fd, static_cast<off_t>(size)) == 0
                     ? mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                     : MAP_FAILED;
    if (base == MAP_FAILED) {
        close(fd);
        return false;
    }
    *segment = SharedFrameSegment{++gLastId, fd, static_cast<uint8_t*>(base), size};
    return true;
}

void sharedFrameSegmentFree(const SharedFrameSegment& segment) {
    munmap(segment.base, segment.size);
    close(segment.fd);
    if (!gWanted.load()) return;
    std::lock_guard<std::mutex> guard(freedLock());
    freedIds().push_back(segment.id);
}

void sharedFramesWanted(bool wanted) {
    gWanted.store(wanted);
    if (wanted) return;
    std::lock_guard<std::mutex> guard(freedLock());
    freedIds().clear();
}

bool sharedFramesAreWanted() { return gWanted.load(); }

void sharedFrameSegmentsTakeFreed(std::vector<uint64_t>* ids) {
    ids->clear();
    std::lock_guard<std::mutex> guard(freedLock());
    ids->swap(freedIds());
}

}  // namespace fwlayer
