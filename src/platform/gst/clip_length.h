// What clip.cpp takes from clip_length.cpp: where a file's streams end, read from
// their own time stamps.
#pragma once

#include <gst/gst.h>

namespace fwgst {

// The stream time (ns) at which the latest frame of any of the file's streams
// ends, found by parsing (not decoding) the file's last seconds; -1 when that
// cannot be told within a short time. Any thread.
gint64 measureStreamEnd(const char* utf8Path);

// measureStreamEnd on a thread of its own, while the caller goes on.
struct EndMeasurement;
EndMeasurement* endMeasurementStart(const char* utf8Path);
// Waits for the measurement and frees it: its end, or -1.
gint64 endMeasurementFinish(EndMeasurement* measurement);

}  // namespace fwgst
