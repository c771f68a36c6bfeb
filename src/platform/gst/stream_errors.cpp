// Pipeline errors as the HRESULTs DirectShow gives for the same faults.
//
// Implements: errorToHresult for GStreamer's resource, stream and core errors.
// Does not: keep the error's text (the program shows its own message).
#include "stream_errors.h"

namespace fwgst {

HRESULT errorToHresult(const GError* error) {
    if (!error) return VFW_E_CANNOT_RENDER;
    if (error->domain == GST_RESOURCE_ERROR) {
        if (error->code == GST_RESOURCE_ERROR_NOT_FOUND || error->code == GST_RESOURCE_ERROR_OPEN_READ ||
            error->code == GST_RESOURCE_ERROR_READ)
            return VFW_E_NOT_FOUND;
        return VFW_E_CANNOT_RENDER;
    }
    if (error->domain == GST_STREAM_ERROR) {
        switch (error->code) {
        case GST_STREAM_ERROR_TYPE_NOT_FOUND:
        case GST_STREAM_ERROR_WRONG_TYPE: return VFW_E_UNKNOWN_FILE_TYPE;
        case GST_STREAM_ERROR_CODEC_NOT_FOUND: return VFW_E_UNSUPPORTED_STREAM;
        case GST_STREAM_ERROR_DEMUX:
        case GST_STREAM_ERROR_DECODE:
        case GST_STREAM_ERROR_FORMAT: return VFW_E_INVALID_FILE_FORMAT;
        default: return VFW_E_CANNOT_RENDER;
        }
    }
    if (error->domain == GST_CORE_ERROR && error->code == GST_CORE_ERROR_MISSING_PLUGIN)
        return VFW_E_UNSUPPORTED_STREAM;
    return VFW_E_CANNOT_RENDER;
}

}  // namespace fwgst
