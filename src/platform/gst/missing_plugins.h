// Naming what GStreamer lacks to play a clip, and the Debian package that has it.
// Used by the clips of the media backend (clip.cpp) and by fwgallery check.
#pragma once

#include <gst/gst.h>

#include <string>
#include <vector>

namespace fwgst {

// The installer detail of a missing-plugin message ("gstreamer|1.0|program|
// description|decoder-<caps>" and the like), or "" for any other message.
std::string missingPluginDetail(GstMessage* message);

// "GStreamer lacks the H.264 (Main Profile) decoder (install the Debian package
// gstreamer1.0-libav)" for one or more installer details; "" for none.
std::string missingPluginsText(const std::vector<std::string>& details);

// "fernwood2: CLIP: GStreamer lacks ..." on standard error, once a process for
// each clip and text.
void reportMissingPlugins(const char* clip, const std::vector<std::string>& details);

}  // namespace fwgst
