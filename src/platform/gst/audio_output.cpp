// A clip's sound, played outside the clip's pipeline: the pipeline ends in an
// appsink timed on the clip's own clock (the system clock), which hands each
// sample a little early to a sound output of its own, a small pipeline from a pad
// of ours through the converters to the sound server's sink.
//
// Why apart: a sound server's sink in the clip's pipeline made the pipeline wait on
// the server. After the server's stream had been paused and resumed (every Stop,
// Pause, seek and repeat pauses it), its timing reports could jump hours ahead
// (PipeWire nearly always, PulseAudio sometimes); the sink's clock, the pipeline's
// clock, followed them and then stood still, and the video waited on it for good.
// A server that stops answering would hold a seek or Stop made on the program's
// thread, and one that goes away made the pipeline fail. Here the clip never
// waits on the output and the output never holds the clip.
//
// Implements: the clip's audio appsink; per output one worker thread that plays
//   the samples in order, each stretch of playing on a fresh server stream (one
//   never paused and resumed) that stops at once when the clip stops or seeks;
//   what was handed to the server but not heard at a stop plays again first at
//   the next start; an output lost when its sink reports an error, or a call into
//   it takes over kAnswerTimeout (then the clip plays on without sound, one line
//   on standard error says so, and later clips try the server again); tear-downs
//   on threads of their own.
// Does not: time the sound against the server's clock (the stream plays what it
//   is given as soon as it can, and the samples leave the clip kLeadNs early to
//   cover the server's start), reopen an output within the clip that lost it, or
//   free what a server that never answers again still holds (one such output at a
//   time: while it waits, new clips play without sound).
#include "audio_output.h"

#include <gst/app/gstappsink.h>
#include <gst/audio/audio.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace fwgst {

namespace {

using SteadyClock = std::chrono::steady_clock;

// How early a sample leaves the clip, and how much the server's stream holds: it
// starts playing once it has this much, and then rides out late wake-ups this long.
constexpr gint64 kLeadNs = 60 * GST_MSECOND;
constexpr gint64 kSegmentUs = 10000;
// How long a call into the output may take before the output counts as lost.
constexpr auto kAnswerTimeout = std::chrono::milliseconds(1000);

// Threads still inside a sound server's sink past their time, or taking one down:
// while there are this many, new clips play without sound rather than add to them.
std::atomic<int> gWaitingThreads{0};
constexpr int kMaxWaitingThreads = 4;
// A lost output is reported once, until some output has played again.
std::atomic<bool> gLossReported{false};

struct Output {
    std::string factory;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<GstSample*> pending;   // not yet handed to the server, oldest first
    std::deque<GstSample*> handed;    // handed to the server lately, maybe not heard
    bool running = false;
    gint64 stoppedAtNs = -1;          // the clip's position when it last stopped
    bool discard = false;             // the clip seeked: forget everything before
    bool closing = false;
    bool lost = false;
    bool played = false;
    bool busy = false;                // the worker is inside the sink
    bool busyCounted = false;         // ... past its time, counted in gWaitingThreads
    SteadyClock::time_point busySince;
    bool workerDone = false;
    GstElement* stream = nullptr;     // the current stream's pipeline, for the closer
};

using OutputRef = std::shared_ptr<Output>;

// One stream to the server: from a start of the clip's playing to its stop.
struct Stream {
    GstElement* pipeline = nullptr;
    GstPad* feed = nullptr;
    GstCaps* caps = nullptr;
};

OutputRef* newRef(const OutputRef& output) { return new OutputRef(output); }
void deleteRef(gpointer ref) { delete static_cast<OutputRef*>(ref); }
Output* outputOf(gpointer ref) { return static_cast<OutputRef*>(ref)->get(); }

void unrefAll(std::deque<GstSample*>* samples) {
    for (GstSample* sample : *samples) gst_sample_unref(sample);
    samples->clear();
}

// Called with the lock held.
bool markLost(Output* output) {
    if (output->lost || output->closing) return false;
    output->lost = true;
    unrefAll(&output->pending);
    unrefAll(&output->handed);
    if (output->busy && !output->busyCounted) {
        output->busyCounted = true;
        ++gWaitingThreads;
    }
    output->changed.notify_all();
    return !gLossReported.exchange(true);
}

void reportLoss(bool first) {
    if (first) std::fprintf(stderr, "fernwood2: the sound output was lost; playing on without sound\n");
}

void loseOutput(Output* output) {
    bool first;
    {
        std::lock_guard<std::mutex> guard(output->lock);
        first = markLost(output);
    }
    reportLoss(first);
}

// A sink that has not answered within kAnswerTimeout has lost the output.
void checkAnswer(Output* output) {
    bool first = false;
    {
        std::lock_guard<std::mutex> guard(output->lock);
        if (output->busy && SteadyClock::now() - output->busySince > kAnswerTimeout) first = markLost(output);
    }
    reportLoss(first);
}

void setBusy(Output* output, bool busy) {
    std::lock_guard<std::mutex> guard(output->lock);
    output->busy = busy;
    output->busySince = SteadyClock::now();
    if (!busy && output->busyCounted) {
        output->busyCounted = false;
        --gWaitingThreads;
    }
}

gint64 startNs(GstSample* sample) {
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    const GstSegment* segment = gst_sample_get_segment(sample);
    if (!buffer || !segment || !GST_BUFFER_PTS_IS_VALID(buffer)) return -1;
    guint64 time = gst_segment_to_stream_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
    return time == GST_CLOCK_TIME_NONE ? -1 : gint64(time);
}

// --- The streams ---------------------------------------------------------------------

GstBusSyncReply onStreamMessage(GstBus*, GstMessage* message, gpointer ref) {
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) loseOutput(outputOf(ref));
    gst_message_unref(message);
    return GST_BUS_DROP;
}

// The stream's sink plays what it gets at once (no clock), from a small buffer.
GstElement* makeServerSink(const std::string& factory) {
    GstElement* sink = gst_element_factory_make(factory.c_str(), nullptr);
    if (!sink) return nullptr;
    g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
    GObjectClass* type = G_OBJECT_GET_CLASS(sink);
    if (g_object_class_find_property(type, "buffer-time") && g_object_class_find_property(type, "latency-time"))
        g_object_set(sink, "buffer-time", gint64(kLeadNs / 1000), "latency-time", kSegmentUs, nullptr);
    return sink;
}

// Builds the stream's pipeline and links our pad to it; false when a part is missing.
bool buildStream(const OutputRef& output, Stream* stream) {
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* resample = gst_element_factory_make("audioresample", nullptr);
    GstElement* sink = makeServerSink(output->factory);
    stream->pipeline = gst_pipeline_new(nullptr);
    gst_object_ref_sink(stream->pipeline);
    if (!convert || !resample || !sink) {
        for (GstElement* part : {convert, resample, sink})
            if (part) gst_object_unref(gst_object_ref_sink(part));
        return false;
    }
    gst_bin_add_many(GST_BIN(stream->pipeline), convert, resample, sink, nullptr);
    GstClock* system = gst_system_clock_obtain();
    gst_pipeline_use_clock(GST_PIPELINE(stream->pipeline), system);
    gst_object_unref(system);
    GstBus* bus = gst_element_get_bus(stream->pipeline);
    gst_bus_set_sync_handler(bus, onStreamMessage, newRef(output), deleteRef);
    gst_object_unref(bus);
    stream->feed = gst_pad_new("feed", GST_PAD_SRC);
    gst_pad_set_active(stream->feed, TRUE);
    GstPad* input = gst_element_get_static_pad(convert, "sink");
    bool linked = gst_element_link_many(convert, resample, sink, nullptr) &&
                  gst_pad_link(stream->feed, input) == GST_PAD_LINK_OK;
    gst_object_unref(input);
    return linked;
}

// Takes the stream down on a thread of its own: stopping a server's stream can
// wait on the server.
void dropStream(Stream* stream) {
    if (stream->caps) gst_caps_unref(stream->caps);
    GstElement* pipeline = stream->pipeline;
    GstPad* feed = stream->feed;
    *stream = Stream();
    if (!pipeline) return;
    ++gWaitingThreads;
    std::thread([pipeline, feed] {
        gst_element_set_state(pipeline, GST_STATE_NULL);
        if (feed) gst_object_unref(feed);
        gst_object_unref(pipeline);
        --gWaitingThreads;
    }).detach();
}

// Opens a new stream to the server (on the worker, outside the lock).
bool openStream(const OutputRef& output, Stream* stream) {
    if (!buildStream(output, stream)) return false;
    setBusy(output.get(), true);
    bool started = gst_element_set_state(stream->pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
    setBusy(output.get(), false);
    if (!started) return false;
    gst_pad_push_event(stream->feed, gst_event_new_stream_start("fernwood2-sound"));
    std::lock_guard<std::mutex> guard(output->lock);
    output->stream = stream->pipeline;
    return true;
}

// Hands one sample to the stream, opening it first if needed; false when the
// output is lost.
bool playSample(const OutputRef& output, Stream* stream, GstSample* sample) {
    if (!stream->pipeline && !openStream(output, stream)) return false;
    GstCaps* caps = gst_sample_get_caps(sample);
    if (caps && (!stream->caps || !gst_caps_is_equal(caps, stream->caps))) {
        bool first = !stream->caps;
        gst_caps_replace(&stream->caps, caps);
        gst_pad_push_event(stream->feed, gst_event_new_caps(caps));
        GstSegment segment;
        gst_segment_init(&segment, GST_FORMAT_TIME);
        if (first) gst_pad_push_event(stream->feed, gst_event_new_segment(&segment));
    }
    // Played as it comes: its time stamps belong to the clip's timeline.
    GstBuffer* buffer = gst_buffer_copy(gst_sample_get_buffer(sample));
    GST_BUFFER_PTS(buffer) = GST_BUFFER_DTS(buffer) = GST_BUFFER_DURATION(buffer) = GST_CLOCK_TIME_NONE;
    setBusy(output.get(), true);
    GstFlowReturn flow = gst_pad_push(stream->feed, buffer);
    setBusy(output.get(), false);
    return flow == GST_FLOW_OK;
}

// Ends the stream (lock held). After a stop, what the server was handed since the
// clip's stopping point goes back to be played first when it runs again.
void endStream(Output* output, Stream* stream, bool keepUnheard) {
    while (keepUnheard && !output->handed.empty()) {
        GstSample* sample = output->handed.back();
        output->handed.pop_back();
        if (startNs(sample) < output->stoppedAtNs) {
            gst_sample_unref(sample);
            break;
        }
        output->pending.push_front(sample);
    }
    unrefAll(&output->handed);
    output->stream = nullptr;
    dropStream(stream);
}

// Keeps the samples handed lately: the last lead's worth may not have been heard.
void rememberHanded(Output* output, GstSample* sample) {
    output->handed.push_back(sample);
    gint64 newest = startNs(sample);
    while (output->handed.size() > 1 && startNs(output->handed.front()) < newest - 2 * kLeadNs) {
        gst_sample_unref(output->handed.front());
        output->handed.pop_front();
    }
}

bool hasWork(const Output* output, const Stream& stream) {
    if (output->closing || output->discard) return true;
    if (stream.pipeline && (!output->running || output->lost)) return true;
    return output->running && !output->lost && !output->pending.empty();
}

void workerLoop(OutputRef output) {
    Stream stream;
    std::unique_lock<std::mutex> guard(output->lock);
    for (;;) {
        output->changed.wait(guard, [&] { return hasWork(output.get(), stream); });
        if (output->closing) break;
        if (output->discard || !output->running || output->lost) {
            endStream(output.get(), &stream, !output->discard && !output->lost);
            output->discard = false;
            continue;
        }
        GstSample* sample = output->pending.front();
        output->pending.pop_front();
        guard.unlock();
        bool played = playSample(output, &stream, sample);
        if (played && !output->played) gLossReported = false;
        guard.lock();
        output->played = output->played || played;
        if (played && !output->lost) {
            rememberHanded(output.get(), sample);
            continue;
        }
        gst_sample_unref(sample);
        bool first = markLost(output.get());
        guard.unlock();
        reportLoss(first);
        guard.lock();
    }
    endStream(output.get(), &stream, false);
    output->workerDone = true;
    output->changed.notify_all();
}

// Waits for the worker to finish; a worker held in the sink past kAnswerTimeout
// is freed by stopping its stream from here.
void closeOutput(OutputRef output) {
    std::unique_lock<std::mutex> guard(output->lock);
    if (output->changed.wait_for(guard, kAnswerTimeout, [&] { return output->workerDone; })) return;
    GstElement* stuck = output->stream ? GST_ELEMENT(gst_object_ref(output->stream)) : nullptr;
    guard.unlock();
    ++gWaitingThreads;
    if (stuck) {
        gst_element_set_state(stuck, GST_STATE_NULL);
        gst_object_unref(stuck);
    }
    guard.lock();
    output->changed.wait(guard, [&] { return output->workerDone; });
    --gWaitingThreads;
}

// --- The clip's side ---------------------------------------------------------------------

GstFlowReturn dropSample(GstAppSink* sink, gpointer) {
    if (GstSample* sample = gst_app_sink_pull_sample(sink)) gst_sample_unref(sample);
    return GST_FLOW_OK;
}

// A sample of our own: the appsink reuses its sample object once it is let go.
GstFlowReturn queueSample(GstAppSink* sink, gpointer ref) {
    GstSample* pulled = gst_app_sink_pull_sample(sink);
    if (!pulled) return GST_FLOW_OK;
    GstSample* sample = gst_sample_new(gst_sample_get_buffer(pulled), gst_sample_get_caps(pulled),
                                       gst_sample_get_segment(pulled), nullptr);
    gst_sample_unref(pulled);
    Output* output = outputOf(ref);
    checkAnswer(output);
    std::lock_guard<std::mutex> guard(output->lock);
    if (output->lost || output->closing) {
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }
    output->pending.push_back(sample);
    output->changed.notify_all();
    return GST_FLOW_OK;
}

// At a flush's end in the clip, between the last sample from before the seek and
// the first from after it.
GstPadProbeReturn onClipFlush(GstPad*, GstPadProbeInfo* info, gpointer ref) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (!event || GST_EVENT_TYPE(event) != GST_EVENT_FLUSH_STOP) return GST_PAD_PROBE_OK;
    Output* output = outputOf(ref);
    std::lock_guard<std::mutex> guard(output->lock);
    unrefAll(&output->pending);
    output->discard = true;
    output->changed.notify_all();
    return GST_PAD_PROBE_OK;
}

}  // namespace

struct AudioOutput {
    OutputRef output;
};

GstElement* makeClipAudioSink(bool output) {
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    if (!sink) return nullptr;
    GstCaps* caps = gst_caps_from_string("audio/x-raw,format=S16LE,layout=interleaved");
    g_object_set(sink, "caps", caps, "sync", TRUE, "enable-last-sample", FALSE, "ts-offset",
                 output ? -kLeadNs : gint64(0), nullptr);
    gst_caps_unref(caps);
    GstAppSinkCallbacks callbacks = {};
    callbacks.new_sample = dropSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, nullptr, nullptr);
    return sink;
}

AudioOutput* audioOutputOpen(GstElement* sink, const char* factory) {
    if (gWaitingThreads.load() >= kMaxWaitingThreads) return nullptr;
    OutputRef output = std::make_shared<Output>();
    output->factory = factory;
    GstAppSinkCallbacks callbacks = {};
    callbacks.new_sample = queueSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, newRef(output), deleteRef);
    GstPad* input = gst_element_get_static_pad(sink, "sink");
    gst_pad_add_probe(input, GST_PAD_PROBE_TYPE_EVENT_FLUSH, onClipFlush, newRef(output), deleteRef);
    gst_object_unref(input);
    std::thread(workerLoop, output).detach();
    return new AudioOutput{output};
}

void audioOutputRun(AudioOutput* handle, bool running, gint64 positionNs) {
    Output* output = handle->output.get();
    checkAnswer(output);
    std::lock_guard<std::mutex> guard(output->lock);
    if (!running && output->running) output->stoppedAtNs = positionNs;
    output->running = running;
    output->changed.notify_all();
}

void audioOutputClose(AudioOutput* handle) {
    OutputRef output = handle->output;
    delete handle;
    {
        std::lock_guard<std::mutex> guard(output->lock);
        output->closing = true;
        unrefAll(&output->pending);
        output->changed.notify_all();
    }
    std::thread(closeOutput, output).detach();
}

}  // namespace fwgst
