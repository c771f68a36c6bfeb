// Shared frame memory: decoded frames in System V shared memory, which the X server
// can read in place, so the cpu renderer puts a frame on the window without first
// copying it into the window's image (as an X shared-memory video sink does).
//
// Implements: sharedFrameSegmentCreate / Free, and the presenter's side:
//   sharedFramesWanted, sharedFramesAreWanted, sharedFrameSegmentsTakeFreed. A
//   segment is marked for removal as soon as it exists, so it goes with its last
//   attachment, whether the process ends cleanly or not.
// Does not: attach segments to the X server (the presenter does, on its thread), or
//   pool them (the media backend's buffer pools reuse them).
#include <sys/ipc.h>
#include <sys/shm.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "layer.h"

namespace fwlayer {

namespace {

std::atomic<bool> gWanted{false};

std::mutex& freedLock() {
    static std::mutex lock;
    return lock;
}

std::vector<int>& freedIds() {
    static std::vector<int> ids;
    return ids;
}

}  // namespace

bool sharedFrameSegmentCreate(size_t size, SharedFrameSegment* segment) {
    if (size == 0 || !segment) return false;
    int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (id < 0) return false;
    void* base = shmat(id, nullptr, 0);
    shmctl(id, IPC_RMID, nullptr);   // Linux still lets the X server attach it
    if (base == reinterpret_cast<void*>(-1)) return false;
    *segment = SharedFrameSegment{id, static_cast<uint8_t*>(base), size};
    return true;
}

void sharedFrameSegmentFree(const SharedFrameSegment& segment) {
    shmdt(segment.base);
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

void sharedFrameSegmentsTakeFreed(std::vector<int>* ids) {
    ids->clear();
    std::lock_guard<std::mutex> guard(freedLock());
    ids->swap(freedIds());
}

}  // namespace fwlayer
