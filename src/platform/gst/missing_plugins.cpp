// What a clip needs that GStreamer lacks, in words a user can act on: the missing
// part as GStreamer describes it ("H.264 (Main Profile) decoder") and the Debian
// package whose plugin provides it.
//
// Implements: reading missing-plugin element messages (decodebin posts one for
//   each stream or container it finds no plugin for, before any error), a table
//   from media types and element names to Debian 12's GStreamer plugin packages,
//   the one line the player prints for a clip.
// Does not: install anything, or ask PackageKit (the package is named, the user
//   installs it); name packages outside the GStreamer plugin sets; report a file
//   that no plugin recognises at all (that is a damaged or foreign file, not a
//   missing plugin).
#include "missing_plugins.h"

#include <gst/pbutils/pbutils.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

namespace fwgst {

namespace {

const char kBase[] = "gstreamer1.0-plugins-base";
const char kGood[] = "gstreamer1.0-plugins-good";
const char kBad[] = "gstreamer1.0-plugins-bad";
const char kUgly[] = "gstreamer1.0-plugins-ugly";
const char kLibav[] = "gstreamer1.0-libav";

// A media type, optionally only with an integer or boolean field of this value,
// and the package with its Debian 12 decoder or demuxer. The first match wins.
struct MediaRule {
    const char* media;
    const char* field;
    int value;
    const char* package;
};

// One rule a line:
// clang-format off
const MediaRule kMediaRules[] = {
    {"video/mpeg", "systemstream", 1, kBad},   // MPEG program streams (mpegpsdemux)
    {"video/mpeg", nullptr, 0, kLibav},        // MPEG-1, -2 and -4 video
    {"audio/mpeg", "mpegversion", 1, kGood},   // MP1, MP2, MP3 (mpg123)
    {"audio/mpeg", nullptr, 0, kLibav},        // AAC
    {"video/x-h264", nullptr, 0, kLibav},
    {"video/x-h265", nullptr, 0, kLibav},
    {"video/x-h263", nullptr, 0, kLibav},
    {"video/x-wmv", nullptr, 0, kLibav},
    {"audio/x-wma", nullptr, 0, kLibav},
    {"video/x-msmpeg", nullptr, 0, kLibav},
    {"video/x-divx", nullptr, 0, kLibav},
    {"video/x-xvid", nullptr, 0, kLibav},
    {"video/x-prores", nullptr, 0, kLibav},
    {"audio/x-ac3", nullptr, 0, kLibav},
    {"audio/x-eac3", nullptr, 0, kLibav},
    {"audio/x-dts", nullptr, 0, kLibav},
    {"video/x-theora", nullptr, 0, kBase},
    {"audio/x-vorbis", nullptr, 0, kBase},
    {"audio/x-opus", nullptr, 0, kBase},
    {"application/ogg", nullptr, 0, kBase},
    {"video/x-vp8", nullptr, 0, kGood},
    {"video/x-vp9", nullptr, 0, kGood},
    {"audio/x-flac", nullptr, 0, kGood},
    {"video/quicktime", nullptr, 0, kGood},
    {"video/x-msvideo", nullptr, 0, kGood},
    {"video/x-matroska", nullptr, 0, kGood},
    {"video/webm", nullptr, 0, kGood},
    {"video/x-flv", nullptr, 0, kGood},
    {"audio/x-wav", nullptr, 0, kGood},
    {"video/x-dv", nullptr, 0, kGood},
    {"video/x-ms-asf", nullptr, 0, kUgly},
    {"video/mpegts", nullptr, 0, kBad},
    {"video/x-av1", nullptr, 0, kBad},
};
// clang-format on

// Elements asked for by name, by the start of their name.
const struct {
    const char* prefix;
    const char* package;
} kElementRules[] = {
    {"avdec_", kLibav}, {"asfdemux", kUgly}, {"mpeg2dec", kUgly},      {"mpegpsdemux", kBad}, {"tsdemux", kBad},
    {"qtdemux", kGood}, {"avidemux", kGood}, {"matroskademux", kGood}, {"oggdemux", kBase},
};

bool fieldIs(const GstStructure* format, const char* field, int value) {
    const GValue* held = gst_structure_get_value(format, field);
    if (!held) return false;
    if (G_VALUE_HOLDS_BOOLEAN(held)) return (g_value_get_boolean(held) ? 1 : 0) == value;
    return G_VALUE_HOLDS_INT(held) && g_value_get_int(held) == value;
}

const char* packageForCaps(const char* text) {
    GstCaps* caps = gst_caps_from_string(text);
    const GstStructure* format = caps && gst_caps_get_size(caps) > 0 ? gst_caps_get_structure(caps, 0) : nullptr;
    const char* package = nullptr;
    for (const MediaRule& rule : kMediaRules) {
        if (!format || !gst_structure_has_name(format, rule.media)) continue;
        if (rule.field && !fieldIs(format, rule.field, rule.value)) continue;
        package = rule.package;
        break;
    }
    if (caps) gst_caps_unref(caps);
    return package;
}

// The package for the last field of a detail: "decoder-<caps>", "element-<name>".
const char* packageFor(const std::string& wanted) {
    for (const char* kind : {"decoder-", "encoder-"})
        if (wanted.compare(0, std::strlen(kind), kind) == 0) return packageForCaps(wanted.c_str() + std::strlen(kind));
    const char kElement[] = "element-";
    if (wanted.compare(0, sizeof kElement - 1, kElement) != 0) return nullptr;
    for (const auto& rule : kElementRules)
        if (wanted.compare(sizeof kElement - 1, std::strlen(rule.prefix), rule.prefix) == 0) return rule.package;
    return nullptr;
}

// "a, b and c".
std::string listed(const std::vector<std::string>& words) {
    std::string text;
    for (size_t i = 0; i < words.size(); ++i) text += (i == 0 ? "" : i + 1 == words.size() ? " and " : ", ") + words[i];
    return text;
}

void addOnce(std::vector<std::string>& words, const std::string& word) {
    for (const std::string& present : words)
        if (present == word) return;
    words.push_back(word);
}

}  // namespace

std::string missingPluginDetail(GstMessage* message) {
    if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_ELEMENT || !gst_is_missing_plugin_message(message)) return "";
    gst_pb_utils_init();
    gchar* detail = gst_missing_plugin_message_get_installer_detail(message);
    std::string text = detail ? detail : "";
    g_free(detail);
    return text;
}

std::string missingPluginsText(const std::vector<std::string>& details) {
    std::vector<std::string> parts, packages;
    for (const std::string& detail : details) {
        // gstreamer|1.0|program|description|what: the description and what may be empty.
        gchar** fields = g_strsplit(detail.c_str(), "|", 5);
        if (g_strv_length(fields) == 5) {
            addOnce(parts, std::string("the ") + (fields[3][0] ? fields[3] : fields[4]));
            if (const char* package = packageFor(fields[4])) addOnce(packages, package);
        }
        g_strfreev(fields);
    }
    if (parts.empty()) return "";
    std::string text = "GStreamer lacks " + listed(parts);
    if (!packages.empty())
        text +=
            std::string(" (install the Debian package") + (packages.size() > 1 ? "s " : " ") + listed(packages) + ")";
    return text;
}

void reportMissingPlugins(const char* clip, const std::vector<std::string>& details) {
    std::string text = missingPluginsText(details);
    if (text.empty()) return;
    std::string line = std::string("fernwood2: ") + clip + ": " + text + "\n";
    static std::mutex lock;
    static std::set<std::string> reported;
    std::lock_guard<std::mutex> guard(lock);
    if (reported.insert(line).second) std::fputs(line.c_str(), stderr);
}

}  // namespace fwgst
