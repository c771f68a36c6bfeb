// The player's process entry point on Linux: calls the program's WinMain as
// Windows would, with an instance handle of its own, no previous instance, the
// command line after the program name, and SW_SHOWDEFAULT. The exit status is
// what WinMain returns. SDL starts when the first window is made.
#include <malloc.h>

#include <string>

#include "platform/platform.h"

namespace {

const int kShowDefault = 10;   // SW_SHOWDEFAULT
char gInstance;                // any non-null address names the module

// Decoded frames are large and short-lived, made and freed on streaming threads
// that come and go with each clip. With glibc's default of eight arenas a core,
// each thread's frees stay in an arena of its own and resident memory creeps up
// over hours of use; two arenas keep them together. (A fixed mmap threshold would
// flatten it further, but at a tenth more CPU in playback: every frame's buffer
// would be mapped and faulted in afresh.)
void tuneAllocator() { mallopt(M_ARENA_MAX, 2); }

}  // namespace

int main(int argc, char** argv) {
    tuneAllocator();
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    return WinMain(reinterpret_cast<HINSTANCE>(&gInstance), nullptr, &commandLine[0], kShowDefault);
}
