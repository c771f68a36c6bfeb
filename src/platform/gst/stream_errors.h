// What clip.cpp takes from stream_errors.cpp: the HRESULT a pipeline error stands for.
#pragma once

#include <gst/gst.h>

#include "../common/layer.h"

namespace fwgst {

// The graph's HRESULT for an error GStreamer reported (VFW_E_CANNOT_RENDER when
// there is none or it names nothing more precise).
HRESULT errorToHresult(const GError* error);

}  // namespace fwgst
