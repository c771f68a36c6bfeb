// Time and COM apartment calls of the Win32 subset.
// Implements timeGetTime (milliseconds of the monotonic clock since boot, wrapping
// as a DWORD like the system's millisecond counter), Sleep (0 yields; otherwise
// it ends on a tick of the system clock, 64 a second, as on Windows at its
// default timer resolution, or as soon as a window asks for a repaint; the ticks
// count from the first such sleep), and
// CoInitialize / CoUninitialize as a per-thread count (S_OK the first time on a
// thread, S_FALSE after; there is no apartment model behind it). The first
// CoInitialize also starts the media backend's start-up early (layer.h).
// SetThreadExecutionState with ES_CONTINUOUS: ES_DISPLAY_REQUIRED keeps the screen
// saver and display power saving off (SDL_DisableScreenSaver: the session's D-Bus
// inhibition where there is one, else the X screen saver extension's suspension),
// without it they are allowed again (the process's state, not the thread's).
// Not supported: a reserved pointer other than null (E_INVALIDARG),
// timeBeginPeriod and the other winmm timer calls; SetThreadExecutionState
// without ES_CONTINUOUS (a one-off reset of the idle timers: 0, the failure).
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <sched.h>

#include "sdl_backend.h"

namespace {

thread_local int gComInitCount = 0;

// The system clock's tick at Windows' default timer resolution.
const std::chrono::nanoseconds kSystemTick(15625000);

std::mutex gSleepLock;
std::condition_variable gSleepWake;
bool gWakeRequested = false;
// Under gSleepLock; the clock's epoch until the first sleep. The ticks count from
// the first sleep: a loop that sleeps until a time has passed since it read the
// clock, just before, then wakes on time the first time too, rather than anywhere
// up to a tick later.
std::chrono::steady_clock::time_point gFirstTick;

}  // namespace

namespace fwsdl {

void wakeSleep() {
    {
        std::lock_guard<std::mutex> lock(gSleepLock);
        gWakeRequested = true;
    }
    gSleepWake.notify_all();
}

}  // namespace fwsdl

DWORD WINAPI timeGetTime(void) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms);
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0) {
        sched_yield();
        return;
    }
    // A loop of Sleep(1) then wakes 64 times a second, not a thousand. A repaint
    // request (a new video frame) ends the sleep at once, so that the message pump
    // shows the frame on time, as the video window's own thread would on Windows.
    using Clock = std::chrono::steady_clock;
    std::unique_lock<std::mutex> lock(gSleepLock);
    Clock::time_point now = Clock::now();
    if (gFirstTick == Clock::time_point()) gFirstTick = now;
    Clock::duration target = now + std::chrono::milliseconds(dwMilliseconds) - gFirstTick;
    Clock::time_point deadline = gFirstTick + (target + kSystemTick - Clock::duration(1)) / kSystemTick * kSystemTick;
    gSleepWake.wait_until(lock, deadline, [] { return gWakeRequested; });
    gWakeRequested = false;
}

EXECUTION_STATE WINAPI SetThreadExecutionState(EXECUTION_STATE esFlags) {
    static EXECUTION_STATE current = ES_CONTINUOUS;
    if (!(esFlags & ES_CONTINUOUS) || !fwsdl::ensureVideo()) return 0;
    if (esFlags & ES_DISPLAY_REQUIRED) {
        SDL_DisableScreenSaver();
    } else {
        SDL_EnableScreenSaver();
        fwsdl::x11ResumeScreenSaver();
    }
    EXECUTION_STATE previous = current;
    current = esFlags;
    return previous;
}

HRESULT WINAPI CoInitialize(LPVOID pvReserved) {
    if (pvReserved != nullptr) return E_INVALIDARG;
    fwlayer::runMediaEarlyStart();
    return gComInitCount++ == 0 ? S_OK : S_FALSE;
}

void WINAPI CoUninitialize(void) {
    if (gComInitCount > 0) --gComInitCount;
}
