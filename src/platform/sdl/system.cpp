// Time and COM apartment calls of the Win32 subset.
// Implements timeGetTime (milliseconds of the monotonic clock since boot, wrapping
// as a DWORD like the system's millisecond counter), Sleep (0 yields), and
// CoInitialize / CoUninitialize as a per-thread count (S_OK the first time on a
// thread, S_FALSE after; there is no apartment model behind it).
// Not supported: a reserved pointer other than null (E_INVALIDARG),
// timeBeginPeriod and the other winmm timer calls.
#include <cerrno>
#include <ctime>
#include <sched.h>

#include "../platform.h"

namespace {

thread_local int gComInitCount = 0;

}  // namespace

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
    timespec wait;
    wait.tv_sec = dwMilliseconds / 1000;
    wait.tv_nsec = static_cast<long>(dwMilliseconds % 1000) * 1000000L;
    // Interrupted by a signal: sleep the rest.
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

HRESULT WINAPI CoInitialize(LPVOID pvReserved) {
    if (pvReserved != nullptr) return E_INVALIDARG;
    return gComInitCount++ == 0 ? S_OK : S_FALSE;
}

void WINAPI CoUninitialize(void) {
    if (gComInitCount > 0) --gComInitCount;
}
