// What clip.cpp takes from start.cpp: where a new clip's sound goes.
#pragma once

namespace fwgst {

// The factory name of the default audio output's sink, as found once at start, or
// null when there is none (clips then play without sound).
const char* audioOutputFactory();

}  // namespace fwgst
