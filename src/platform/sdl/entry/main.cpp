// The player's process entry point on Linux: calls the program's WinMain as
// Windows would, with an instance handle of its own, no previous instance, the
// command line after the program name, and SW_SHOWDEFAULT. The exit status is
// what WinMain returns. SDL starts when the first window is made.
#include <string>

#include "platform/platform.h"

namespace {

const int kShowDefault = 10;   // SW_SHOWDEFAULT
char gInstance;                // any non-null address names the module

}  // namespace

int main(int argc, char** argv) {
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    return WinMain(reinterpret_cast<HINSTANCE>(&gInstance), nullptr, &commandLine[0], kShowDefault);
}
