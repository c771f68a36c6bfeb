// Which Direct3D backend draws (layer.h, "Renderer choice"). Loading a software
// OpenGL costs tens of milliseconds and megabytes before the first frame, and much
// CPU per frame; the choice is therefore made from the environment and the device
// nodes alone, never by making an OpenGL context.
//
// Implements: FW_RENDERER=gl|cpu (other values are ignored), LIBGL_ALWAYS_SOFTWARE
//   (set and not "0": cpu), and otherwise gl when /dev/dri holds a render node.
// Does not: ask the driver what it is (a render node of a driver without OpenGL
//   still picks gl; FW_RENDERER=cpu overrides).
#include <dirent.h>

#include <cstdlib>
#include <cstring>

#include "layer.h"

namespace fwlayer {

namespace {

bool hasRenderNode() {
    DIR* directory = opendir("/dev/dri");
    if (!directory) return false;
    bool found = false;
    while (dirent* entry = readdir(directory))
        if (std::strncmp(entry->d_name, "renderD", 7) == 0) found = true;
    closedir(directory);
    return found;
}

Renderer decide() {
    const char* forced = std::getenv("FW_RENDERER");
    if (forced && std::strcmp(forced, "cpu") == 0) return Renderer::Cpu;
    if (forced && std::strcmp(forced, "gl") == 0) return Renderer::Gl;
    const char* software = std::getenv("LIBGL_ALWAYS_SOFTWARE");
    if (software && *software && std::strcmp(software, "0") != 0) return Renderer::Cpu;
    return hasRenderNode() ? Renderer::Gl : Renderer::Cpu;
}

}  // namespace

Renderer chosenRenderer() {
    static const Renderer chosen = decide();
    return chosen;
}

}  // namespace fwlayer
