// A clip's sound, played outside the clip's pipeline: the pipeline ends in an
// appsink timed on the clip's own clock (the system clock) that takes each sample
// kAheadNs before its moment and hands it to a player: a thread with a stream to
// the sound server (sound_stream.cpp), already playing (silence while there is
// nothing else), which plays the sample at its moment. The picture is not held
// back, and a clip's start, a repeat or Play sound at once.
//
// Why apart: a sound server's sink in the clip's pipeline made the pipeline wait on
// the server. After the server's stream had been paused and resumed (every Stop,
// Pause, seek and repeat pauses it), its timing reports could jump hours ahead
// (PipeWire nearly always, PulseAudio sometimes); the sink's clock, the pipeline's
// clock, followed them and then stood still, and the video waited on it for good.
// A server that stops answering would hold a seek or Stop made on the program's
// thread, and one that goes away made the pipeline fail. Here the clip never
// waits on the output and the output never holds the clip; and the server's
// stream is never paused: it plays silence where the clip does not run.
//
// Implements: the clip's audio appsink; players, each one thread and one stream,
//   that play one clip's samples at their moments (the clip's base time plus
//   their running time, on the same clock) and keep the stream in silence around
//   them; at a stop or seek the sound given ahead is silenced at once, and what
//   was not heard of it plays first when the clip runs again; a clip's player
//   goes on to the next clip (no new stream to wait for), and one with nothing to
//   play for kIdleTime closes its stream; an output lost when its sink reports an
//   error or a call into it takes over kAnswerTimeout (then the clip plays on
//   without sound, one line on standard error says so, and later clips try the
//   server again).
// Does not: play late what could not be given in time (the first moments after a
//   start that came while the stream was opening), reopen an output within the
//   clip that lost it, or free what a server that never answers again still holds
//   (while a few such threads wait, new clips play without sound).
#include "audio_output.h"
#include "sound_stream.h"

#include <gst/app/gstappsink.h>

#include <algorithm>
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

// How long before its moment the clip's appsink takes a sample: the server must
// have it a little ahead (one period of its stream's, 10 ms) and the player's
// thread may wake late.
constexpr gint64 kAheadNs = 30 * GST_MSECOND;
// Where the clip gives nothing to play, the stream is kept this far ahead of now in
// silence: given again when less than the low mark is left.
constexpr GstClockTime kSilenceLowNs = 10 * GST_MSECOND;
constexpr GstClockTime kSilenceHighNs = 25 * GST_MSECOND;
constexpr GstClockTime kHandedKeptNs = 4 * kAheadNs;  // given samples remembered, for a stop
// A stream with no clip running this long is closed (a Stop and Play, or a look at
// the gallery and Back, take less); the next start opens one, losing its first moments.
constexpr auto kIdleTime = std::chrono::seconds(30);
// How long a call into the output may take before the output counts as lost.
constexpr auto kAnswerTimeout = std::chrono::milliseconds(1000);
// While this many threads wait on a sound server (soundThreadsWaiting), new clips
// play without sound rather than add to them.
constexpr int kMaxWaitingThreads = 4;
// A lost output is reported once, until some output has played again.
std::atomic<bool> gLossReported{false};

struct Player;
using PlayerRef = std::shared_ptr<Player>;

struct Handed {
    GstSample* sample;
    GstClockTime at;  // its moment
};

void unrefAll(std::deque<GstSample*>* samples) {
    for (GstSample* sample : *samples) gst_sample_unref(sample);
    samples->clear();
}

void unrefAll(std::deque<Handed>* samples) {
    for (const Handed& handed : *samples) gst_sample_unref(handed.sample);
    samples->clear();
}

// One clip's sound. Guarded by its player's lock.
struct Output {
    PlayerRef player;
    std::deque<GstSample*> pending;  // not yet given to the stream, oldest first
    std::deque<Handed> handed;       // given lately, maybe not heard yet
    size_t kept = 0;                 // pending's first ones, kept from before a stop
    bool running = false;
    gint64 stoppedAtNs = -1;  // the clip's position when it last stopped
    bool discard = false;     // the clip seeked: forget everything before
    bool played = false;
    ~Output() {
        unrefAll(&pending);
        unrefAll(&handed);
    }
};

using OutputRef = std::shared_ptr<Output>;

// A thread and its stream, playing one clip's output after another's.
struct Player {
    std::string factory;
    std::mutex lock;
    std::condition_variable changed;
    OutputRef current;
    SteadyClock::time_point lastUse;  // a clip came, ran or went
    bool cut = false;                 // what was given ahead is to be silenced
    bool lost = false;
    bool retired = false;
    bool busy = false;         // the thread is inside the sink
    bool busyCounted = false;  // ... past its time, counted in soundThreadsWaiting()
    SteadyClock::time_point busySince;
    GstElement* stream = nullptr;  // the stream's pipeline, to stop it from elsewhere
};

// A player whose clip has closed, kept for the next one (never freed: its thread
// may outlive the program's static objects).
std::mutex& gSpareLock = *new std::mutex;
PlayerRef& gSpare = *new PlayerRef;

OutputRef* newRef(const OutputRef& output) { return new OutputRef(output); }
void deleteRef(gpointer ref) { delete static_cast<OutputRef*>(ref); }
Output* outputOf(gpointer ref) { return static_cast<OutputRef*>(ref)->get(); }
void deletePlayerRef(gpointer ref) { delete static_cast<PlayerRef*>(ref); }

// Called with the lock held; true the first time. The stream is stopped, which
// frees a thread held in its sink.
bool markLost(Player* player) {
    if (player->lost) return false;
    player->lost = true;
    if (Output* output = player->current.get()) {
        unrefAll(&output->pending);
        unrefAll(&output->handed);
        output->kept = 0;
    }
    if (player->busy && !player->busyCounted) {
        player->busyCounted = true;
        ++soundThreadsWaiting();
    }
    if (player->stream) soundPipelineStopSoon(player->stream);
    player->changed.notify_all();
    return true;
}

void reportLoss(bool first) {
    if (first && !gLossReported.exchange(true))
        std::fprintf(stderr, "fernwood2: the sound output was lost; playing on without sound\n");
}

// A sink that has not answered within kAnswerTimeout has lost the output.
bool overdue(const Player* player) { return player->busy && SteadyClock::now() - player->busySince > kAnswerTimeout; }

void checkAnswer(Player* player) {
    bool first = false;
    {
        std::lock_guard<std::mutex> guard(player->lock);
        if (overdue(player)) first = markLost(player);
    }
    reportLoss(first);
}

void setBusy(Player* player, bool busy) {
    std::lock_guard<std::mutex> guard(player->lock);
    player->busy = busy;
    player->busySince = SteadyClock::now();
    if (!busy && player->busyCounted) {
        player->busyCounted = false;
        --soundThreadsWaiting();
    }
}

// --- The player's thread ---------------------------------------------------------------

// A server that went away leaves the thread waiting in its sink, and its connection
// must go before the next clip's stream connects (open sinks share one).
GstBusSyncReply onStreamMessage(GstBus*, GstMessage* message, gpointer ref) {
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        Player* player = static_cast<PlayerRef*>(ref)->get();
        bool first;
        {
            std::lock_guard<std::mutex> guard(player->lock);
            first = markLost(player) && player->current;
        }
        reportLoss(first);
    }
    gst_message_unref(message);
    return GST_BUS_DROP;
}

// Runs call outside the lock, as a call into the sink; loses the output when it fails.
template <typename Call>
bool callSink(const PlayerRef& player, std::unique_lock<std::mutex>& guard, Call call) {
    guard.unlock();
    setBusy(player.get(), true);
    bool done = call();
    setBusy(player.get(), false);
    guard.lock();
    if (done && !player->lost) return true;
    bool first = markLost(player.get()) && player->current;
    guard.unlock();
    reportLoss(first);
    guard.lock();
    return false;
}

// Opens the stream, in the format of the clip's first sample (or the last one's).
void openStream(const PlayerRef& player, SoundStream* stream, GstCaps** format, std::unique_lock<std::mutex>& guard) {
    Output* output = player->current.get();
    if (output && !output->pending.empty()) gst_caps_replace(format, gst_sample_get_caps(output->pending.front()));
    if (!*format) *format = gst_caps_from_string("audio/x-raw,format=S16LE,layout=interleaved,rate=48000,channels=2");
    GstCaps* opening = gst_caps_ref(*format);
    callSink(player, guard, [&] {
        return soundStreamOpen(stream, player->factory.c_str(), opening, onStreamMessage, new PlayerRef(player),
                               deletePlayerRef);
    });
    gst_caps_unref(opening);
    player->stream = stream->pipeline;
}

void endStream(Player* player, SoundStream* stream) {
    player->stream = nullptr;
    soundStreamDrop(stream);
}

// Keeps the samples given lately: the last ones may not have been heard.
void rememberHanded(Output* output, GstSample* sample, GstClockTime at) {
    output->handed.push_back({sample, at});
    while (output->handed.front().at + kHandedKeptNs < at) {
        gst_sample_unref(output->handed.front().sample);
        output->handed.pop_front();
    }
}

// Plays the clip's next sample, on the clip's newest base time (older samples kept
// from before a stop share its timeline). A clip whose channels differ from the
// stream's gets a new stream.
void playNext(const PlayerRef& player, const OutputRef& output, SoundStream* stream, GstCaps** format,
              std::unique_lock<std::mutex>& guard) {
    GstSample* sample = output->pending.front();
    int channels = sampleChannels(gst_sample_get_caps(sample));
    if (channels > 0 && channels != sampleChannels(stream->format)) {
        gst_caps_replace(format, gst_sample_get_caps(sample));
        endStream(player.get(), stream);
        return;
    }
    GstClockTime at = sampleBaseTime(output->pending.back()) + sampleRunningTime(sample);
    output->pending.pop_front();
    output->kept = 0;
    gst_caps_replace(format, gst_sample_get_caps(sample));
    if (!GST_CLOCK_TIME_IS_VALID(sampleRunningTime(sample)) || at + sampleDuration(sample) < soundClockNow()) {
        gst_sample_unref(sample);
        return;
    }
    if (!callSink(player, guard, [&] { return soundStreamPlay(stream, sample, at); })) {
        gst_sample_unref(sample);
        return;
    }
    if (!output->played) gLossReported = false;
    output->played = true;
    rememberHanded(output.get(), sample, at);
}

// Silences what was given ahead of now. After a stop, what of it is from past the
// clip's stopping point goes back to be played first when the clip runs again.
void cutSound(const PlayerRef& player, const OutputRef& output, SoundStream* stream,
              std::unique_lock<std::mutex>& guard) {
    player->cut = false;
    GstClockTime now = soundClockNow();
    if (output && !output->discard && output->stoppedAtNs >= 0) {
        while (!output->handed.empty() &&
               sampleStreamTime(output->handed.back().sample) + gint64(sampleDuration(output->handed.back().sample)) >
                   output->stoppedAtNs) {
            output->pending.push_front(output->handed.back().sample);
            output->handed.pop_back();
            ++output->kept;
        }
    }
    if (output) {
        unrefAll(&output->handed);
        output->discard = false;
    }
    if (stream->pipeline && stream->filledTo > now)
        callSink(player, guard, [&] { return soundStreamSilence(stream, now, stream->filledTo); });
}

// Keeps the stream in silence ahead of now; how long it may wait before the next.
std::chrono::nanoseconds keepInSilence(const PlayerRef& player, SoundStream* stream,
                                       std::unique_lock<std::mutex>& guard) {
    GstClockTime now = soundClockNow();
    if (stream->filledTo < now + kSilenceLowNs) {
        GstClockTime from = std::max(stream->filledTo, now);
        callSink(player, guard, [&] { return soundStreamSilence(stream, from, now + kSilenceHighNs); });
        now = soundClockNow();
    }
    GstClockTime due = stream->filledTo > now + kSilenceLowNs ? stream->filledTo - kSilenceLowNs - now : 0;
    return std::chrono::nanoseconds(std::max<GstClockTime>(due, GST_MSECOND));
}

// Whether the thread has something to do at once, since it saw output as the clip's.
bool hasWork(const Player* player, const OutputRef& seen) {
    const Output* output = player->current.get();
    return player->lost || player->cut || player->current != seen ||
           (output && output->running && output->pending.size() > output->kept);
}

// One turn of the player's thread; false when it is done (lost, or no clip and idle).
bool playerTurn(const PlayerRef& player, SoundStream* stream, GstCaps** format, std::unique_lock<std::mutex>& guard) {
    OutputRef output = player->current;
    if (output && output->running) player->lastUse = SteadyClock::now();
    bool idle = SteadyClock::now() - player->lastUse > kIdleTime;
    if (player->lost) return false;
    if (player->cut) {
        cutSound(player, output, stream, guard);
    } else if (!stream->pipeline) {
        if (!output) return false;
        if (output->running || !idle) openStream(player, stream, format, guard);
        else player->changed.wait(guard, [&] { return hasWork(player.get(), output) || output->running; });
    } else if (output && output->running && output->pending.size() > output->kept) {
        playNext(player, output, stream, format, guard);  // (a kept sample waits for a new one's base time)
    } else if (idle) {
        endStream(player.get(), stream);
    } else {
        std::chrono::nanoseconds wait = keepInSilence(player, stream, guard);
        player->changed.wait_for(guard, wait, [&] { return hasWork(player.get(), output); });
    }
    return true;
}

void playerLoop(PlayerRef player) {
    SoundStream stream;
    GstCaps* format = nullptr;
    std::unique_lock<std::mutex> guard(player->lock);
    while (playerTurn(player, &stream, &format, guard)) {
    }
    player->retired = true;
    endStream(player.get(), &stream);
    guard.unlock();
    if (format) gst_caps_unref(format);
    std::lock_guard<std::mutex> spare(gSpareLock);
    if (gSpare == player) gSpare.reset();
}

// The spare player if it can play on, or a new one.
PlayerRef attach(const OutputRef& output, const char* factory) {
    PlayerRef player;
    {
        std::lock_guard<std::mutex> spare(gSpareLock);
        player.swap(gSpare);
    }
    if (player) {
        std::lock_guard<std::mutex> guard(player->lock);
        if (overdue(player.get())) markLost(player.get());
        if (!player->lost && !player->retired && player->factory == factory) {
            player->current = output;
            player->lastUse = SteadyClock::now();
            player->changed.notify_all();
            return player;
        }
    }
    player = std::make_shared<Player>();
    player->factory = factory;
    player->current = output;
    player->lastUse = SteadyClock::now();
    std::thread(playerLoop, player).detach();
    return player;
}

// --- The clip's side ---------------------------------------------------------------------

GstFlowReturn dropSample(GstAppSink* sink, gpointer) {
    if (GstSample* sample = gst_app_sink_pull_sample(sink)) gst_sample_unref(sample);
    return GST_FLOW_OK;
}

// A sample of our own, with the clip's base time (the appsink reuses its sample
// object once it is let go).
GstFlowReturn queueSample(GstAppSink* sink, gpointer ref) {
    GstSample* pulled = gst_app_sink_pull_sample(sink);
    if (!pulled) return GST_FLOW_OK;
    GstSample* sample = sampleWithBaseTime(pulled, gst_element_get_base_time(GST_ELEMENT(sink)));
    gst_sample_unref(pulled);
    Output* output = outputOf(ref);
    Player* player = output->player.get();
    checkAnswer(player);
    std::lock_guard<std::mutex> guard(player->lock);
    if (player->lost || player->current.get() != output) {
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }
    output->pending.push_back(sample);
    player->changed.notify_all();
    return GST_FLOW_OK;
}

// At a flush's end in the clip, between the last sample from before the seek and
// the first from after it.
GstPadProbeReturn onClipFlush(GstPad*, GstPadProbeInfo* info, gpointer ref) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (!event || GST_EVENT_TYPE(event) != GST_EVENT_FLUSH_STOP) return GST_PAD_PROBE_OK;
    Output* output = outputOf(ref);
    Player* player = output->player.get();
    std::lock_guard<std::mutex> guard(player->lock);
    unrefAll(&output->pending);
    output->kept = 0;
    output->discard = true;
    player->cut = true;
    player->changed.notify_all();
    return GST_PAD_PROBE_OK;
}

// playbin's sink bin sets its audio sink's ts-offset whenever it builds its chains
// (from its av-offset, never below 0): the clip's output takes it back.
void keepAhead(GObject* sink, GParamSpec*, gpointer) {
    gint64 offset = 0;
    g_object_get(sink, "ts-offset", &offset, nullptr);
    if (offset != -kAheadNs) g_object_set(sink, "ts-offset", -kAheadNs, nullptr);
}

}  // namespace

struct AudioOutput {
    OutputRef output;
};

GstElement* makeClipAudioSink() {
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    if (!sink) return nullptr;
    GstCaps* caps = gst_caps_from_string("audio/x-raw,format=S16LE,layout=interleaved");
    g_object_set(sink, "caps", caps, "sync", TRUE, "enable-last-sample", FALSE, nullptr);
    gst_caps_unref(caps);
    GstAppSinkCallbacks callbacks = {};
    callbacks.new_sample = dropSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, nullptr, nullptr);
    return sink;
}

AudioOutput* audioOutputOpen(GstElement* sink, const char* factory) {
    if (soundThreadsWaiting().load() >= kMaxWaitingThreads) return nullptr;
    // The samples leave early; the sink's position stays the picture's, since a
    // sink reports no later than the clock's time.
    g_object_set(sink, "ts-offset", -kAheadNs, nullptr);
    g_signal_connect(sink, "notify::ts-offset", G_CALLBACK(keepAhead), nullptr);
    OutputRef output = std::make_shared<Output>();
    output->player = attach(output, factory);
    GstAppSinkCallbacks callbacks = {};
    callbacks.new_sample = queueSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, newRef(output), deleteRef);
    GstPad* input = gst_element_get_static_pad(sink, "sink");
    gst_pad_add_probe(input, GST_PAD_PROBE_TYPE_EVENT_FLUSH, onClipFlush, newRef(output), deleteRef);
    gst_object_unref(input);
    return new AudioOutput{output};
}

void audioOutputRun(AudioOutput* handle, bool running, gint64 positionNs) {
    Output* output = handle->output.get();
    Player* player = output->player.get();
    checkAnswer(player);
    std::lock_guard<std::mutex> guard(player->lock);
    if (!running && output->running) {
        output->stoppedAtNs = positionNs;
        output->kept = output->pending.size();  // from before the stop: not to time a start by
        player->cut = true;
    }
    output->running = running;
    player->lastUse = SteadyClock::now();
    player->changed.notify_all();
}

// The output's player falls silent and is kept for the next clip, if it can play on.
void audioOutputClose(AudioOutput* handle) {
    OutputRef output = handle->output;
    delete handle;
    PlayerRef player = output->player;
    bool spare;
    {
        std::lock_guard<std::mutex> guard(player->lock);
        if (player->current == output) player->current.reset();
        unrefAll(&output->pending);
        player->cut = true;
        player->lastUse = SteadyClock::now();
        spare = !player->lost && !player->retired;
        player->changed.notify_all();
    }
    if (!spare) return;
    std::lock_guard<std::mutex> guard(gSpareLock);
    gSpare = player;
}

}  // namespace fwgst
