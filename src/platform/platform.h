// The one header the program includes for its platform: the real SDK on Windows,
// the layer's declarations of the same subset elsewhere.
//
// Implements: the choice of declarations.
// Does not: declare anything itself.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <mmsystem.h>
#include <d3d9.h>
#include <dshow.h>
#else
#include "api/fw_windows.h"
#include "api/fw_d3d9.h"
#include "api/fw_dshow.h"
#endif
