// The player ended from outside its window, as a desktop session ends it: the
// terminal closing (SIGHUP), an interrupt (SIGINT), a termination request
// (SIGTERM), and the X server going away. Each becomes what the close button
// does: WM_CLOSE to every window, so the program leaves its loop and saves as
// at any other end.
// Implements: watchSessionEnd (the three signals, from the process's start);
// sessionEnding (true from the first of them on); watchDisplayLoss (a lost
// display connection marks the display dead instead of ending the process).
// While the session ends, message boxes are not shown (a box up at the signal
// is closed): they would hold the end up; their line still goes to stderr.
// Not implemented: any other signal (SIGQUIT and SIGKILL end the process as
// they always do); a signal ignored at the start (nohup) stays ignored. A second
// signal is ignored: it must not cut the save short.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <SDL2/SDL_syswm.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "sdl_backend.h"

namespace fwsdl {

namespace {

std::atomic<bool> gEnding(false);
std::atomic<bool> gDisplayLost(false);
int gSignalPipe[2] = {-1, -1};

// Only what is safe in a handler: one byte to the watching thread. A message
// box's process (SDL forks one) inherits this handler and the pipe, so a signal
// to the whole process group reaches the watcher that way too.
void onSignal(int number) {
    int saved = errno;
    char byte = static_cast<char>(number);
    ssize_t written = write(gSignalPipe[1], &byte, 1);
    (void)written;
    errno = saved;
}

bool sameExecutable(const char* pid) {
    char self[512], other[512], path[64];
    ssize_t selfLength = readlink("/proc/self/exe", self, sizeof self);
    std::snprintf(path, sizeof path, "/proc/%s/exe", pid);
    ssize_t otherLength = readlink(path, other, sizeof other);
    return selfLength > 0 && selfLength == otherLength && std::memcmp(self, other, selfLength) == 0;
}

// SDL shows a box in a forked copy of this process and waits for it; ending
// that copy closes the box. Other children (plugin scanners) are left alone.
void closeMessageBoxes() {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/task/%d/children", getpid(), getpid());
    FILE* file = std::fopen(path, "r");
    if (file == nullptr) return;
    char pid[16];
    while (std::fscanf(file, "%15s", pid) == 1)
        if (sameExecutable(pid)) kill(atoi(pid), SIGKILL);
    std::fclose(file);
}

void requestEnd() {
    if (gEnding.exchange(true)) return;
    closeMessageBoxes();
    wakeSleep();
}

// After the first signal the thread goes on closing boxes until the process
// ends: one may have been on its way up at the moment of the signal.
void watchSignals() {
    char byte;
    for (;;) {
        ssize_t got = read(gSignalPipe[0], &byte, 1);
        if (got == 1) break;
        if (got == 0 || errno != EINTR) return;
    }
    requestEnd();
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        closeMessageBoxes();
    }
}

// Called inside the Xlib call that found the connection gone. Returning (rather
// than exiting, as Xlib would) leaves the display marked dead: later calls on it
// do nothing, and the pump turns the end into WM_CLOSE.
void onDisplayLost(Display* display, void* user) {
    (void)display;
    (void)user;
    if (!gDisplayLost.exchange(true)) std::fputs("fernwood2: the display went away; ending\n", stderr);
    requestEnd();
}

int onDisplayIoError(Display* display) {
    (void)display;
    return 0;  // onDisplayLost says it, once
}

}  // namespace

void watchSessionEnd() {
    if (pipe2(gSignalPipe, O_CLOEXEC) != 0) return;
    std::thread(watchSignals).detach();
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    // A signal ignored from the start stays ignored, as nohup and a shell's
    // background jobs expect: the player then outlives the terminal as asked.
    for (int number : {SIGHUP, SIGINT, SIGTERM}) {
        struct sigaction inherited;
        if (sigaction(number, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN) continue;
        sigaction(number, &action, nullptr);
    }
}

bool sessionEnding() { return gEnding.load(); }

bool displayLost() { return gDisplayLost.load(); }

void watchDisplayLoss(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
    XSetIOErrorHandler(onDisplayIoError);
    XSetIOErrorExitHandler(info.info.x11.display, onDisplayLost, nullptr);
}

}  // namespace fwsdl
