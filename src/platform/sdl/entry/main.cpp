// The process entry point on Linux: calls the program's WinMain as Windows would,
// with an instance handle of its own, no previous instance, the command line after
// the program name, and SW_SHOWDEFAULT. The exit status is what WinMain returns.
// SDL starts when the first window is made.
//
// Implements: main. In the player (FW_PLAYER_COMMAND_LINE) the command line is acted
//   on first (start_folder.cpp: a gallery folder, --demo, --help, --version).
// Does not: parse the command line of the probes and the benchmark (WinMain gets it whole).
#include <malloc.h>

#include <string>

#include "../sdl_backend.h"
#ifdef FW_PLAYER_COMMAND_LINE
#include "start_folder.h"
#endif

namespace {

const int kShowDefault = 10;  // SW_SHOWDEFAULT
char gInstance;               // any non-null address names the module

// Decoded frames are large and short-lived, made and freed on streaming threads
// that come and go with each clip. With glibc's defaults they settle in per-thread
// arenas above a threshold that rises with each free, and resident memory creeps
// up over hours of use. A fixed threshold gives them back at once; two arenas
// keep the rest from spreading. Large buffers are then mapped afresh for each clip
// (not for each frame: gst/clip.cpp turns off the decoders' direct rendering, which
// would), and without it memory grows about 2 % over 150 loads.
void tuneAllocator() {
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    mallopt(M_ARENA_MAX, 2);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef FW_PLAYER_COMMAND_LINE
    int status = fwentry::applyArguments(argc, argv);
    if (status >= 0) return status;
#endif
    tuneAllocator();
    fwsdl::watchSessionEnd();
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    return WinMain(reinterpret_cast<HINSTANCE>(&gInstance), nullptr, &commandLine[0], kShowDefault);
}
