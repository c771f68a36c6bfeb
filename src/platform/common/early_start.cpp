// The early-start hook between the window side and the media backend (layer.h).
//
// Implements: setMediaEarlyStart, runMediaEarlyStart (main thread).
// Does not: run more than the one registered start, or run it more than once itself:
//   the registered start keeps its own once-only state.
#include "layer.h"

namespace fwlayer {

namespace {

EarlyStart gMediaEarlyStart = nullptr;

}  // namespace

void setMediaEarlyStart(EarlyStart start) { gMediaEarlyStart = start; }

void runMediaEarlyStart() {
    if (!gMediaEarlyStart) return;
    openTextConversions();
    gMediaEarlyStart();
}

}  // namespace fwlayer
