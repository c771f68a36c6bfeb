// Where a movie file's streams end, for the clips whose demuxer only estimates
// its length (MPEG program and transport streams reckon it from the first and
// the last time stamp they find near the file's ends, frames short) or cannot
// tell it at all (elementary streams).
//
// Implements: measureStreamEnd, a pipeline of its own that parses the file's last
//   seconds (as far as its demuxer can tell; all of it when it cannot), stopping
//   at each stream's parser, and takes the latest end of any frame of any stream: a
//   presentation or decoding time (whichever is later) plus the frame's duration.
//   The ends of the last kRemembered files measured are kept, by name, size and
//   modification time, so that a clip loaded again (every repeat, every Next and
//   Previous) is not parsed again. endMeasurementStart runs it on a thread of its own.
// Does not: decode what has a parser (a frame whose presentation time the file
//   leaves out counts by its decoding time; a stream with no parser, such as LPCM,
//   is decoded), bridge time stamps that jump within the file (its last
//   seconds' count as they are), follow a file that is still growing, or take
//   longer than kScanTimeoutMs: a file that cannot be parsed to its end within
//   that is told to have no measured end.
//
// Why a decodebin that goes no further than the parsed streams, not a parsebin: in
// GStreamer 1.22 a parsebin's stream can notify its stream collection after the
// collection was freed, which now and then crashed the player as a clip opened.
#include "clip_length.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

namespace fwgst {

namespace {

constexpr int kScanTimeoutMs = 1000;
// How far before the end the demuxer tells the parsing starts: an estimate may be
// short by the multiplexer's delay and a few frames.
constexpr gint64 kTailNs = 3 * GST_SECOND;

struct Scan {
    std::mutex lock;
    gint64 end = -1;
    // Streams found once the pipeline is being stopped are left unplugged: a
    // queue and sink added during the stop could be left running.
    std::mutex growing;
    bool stopping = false;
};

// A file measured before, as it was then.
struct Measured {
    std::string path;
    off_t size = -1;
    struct timespec modified = {};
    gint64 end = -1;
};

constexpr int kRemembered = 64;
std::mutex rememberedLock;
Measured remembered[kRemembered];
int nextRemembered = 0;

bool sameFile(const Measured& measured, const char* path, const struct stat& status) {
    return measured.size == status.st_size && measured.modified.tv_sec == status.st_mtim.tv_sec &&
           measured.modified.tv_nsec == status.st_mtim.tv_nsec && measured.path == path;
}

struct ScannedPad {
    Scan* scan;
    GstSegment segment;
};

void forgetScannedPad(gpointer user) { delete static_cast<ScannedPad*>(user); }

// Streaming thread: the segment each parsed stream is timed by, and its frames' ends.
GstPadProbeReturn onParsedData(GstPad*, GstPadProbeInfo* info, gpointer user) {
    ScannedPad* pad = static_cast<ScannedPad*>(user);
    if (info->type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
            const GstSegment* segment = nullptr;
            gst_event_parse_segment(event, &segment);
            gst_segment_copy_into(segment, &pad->segment);
        }
        return GST_PAD_PROBE_OK;
    }
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    GstClockTime stamp = GST_BUFFER_PTS(buffer);
    if (GST_BUFFER_DTS_IS_VALID(buffer) && (!GST_CLOCK_TIME_IS_VALID(stamp) || GST_BUFFER_DTS(buffer) > stamp))
        stamp = GST_BUFFER_DTS(buffer);
    guint64 time = 0;
    if (!GST_CLOCK_TIME_IS_VALID(stamp) || pad->segment.format != GST_FORMAT_TIME ||
        gst_segment_to_stream_time_full(&pad->segment, GST_FORMAT_TIME, stamp, &time) != 1)
        return GST_PAD_PROBE_OK;
    gint64 end = gint64(time) + (GST_BUFFER_DURATION_IS_VALID(buffer) ? gint64(GST_BUFFER_DURATION(buffer)) : 0);
    std::lock_guard<std::mutex> guard(pad->scan->lock);
    pad->scan->end = std::max(pad->scan->end, end);
    return GST_PAD_PROBE_OK;
}

// Streaming thread: a stream goes on to a decoder only while it is not parsed yet.
gboolean continuesUnparsed(GstElement*, GstPad*, GstCaps* caps, gpointer) {
    const GstStructure* format = gst_caps_get_size(caps) > 0 ? gst_caps_get_structure(caps, 0) : nullptr;
    gboolean parsed = FALSE, framed = FALSE;
    if (format) {
        gst_structure_get_boolean(format, "parsed", &parsed);
        gst_structure_get_boolean(format, "framed", &framed);
    }
    return !parsed && !framed;
}

// Each parsed stream goes through a queue of its own, so that one stream's sink
// waiting for the pipeline to be ready does not hold up the others, to a sink
// that takes it as fast as it comes.
void onParsedPad(GstElement* parser, GstPad* pad, gpointer user) {
    Scan* scan = static_cast<Scan*>(user);
    std::lock_guard<std::mutex> growing(scan->growing);
    if (scan->stopping) return;
    GstObject* pipeline = gst_element_get_parent(parser);
    GstElement* queue = gst_element_factory_make("queue", nullptr);
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    if (pipeline && queue && sink) {
        g_object_set(sink, "sync", FALSE, nullptr);
        gst_bin_add_many(GST_BIN(pipeline), queue, sink, nullptr);
        gst_element_link(queue, sink);
        GstPad* input = gst_element_get_static_pad(sink, "sink");
        ScannedPad* scanned = new ScannedPad{scan, {}};
        gst_pad_add_probe(input, GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                          onParsedData, scanned, forgetScannedPad);
        gst_object_unref(input);
        gst_element_sync_state_with_parent(sink);
        gst_element_sync_state_with_parent(queue);
        GstPad* queued = gst_element_get_static_pad(queue, "sink");
        gst_pad_link(pad, queued);
        gst_object_unref(queued);
    } else {
        for (GstElement* element : {queue, sink})
            if (element) gst_object_unref(gst_object_ref_sink(element));
    }
    if (pipeline) gst_object_unref(pipeline);
}

gint64 remainingNs(std::chrono::steady_clock::time_point deadline) {
    auto left = deadline - std::chrono::steady_clock::now();
    return std::max<gint64>(0, std::chrono::duration_cast<std::chrono::nanoseconds>(left).count());
}

bool settle(GstElement* pipeline, std::chrono::steady_clock::time_point deadline) {
    return gst_element_get_state(pipeline, nullptr, nullptr, remainingNs(deadline)) != GST_STATE_CHANGE_FAILURE &&
           remainingNs(deadline) > 0;
}

// Whether the pipeline posts a message of type before an error or the deadline.
bool posts(GstElement* pipeline, GstMessageType type, std::chrono::steady_clock::time_point deadline) {
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message =
        gst_bus_timed_pop_filtered(bus, remainingNs(deadline), GstMessageType(type | GST_MESSAGE_ERROR));
    bool posted = message && GST_MESSAGE_TYPE(message) == type;
    if (message) gst_message_unref(message);
    gst_object_unref(bus);
    return posted;
}

// The pipeline has no sinks until the parser has found the streams, so it stands
// paused at once: the sinks' first frames (the pipeline's ASYNC_DONE) tell that
// the demuxer is ready to tell the duration and to seek.
bool parseToEnd(GstElement* pipeline, std::chrono::steady_clock::time_point deadline) {
    if (gst_element_set_state(pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE ||
        !posts(pipeline, GST_MESSAGE_ASYNC_DONE, deadline))
        return false;
    gint64 duration = -1;
    if (gst_element_query_duration(pipeline, GST_FORMAT_TIME, &duration) && duration > kTailNs &&
        (!gst_element_seek_simple(pipeline, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, duration - kTailNs) ||
         !settle(pipeline, deadline)))
        return false;
    return gst_element_set_state(pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE &&
           posts(pipeline, GST_MESSAGE_EOS, deadline);
}

gint64 parseStreamEnd(const char* utf8Path) {
    GstElement* pipeline = GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new(nullptr)));
    GstElement* source = gst_element_factory_make("filesrc", nullptr);
    GstElement* parser = gst_element_factory_make("decodebin", nullptr);
    Scan scan;
    bool ended = false;
    if (source && parser) {
        g_object_set(source, "location", utf8Path, nullptr);
        gst_bin_add_many(GST_BIN(pipeline), source, parser, nullptr);
        g_signal_connect(parser, "autoplug-continue", G_CALLBACK(continuesUnparsed), nullptr);
        g_signal_connect(parser, "pad-added", G_CALLBACK(onParsedPad), &scan);
        ended = gst_element_link(source, parser) &&
                parseToEnd(pipeline, std::chrono::steady_clock::now() + std::chrono::milliseconds(kScanTimeoutMs));
    } else {
        if (source) gst_object_unref(gst_object_ref_sink(source));
        if (parser) gst_object_unref(gst_object_ref_sink(parser));
    }
    {
        std::lock_guard<std::mutex> growing(scan.growing);
        scan.stopping = true;
    }
    // Joins the streaming threads, so no probe runs after this.
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return ended ? scan.end : -1;
}

}  // namespace

gint64 measureStreamEnd(const char* utf8Path) {
    struct stat status;
    if (stat(utf8Path, &status) != 0) return -1;
    {
        std::lock_guard<std::mutex> guard(rememberedLock);
        for (const Measured& measured : remembered)
            if (sameFile(measured, utf8Path, status)) return measured.end;
    }
    gint64 end = parseStreamEnd(utf8Path);
    std::lock_guard<std::mutex> guard(rememberedLock);
    remembered[nextRemembered] = {utf8Path, status.st_size, status.st_mtim, end};
    nextRemembered = (nextRemembered + 1) % kRemembered;
    return end;
}

struct EndMeasurement {
    std::string path;
    gint64 end = -1;
    std::thread thread;
};

EndMeasurement* endMeasurementStart(const char* utf8Path) {
    EndMeasurement* measurement = new EndMeasurement{utf8Path, -1, {}};
    measurement->thread =
        std::thread([measurement] { measurement->end = measureStreamEnd(measurement->path.c_str()); });
    return measurement;
}

gint64 endMeasurementFinish(EndMeasurement* measurement) {
    measurement->thread.join();
    gint64 end = measurement->end;
    delete measurement;
    return end;
}

}  // namespace fwgst
