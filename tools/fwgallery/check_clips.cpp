// Every clip of the play table, found as the player finds it and examined with
// GStreamer's discoverer: can this machine play it, and how will it look.
#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>
#include <unistd.h>

#include <cmath>
#include <map>

#include "errors/errors.h"
#include "gallery_check.h"
#include "platform/gst/missing_plugins.h"

namespace {

const GstClockTime kDiscoveryTimeout = 15 * GST_SECOND;
const char kNoVideo[] = "the clip has no video: the player fails to load it";

std::string describeCaps(GstCaps* caps) {
    if (!caps) return "unknown";
    gchar* text = gst_pb_utils_get_codec_description(caps);
    std::string description = text ? text : "unknown";
    g_free(text);
    gst_caps_unref(caps);
    return description;
}

// Why GStreamer cannot play the clip, or "".
std::string discoveryFault(GstDiscovererInfo* info, GError* error) {
    switch (gst_discoverer_info_get_result(info)) {
    case GST_DISCOVERER_OK: return "";
    case GST_DISCOVERER_TIMEOUT: return "GStreamer took too long to read it";
    case GST_DISCOVERER_MISSING_PLUGINS: {
        std::vector<std::string> missing;
        const gchar** details = gst_discoverer_info_get_missing_elements_installer_details(info);
        for (int i = 0; details && details[i]; ++i) missing.push_back(details[i]);
        std::string text = fwgst::missingPluginsText(missing);
        return text.empty() ? "GStreamer on this machine has no plugin for it" : text;
    }
    default: {
        std::string why = error ? error->message : "unknown error";
        if (!why.empty() && why.back() == '.') why.pop_back();
        return "GStreamer cannot read it: " + why;
    }
    }
}

// "container, video codec W x H, audio codec, 4.0 s", with findings about the picture.
std::string describeClip(GstDiscovererInfo* info, const char* file, int32_t line, Findings& findings) {
    GstDiscovererStreamInfo* top = gst_discoverer_info_get_stream_info(info);
    std::string text = top ? describeCaps(gst_discoverer_stream_info_get_caps(top)) : "unknown";
    if (top) gst_discoverer_stream_info_unref(top);
    GList* videos = gst_discoverer_info_get_video_streams(info);
    GList* audios = gst_discoverer_info_get_audio_streams(info);
    if (videos) {
        GstDiscovererVideoInfo* video = static_cast<GstDiscovererVideoInfo*>(videos->data);
        guint width = gst_discoverer_video_info_get_width(video);
        guint height = gst_discoverer_video_info_get_height(video);
        double aspect = height ? double(width) * gst_discoverer_video_info_get_par_num(video) /
                                     (double(height) * gst_discoverer_video_info_get_par_denom(video))
                               : 0;
        text += ", " + describeCaps(gst_discoverer_stream_info_get_caps(GST_DISCOVERER_STREAM_INFO(video))) + " " +
                std::to_string(width) + " x " + std::to_string(height);
        if (std::fabs(aspect - 4.0 / 3.0) > 0.02)
            findings.add(file, line, WARNING, "video-aspect",
                         std::to_string(width) + " x " + std::to_string(height) +
                             " is not 4:3: the player stretches it to the 640 x 480 video area");
    } else {
        findings.add(file, line, ERROR, "no-video", kNoVideo, kMessageMovieFailed);
    }
    if (audios)
        text += ", " + describeCaps(gst_discoverer_stream_info_get_caps(GST_DISCOVERER_STREAM_INFO(audios->data)));
    gst_discoverer_stream_info_list_free(videos);
    gst_discoverer_stream_info_list_free(audios);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, ", %.1f s", gst_discoverer_info_get_duration(info) / double(GST_SECOND));
    return text + seconds;
}

// The file the player opens for a table path: its Shift-JIS text as UTF-8.
std::string clipFault(const PlayClip& clip, std::string* utf8Path) {
    *utf8Path = shown(clip.path);
    std::string fault = fileFault(utf8Path->c_str());
    if (fault != "missing") return fault;
    if (std::string(clip.path).find('\\') != std::string::npos) return "missing (write / between folders, not \\)";
    if (access(clip.path, F_OK) == 0) return "missing: the table names it in UTF-8; save the table as Shift-JIS";
    return fault;
}

}  // namespace

bool checkClips(const Gallery& gallery, Findings& findings) {
    if (gallery.clipTotal == 0) return true;
    GError* error = nullptr;
    if (!gst_init_check(nullptr, nullptr, &error)) return false;
    GstDiscoverer* discoverer = gst_discoverer_new(kDiscoveryTimeout, &error);
    if (!discoverer) return false;
    std::map<std::string, std::string> described;  // by path: a clip named twice is read once
    for (int32_t item = 0; item < gallery.itemCount; ++item) {
        const PlayItem& record = gallery.items[item];
        for (int32_t k = 0; k < (record.clipCount > 0 ? record.clipCount : 1); ++k) {
            const PlayClip& clip = record.clips[k];
            if (clip.path[0] == '\0' || !shiftJisFault(clip.path).empty()) continue;  // reported with the table
            int32_t line = gallery.clipLines[clip.sequenceNumber];
            std::string path;
            std::string fault = clipFault(clip, &path);
            if (fault.empty() && !described.count(path)) {
                gchar* uri = gst_filename_to_uri(path.c_str(), nullptr);
                GstDiscovererInfo* info = uri ? gst_discoverer_discover_uri(discoverer, uri, &error) : nullptr;
                fault = info ? discoveryFault(info, error) : "GStreamer cannot read it";
                if (fault.empty()) described[path] = describeClip(info, kPlayTablePath, line, findings);
                if (info) gst_discoverer_info_unref(info);
                g_clear_error(&error);
                g_free(uri);
            }
            if (!fault.empty()) {
                findings.add(kPlayTablePath, line, ERROR, "clip-unplayable", "\"" + path + "\": " + fault,
                             kMessageMovieFailed);
                continue;
            }
            std::string slot =
                clip.sequenceNumber < 56 ? "gallery slot " + std::to_string(clip.sequenceNumber) : "no gallery cell";
            findings.add(kPlayTablePath, line, NOTE, "clip",
                         "sequence " + std::to_string(clip.sequenceNumber) + " (item " + std::to_string(item) +
                             ", clip " + std::to_string(k) + ", " + slot + "): \"" + path + "\": " + described[path] +
                             ", plays " +
                             (clip.repeatCount <= 0   ? std::string("endlessly")
                              : clip.repeatCount == 1 ? std::string("once")
                                                      : std::to_string(clip.repeatCount) + " times"));
        }
    }
    g_object_unref(discoverer);
    return true;
}

std::string clipPlayFault(const char* path) {
    std::string fault = fileFault(path);
    if (!fault.empty()) return fault;
    GError* error = nullptr;
    if (!gst_init_check(nullptr, nullptr, &error)) {
        g_clear_error(&error);
        return "GStreamer cannot start";
    }
    GstDiscoverer* discoverer = gst_discoverer_new(kDiscoveryTimeout, &error);
    gchar* uri = gst_filename_to_uri(path, nullptr);
    GstDiscovererInfo* info = discoverer && uri ? gst_discoverer_discover_uri(discoverer, uri, &error) : nullptr;
    fault = info ? discoveryFault(info, error) : "GStreamer cannot read it";
    GList* videos = info && fault.empty() ? gst_discoverer_info_get_video_streams(info) : nullptr;
    if (info && fault.empty() && !videos) fault = kNoVideo;
    gst_discoverer_stream_info_list_free(videos);
    if (info) gst_discoverer_info_unref(info);
    if (discoverer) g_object_unref(discoverer);
    g_clear_error(&error);
    g_free(uri);
    return fault;
}
