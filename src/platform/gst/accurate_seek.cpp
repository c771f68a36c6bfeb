// Seeks that show the frame at the asked time, whatever the spacing of the key
// frames and however the demuxer finds its place.
//
// Implements: flushing accurate seeks that may start a lead before the asked
//   time, with the sinks' segments moved up to it, so that the sinks drop what
//   comes before and time the rest from there; a look at the first picture that
//   reaches the video sink after each seek's flush: when it lies after the asked
//   time (or the stream ends first), decoding began after the key frame that the
//   asked picture needs (or, with a margin, that a guessed time stamp may hide
//   it). MPEG program and transport stream demuxers do this, as
//   they find their place by the system clock references, which run ahead of the
//   pictures by the multiplexer's delay; so does any demuxer when a group of
//   pictures is longer than the lead. The seek is then made again from twice as
//   far back, on GStreamer's thread pool, with the late pictures dropped, until it
//   starts early enough or at the start; the lead that worked is kept for the
//   clip's later seeks.
// Does not: look for key frames itself (demuxers with an index go back to the one
//   before the asked time on their own), seek at other rates, or check clips
//   without video (every audio frame can be decoded on its own).
#include "accurate_seek.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>

namespace fwgst {

namespace {

// The first step back for a demuxer that had no lead; later ones double.
constexpr gint64 kFirstRetryLeadNs = GST_SECOND;
// Containers that keep time in milliseconds round a picture's time to them.
constexpr gint64 kLandingSlackNs = GST_MSECOND;

// Where the latest seek stands: the video sink's input before the seek's flush
// is stale; after it, the first picture decides; a retry drops everything until
// its own flush.
enum class Landing { Settled, Flushing, Checking, Retrying };

}  // namespace

struct Seeker {
    GstElement* pipeline = nullptr;
    GstPad* videoInput = nullptr;
    GstPad* audioInput = nullptr;
    gulong probes[2] = {};  // on videoInput and audioInput
    std::atomic<gint64> leadNs{0};
    std::atomic<gint64> marginNs{0};
    // Stream time that the sinks' segments must not start before, or -1.
    std::atomic<gint64> floorNs{-1};
    // One seek at a time, whether the program's or a retry.
    std::mutex seeking;

    // The rest is shared with the streaming threads and the retries.
    std::mutex lock;
    std::condition_variable changed;
    uint64_t serial = 0;  // of the program's latest seek
    gint64 targetNs = 0;
    gint64 startNs = 0;  // where the attempt under way started
    Landing landing = Landing::Settled;
    GstSegment videoSegment = {};
    int retriesInFlight = 0;
    bool stopped = false;
};

namespace {

// A segment that starts before the floor starts at the floor instead, timed as
// before (its stream times stay those of the same buffers).
void moveSegmentUp(Seeker* seeker, GstPadProbeInfo* info) {
    gint64 floor = seeker->floorNs.load();
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    const GstSegment* original = nullptr;
    gst_event_parse_segment(event, &original);
    if (floor < 0 || original->format != GST_FORMAT_TIME || original->rate <= 0 ||
        !GST_CLOCK_TIME_IS_VALID(original->time) || !GST_CLOCK_TIME_IS_VALID(original->start) ||
        gint64(original->time) >= floor)
        return;
    GstSegment segment;
    gst_segment_copy_into(original, &segment);
    guint64 advance = guint64(floor) - segment.time;
    segment.start += advance;
    segment.time += advance;
    segment.position = segment.start;
    if (GST_CLOCK_TIME_IS_VALID(segment.stop) && segment.start > segment.stop) segment.start = segment.stop;
    GstEvent* moved = gst_event_new_segment(&segment);
    gst_event_set_seqnum(moved, gst_event_get_seqnum(event));
    gst_event_unref(event);
    GST_PAD_PROBE_INFO_DATA(info) = moved;
}

bool seekFrom(Seeker* seeker, uint64_t serial, gint64 targetNs, gint64 startNs);

// Thread pool: the seek again, from further back, unless the program has sought
// since or the clip is closing.
void retry(GstElement*, gpointer user) {
    Seeker* seeker = static_cast<Seeker*>(user);
    uint64_t serial;
    gint64 target, lead;
    {
        std::lock_guard<std::mutex> guard(seeker->lock);
        serial = seeker->serial;
        target = seeker->targetNs;
        lead = std::max(2 * (target - seeker->startNs), kFirstRetryLeadNs);
    }
    if (seeker->leadNs.load() < lead) seeker->leadNs = lead;
    seekFrom(seeker, serial, target, std::max<gint64>(0, target - lead));
    std::lock_guard<std::mutex> guard(seeker->lock);
    --seeker->retriesInFlight;
    seeker->changed.notify_all();
}

// With the lock held, on the first picture after a flush (or the end instead):
// a late one is dropped and the seek made again, unless it started at the start.
GstPadProbeReturn land(Seeker* seeker, bool late) {
    if (!late || seeker->startNs <= 0 || seeker->stopped) {
        seeker->landing = Landing::Settled;
        return GST_PAD_PROBE_OK;
    }
    seeker->landing = Landing::Retrying;
    ++seeker->retriesInFlight;
    gst_element_call_async(seeker->pipeline, retry, seeker, nullptr);
    return GST_PAD_PROBE_DROP;
}

GstPadProbeReturn onVideoPicture(Seeker* seeker, GstBuffer* buffer) {
    std::lock_guard<std::mutex> guard(seeker->lock);
    switch (seeker->landing) {
    case Landing::Settled: return GST_PAD_PROBE_OK;
    case Landing::Flushing:
    case Landing::Retrying: return GST_PAD_PROBE_DROP;
    case Landing::Checking: break;
    }
    guint64 time = 0;
    bool late =
        GST_BUFFER_PTS_IS_VALID(buffer) && seeker->videoSegment.format == GST_FORMAT_TIME &&
        gst_segment_to_stream_time_full(&seeker->videoSegment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer), &time) == 1 &&
        gint64(time) > seeker->targetNs - seeker->marginNs.load() + kLandingSlackNs;
    return land(seeker, late);
}

GstPadProbeReturn onVideoEvent(Seeker* seeker, GstPadProbeInfo* info) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    std::lock_guard<std::mutex> guard(seeker->lock);
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_FLUSH_STOP:
        if (seeker->landing == Landing::Flushing) seeker->landing = Landing::Checking;
        return GST_PAD_PROBE_OK;
    case GST_EVENT_SEGMENT: {
        const GstSegment* segment = nullptr;
        gst_event_parse_segment(event, &segment);
        gst_segment_copy_into(segment, &seeker->videoSegment);
        if (seeker->landing == Landing::Flushing) seeker->landing = Landing::Checking;
        return GST_PAD_PROBE_OK;
    }
    case GST_EVENT_EOS:
        if (seeker->landing == Landing::Retrying) return GST_PAD_PROBE_DROP;
        return seeker->landing == Landing::Checking ? land(seeker, true) : GST_PAD_PROBE_OK;
    case GST_EVENT_GAP: return seeker->landing == Landing::Retrying ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
    default: return GST_PAD_PROBE_OK;
    }
}

// Streaming threads, on the sinks' input.
GstPadProbeReturn onSinkInput(GstPad* pad, GstPadProbeInfo* info, gpointer user) {
    Seeker* seeker = static_cast<Seeker*>(user);
    GstEvent* event = (info->type & GST_PAD_PROBE_TYPE_EVENT_BOTH) ? GST_PAD_PROBE_INFO_EVENT(info) : nullptr;
    if (event && GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) moveSegmentUp(seeker, info);
    if (pad != seeker->videoInput) return GST_PAD_PROBE_OK;
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER) return onVideoPicture(seeker, GST_PAD_PROBE_INFO_BUFFER(info));
    return onVideoEvent(seeker, info);
}

GstPad* watchInput(Seeker* seeker, GstElement* sink, GstPadProbeType types, gulong* probe) {
    GstPad* pad = sink ? gst_element_get_static_pad(sink, "sink") : nullptr;
    if (pad) *probe = gst_pad_add_probe(pad, types, onSinkInput, seeker, nullptr);
    return pad;
}

bool seekFrom(Seeker* seeker, uint64_t serial, gint64 targetNs, gint64 startNs) {
    std::lock_guard<std::mutex> one(seeker->seeking);
    {
        std::lock_guard<std::mutex> guard(seeker->lock);
        if (serial != seeker->serial || seeker->stopped) return false;
        seeker->targetNs = targetNs;
        seeker->startNs = startNs;
        seeker->landing = Landing::Flushing;
    }
    seeker->floorNs = startNs < targetNs ? targetNs : -1;
    bool ok = gst_element_seek(seeker->pipeline, 1.0, GST_FORMAT_TIME,
                               GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), GST_SEEK_TYPE_SET, startNs,
                               GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
    if (!ok) {
        std::lock_guard<std::mutex> guard(seeker->lock);
        seeker->landing = Landing::Settled;
    }
    return ok;
}

}  // namespace

Seeker* seekerOpen(GstElement* pipeline, GstElement* videoSink, GstElement* audioSink) {
    Seeker* seeker = new Seeker();
    seeker->pipeline = pipeline;
    seeker->videoInput = watchInput(seeker, videoSink,
                                    GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM |
                                                    GST_PAD_PROBE_TYPE_EVENT_FLUSH),
                                    &seeker->probes[0]);
    seeker->audioInput = watchInput(seeker, audioSink, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &seeker->probes[1]);
    return seeker;
}

void seekerClose(Seeker* seeker) {
    std::unique_lock<std::mutex> guard(seeker->lock);
    seeker->stopped = true;
    seeker->changed.wait(guard, [seeker] { return seeker->retriesInFlight == 0; });
}

void seekerFree(Seeker* seeker) {
    // The sinks may play another file, with a seeker of its own.
    GstPad* inputs[2] = {seeker->videoInput, seeker->audioInput};
    for (int i = 0; i < 2; ++i) {
        if (!inputs[i]) continue;
        gst_pad_remove_probe(inputs[i], seeker->probes[i]);
        gst_object_unref(inputs[i]);
    }
    delete seeker;
}

void seekerSetLead(Seeker* seeker, gint64 leadNs, gint64 marginNs) {
    seeker->leadNs = leadNs;
    seeker->marginNs = marginNs;
}

bool seekerSeek(Seeker* seeker, gint64 targetNs) {
    uint64_t serial;
    {
        std::lock_guard<std::mutex> guard(seeker->lock);
        serial = ++seeker->serial;
    }
    return seekFrom(seeker, serial, targetNs, std::max<gint64>(0, targetNs - seeker->leadNs.load()));
}

}  // namespace fwgst
