// A clip's sound, played outside the clip's pipeline: the pipeline ends in an
// appsink timed on the clip's own clock (the system clock), which hands each
// sample to a sound output of its own, which plays it on streams to the sound
// server (sound_stream.cpp); the clip's picture is shown kLeadNs late, and each
// sample is played as late, so that the server's stream has started by then.
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
//   the samples in order, each stretch of playing on a fresh server stream that is
//   never paused and resumed and stops at once when the clip stops or seeks (the
//   next one is connected while the clip stands); each sample plays at the clip's
//   running time (plus the lead) from the clip's base time on the same clock, so
//   sound and picture keep together; what was handed to the server but not heard
//   at a stop plays first at the next start; an output lost when its sink reports
//   an error, or a call into it takes over kAnswerTimeout (then the clip plays on
//   without sound, one line on standard error says so, and later clips try the
//   server again); tear-downs on threads of their own.
// Does not: play late what a stream could not start in time for (the sink drops
//   it, as a clip's own sink would), reopen an output within the clip that lost it,
//   or free what a server that never answers again still holds (while a few such
//   threads wait, new clips play without sound).
#include "audio_output.h"
#include "sound_stream.h"

#include <gst/app/gstappsink.h>

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

// How much later than its running time a clip with an output shows and sounds
// each moment, while its sound leaves for the output at the running time: time for
// a new server stream to start (PipeWire's took 40 to 110 ms here, PulseAudio's
// less) before the first moment is due, and to ride out late wake-ups.
constexpr gint64 kLeadNs = 100 * GST_MSECOND;
// How long a call into the output may take before the output counts as lost.
constexpr auto kAnswerTimeout = std::chrono::milliseconds(1000);

// While this many threads wait on a sound server (soundThreadsWaiting), new clips
// play without sound rather than add to them.
constexpr int kMaxWaitingThreads = 4;
// A lost output is reported once, until some output has played again.
std::atomic<bool> gLossReported{false};

struct Output {
    std::string factory;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<GstSample*> pending;  // not yet handed to the server, oldest first
    std::deque<GstSample*> handed;   // handed to the server lately, maybe not heard
    size_t kept = 0;                 // pending's first ones, kept from before a stop
    bool running = false;
    gint64 stoppedAtNs = -1;  // the clip's position when it last stopped
    bool discard = false;     // the clip seeked: forget everything before
    bool closing = false;
    bool lost = false;
    bool played = false;
    bool busy = false;         // the worker is inside the sink
    bool busyCounted = false;  // ... past its time, counted in soundThreadsWaiting()
    SteadyClock::time_point busySince;
    bool workerDone = false;
    GstElement* stream = nullptr;  // the current stream's pipeline, for the closer
};

using OutputRef = std::shared_ptr<Output>;

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
    output->kept = 0;
    if (output->busy && !output->busyCounted) {
        output->busyCounted = true;
        ++soundThreadsWaiting();
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
        --soundThreadsWaiting();
    }
}

// The base time of the clip's pipeline when the sample reached its sink.
GstClockTime baseTimeOf(GstSample* sample) {
    guint64 base = GST_CLOCK_TIME_NONE;
    if (const GstStructure* info = gst_sample_get_info(sample)) gst_structure_get_uint64(info, "base-time", &base);
    return base;
}

gint64 startNs(GstSample* sample) {
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    const GstSegment* segment = gst_sample_get_segment(sample);
    if (!buffer || !segment || !GST_BUFFER_PTS_IS_VALID(buffer)) return -1;
    guint64 time = gst_segment_to_stream_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
    return time == GST_CLOCK_TIME_NONE ? -1 : gint64(time);
}

// --- The streams ---------------------------------------------------------------------

// A server that went away leaves the worker waiting in its sink, and its connection
// must go before the next clip's output connects (open sinks share one): the stream
// stops at once, from a thread of its own.
GstBusSyncReply onStreamMessage(GstBus*, GstMessage* message, gpointer ref) {
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        Output* output = outputOf(ref);
        loseOutput(output);
        std::lock_guard<std::mutex> guard(output->lock);
        if (output->stream) soundPipelineStopSoon(output->stream);
    }
    gst_message_unref(message);
    return GST_BUS_DROP;
}

// Opens the next stream (on the worker, outside the lock), paused and ready.
bool openStream(const OutputRef& output, SoundStream* stream) {
    setBusy(output.get(), true);
    bool opened = soundStreamOpen(stream, output->factory.c_str(), onStreamMessage, newRef(output), deleteRef);
    setBusy(output.get(), false);
    std::lock_guard<std::mutex> guard(output->lock);
    output->stream = stream->pipeline;
    return opened;
}

// Hands one sample to the stream, starting it first with the base time of the
// newest sample (older ones kept from before a stop share its timeline).
bool playSample(const OutputRef& output, SoundStream* stream, GstSample* sample, GstClockTime baseTime) {
    setBusy(output.get(), true);
    bool played = (stream->started || soundStreamStart(stream, baseTime, sampleRunningTime(sample), kLeadNs,
                                                       gst_sample_get_caps(sample))) &&
                  soundStreamPush(stream, sample);
    setBusy(output.get(), false);
    return played;
}

// Ends the stream (lock held). After a stop, what the server was handed since the
// clip's stopping point goes back to be played first when it runs again.
void endStream(Output* output, SoundStream* stream, bool keepUnheard) {
    while (keepUnheard && !output->handed.empty()) {
        GstSample* sample = output->handed.back();
        output->handed.pop_back();
        if (startNs(sample) < output->stoppedAtNs) {
            gst_sample_unref(sample);
            break;
        }
        output->pending.push_front(sample);
    }
    if (keepUnheard) output->kept = output->pending.size();
    unrefAll(&output->handed);
    output->stream = nullptr;
    soundStreamDrop(stream);
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

bool hasWork(const Output* output, const SoundStream& stream) {
    if (output->closing || output->discard) return true;
    if (output->lost) return stream.pipeline != nullptr;
    if (stream.started && !output->running) return true;
    // A stream starts on the base time of a sample from since the clip ran again.
    size_t waiting = stream.started ? output->pending.size() : output->pending.size() - output->kept;
    return !stream.pipeline || (output->running && waiting > 0);
}

// Plays the next sample, or opens the next stream; loses the output when that fails.
void playNext(const OutputRef& output, SoundStream* stream, std::unique_lock<std::mutex>& guard) {
    GstSample* sample = nullptr;
    GstClockTime baseTime = GST_CLOCK_TIME_NONE;
    if (stream->pipeline) {  // hasWork: the clip runs and there are samples
        sample = output->pending.front();
        baseTime = baseTimeOf(output->pending.back());
        output->pending.pop_front();
        output->kept = 0;
    }
    guard.unlock();
    bool done = sample ? playSample(output, stream, sample, baseTime) : openStream(output, stream);
    if (sample && done && !output->played) gLossReported = false;
    guard.lock();
    output->played = output->played || (sample && done);
    if (done && !output->lost) {
        if (sample) rememberHanded(output.get(), sample);
        return;
    }
    if (sample) gst_sample_unref(sample);
    bool first = markLost(output.get());
    guard.unlock();
    reportLoss(first);
    guard.lock();
}

// Ends the stream when the clip stops or seeks; opens the next one at once, so that
// it is connected (paused, with nothing in it) when the clip runs again. It makes
// its server stream from the first sample's caps, within the samples' lead.
void workerLoop(OutputRef output) {
    SoundStream stream;
    std::unique_lock<std::mutex> guard(output->lock);
    for (;;) {
        output->changed.wait(guard, [&] { return hasWork(output.get(), stream); });
        if (output->closing) break;
        if (output->discard || output->lost || (stream.started && !output->running)) {
            if (stream.started || output->lost) endStream(output.get(), &stream, !output->discard && !output->lost);
            output->discard = false;
        } else {
            playNext(output, &stream, guard);
        }
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
    ++soundThreadsWaiting();
    if (stuck) {
        gst_element_set_state(stuck, GST_STATE_NULL);
        gst_object_unref(stuck);
    }
    guard.lock();
    output->changed.wait(guard, [&] { return output->workerDone; });
    --soundThreadsWaiting();
}

// --- The clip's side ---------------------------------------------------------------------

GstFlowReturn dropSample(GstAppSink* sink, gpointer) {
    if (GstSample* sample = gst_app_sink_pull_sample(sink)) gst_sample_unref(sample);
    return GST_FLOW_OK;
}

// The sink's samples go nowhere, as while no output plays them.
void dropSamples(GstElement* sink) {
    GstAppSinkCallbacks callbacks = {};
    callbacks.new_sample = dropSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, nullptr, nullptr);
}

// A sample of our own, with the clip's base time: the appsink reuses its sample
// object once it is let go.
GstFlowReturn queueSample(GstAppSink* sink, gpointer ref) {
    GstSample* pulled = gst_app_sink_pull_sample(sink);
    if (!pulled) return GST_FLOW_OK;
    GstClockTime base = gst_element_get_base_time(GST_ELEMENT(sink));
    GstStructure* info = gst_structure_new("fernwood2-sample", "base-time", G_TYPE_UINT64, guint64(base), nullptr);
    GstSample* sample = gst_sample_new(gst_sample_get_buffer(pulled), gst_sample_get_caps(pulled),
                                       gst_sample_get_segment(pulled), info);
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
    output->kept = 0;
    output->discard = true;
    output->changed.notify_all();
    return GST_PAD_PROBE_OK;
}

}  // namespace

struct AudioOutput {
    OutputRef output;
    GstElement* sink;  // the clip's, which may outlive the output
    gulong flushProbe;
};

GstElement* makeClipAudioSink() {
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    if (!sink) return nullptr;
    GstCaps* caps = gst_caps_from_string("audio/x-raw,format=S16LE,layout=interleaved");
    g_object_set(sink, "caps", caps, "sync", TRUE, "enable-last-sample", FALSE, nullptr);
    gst_caps_unref(caps);
    dropSamples(sink);
    return sink;
}

AudioOutput* audioOutputOpen(GstElement* playbin, GstElement* sink, const char* factory, gint64* aheadNs) {
    if (soundThreadsWaiting().load() >= kMaxWaitingThreads) return nullptr;
    // playbin sets its sinks' ts-offset from its av-offset: the picture kLeadNs later.
    g_object_set(playbin, "av-offset", kLeadNs, nullptr);
    *aheadNs = kLeadNs;
    OutputRef output = std::make_shared<Output>();
    output->factory = factory;
    GstAppSinkCallbacks callbacks = {};
    callbacks.new_sample = queueSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, newRef(output), deleteRef);
    GstPad* input = gst_element_get_static_pad(sink, "sink");
    gulong probe = gst_pad_add_probe(input, GST_PAD_PROBE_TYPE_EVENT_FLUSH, onClipFlush, newRef(output), deleteRef);
    gst_object_unref(input);
    std::thread(workerLoop, output).detach();
    return new AudioOutput{output, GST_ELEMENT(gst_object_ref(sink)), probe};
}

void audioOutputRun(AudioOutput* handle, bool running, gint64 positionNs) {
    Output* output = handle->output.get();
    checkAnswer(output);
    std::lock_guard<std::mutex> guard(output->lock);
    if (!running && output->running) {
        output->stoppedAtNs = positionNs;
        output->kept = output->pending.size();  // from before the stop: not to time a start by
    }
    output->running = running;
    output->changed.notify_all();
}

void audioOutputClose(AudioOutput* handle) {
    OutputRef output = handle->output;
    // The sink drops what a later file of its clip brings until an output is opened for it.
    GstPad* input = gst_element_get_static_pad(handle->sink, "sink");
    gst_pad_remove_probe(input, handle->flushProbe);
    gst_object_unref(input);
    dropSamples(handle->sink);
    gst_object_unref(handle->sink);
    delete handle;
    {
        std::lock_guard<std::mutex> guard(output->lock);
        output->closing = true;
        unrefAll(&output->pending);
        output->kept = 0;
        output->changed.notify_all();
    }
    std::thread(closeOutput, output).detach();
}

}  // namespace fwgst
