// GStreamer's start, once per process, and the audio output every clip plays to.
//
// Implements: ensureGstreamer (clip.h); a start-up thread, begun at the first
//   CoInitialize (layer.h's early start) or the first graph, that starts GStreamer,
//   loads the plugins every clip needs (the decoders last; with the gl renderer
//   only once the program has made its first graph) and asks once whether the
//   default audio output can be opened, and with which sink (audio_output.cpp plays
//   to it). With no sound device or sound server at all clips play without sound,
//   without probing (whose failures would only fill standard error).
// Does not: choose among audio devices, or notice one that appears later.
#include "start.h"

#include <gst/gst.h>
#include <unistd.h>

#include <cstdio>
#include <chrono>
#include <future>
#include <initializer_list>
#include <mutex>
#include <memory>
#include <string>

#include "clip.h"
#include "../common/layer.h"

namespace fwgst {

namespace {

// Whether anything is there to play sound to: an ALSA or OSS playback device, or
// a PulseAudio or PipeWire server. Without one, probing every audio system only
// fills standard error with their failures (ALSA's, OpenAL's, ...).
bool soundDevicePresent() {
    if (g_getenv("PULSE_SERVER") != nullptr || access("/dev/dsp", F_OK) == 0) return true;
    if (const char* runtime = g_getenv("XDG_RUNTIME_DIR")) {
        char path[4096];
        for (const char* server : {"pulse/native", "pipewire-0"})
            if (std::snprintf(path, sizeof path, "%s/%s", runtime, server) < int(sizeof path) &&
                access(path, F_OK) == 0)
                return true;
    }
    GDir* devices = g_dir_open("/dev/snd", 0, nullptr);
    if (devices == nullptr) return false;
    bool found = false;
    for (const char* name = g_dir_read_name(devices); name != nullptr && !found; name = g_dir_read_name(devices))
        found = g_str_has_prefix(name, "pcmC") && g_str_has_suffix(name, "p");  // a playback device
    g_dir_close(devices);
    return found;
}

// Whether the default audio output can be opened. With no device the automatic
// sink would fall back to a fake one on every load, with a warning and a probe of
// every audio system each time, so it is asked once per process, and not at all
// when there is no device.
bool probeAudioOutput(std::string* factoryName) {
    int available = 0;
    GstElement* probe = gst_element_factory_make("autoaudiosink", nullptr);
    if (!probe) return false;
    gst_object_ref_sink(probe);
    if (gst_element_set_state(probe, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE) {
        GstIterator* children = gst_bin_iterate_elements(GST_BIN(probe));
        GValue item = G_VALUE_INIT;
        if (gst_iterator_next(children, &item) == GST_ITERATOR_OK) {
            GstElement* child = GST_ELEMENT(g_value_get_object(&item));
            GstElementFactory* factory = gst_element_get_factory(child);
            const char* name = factory ? gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)) : "";
            available = g_str_has_prefix(name, "fake") ? 0 : 1;
            *factoryName = name;
            g_value_reset(&item);
        }
        g_value_unset(&item);
        gst_iterator_free(children);
    }
    gst_element_set_state(probe, GST_STATE_NULL);
    gst_object_unref(probe);
    if (available != 1)
        std::fprintf(stderr, "fernwood2: the sound device could not be opened; playing without sound\n");
    return available == 1;
}

// GStreamer's start, the loading of the plugins every clip needs and the audio
// probe take tens of milliseconds: they run on a thread of their own, begun at the
// first CoInitialize (layer.h's early start) or else at the first CoCreateInstance,
// while the program goes on with its start-up. Creating a graph waits only for
// GStreamer's start. The first load waits for the audio answer: with no sound
// device that comes before the plugins, so the first clip is opened (found,
// demuxed) while the decoders are still loading, and its pipeline takes each
// plugin as it is ready; with a device the probe needs the plugins first.
//
// The decoders come last: their plugin's 177 libraries hold the dynamic loader's
// lock for about 100 ms, and whatever else loads a library meanwhile waits. With
// the cpu renderer the window's set-up loads nothing after SDL's first moments (the
// text conversions are opened before this thread starts), so the decoders load at
// once, beside it. OpenGL's drivers load when the device is made: with the gl
// renderer the decoders wait until the program has made its first graph (or
// kDecoderDelayMs).
std::shared_future<bool> gStarted;      // gst_init_check's answer
std::shared_future<bool> gAudioOutput;  // whether the default audio output opens
std::string gOutputFactory;             // its sink's factory, set before gAudioOutput
std::future<void> gStartThread;
std::promise<void> gFirstGraph;
std::once_flag gFirstGraphOnce;
constexpr int kDecoderDelayMs = 300;

void loadPlugins(std::initializer_list<const char*> names) {
    for (const char* name : names)
        if (GstPlugin* plugin = gst_plugin_load_by_name(name)) gst_object_unref(plugin);
}

void startGstreamer(std::promise<bool>& started, std::promise<bool>& audio, std::future<void> firstGraph) {
    bool initialised = gst_init_check(nullptr, nullptr, nullptr);
    started.set_value(initialised);
    bool device = initialised && soundDevicePresent();
    if (!device) audio.set_value(false);
    if (!initialised) return;
    // Everything the first clip's pipeline takes before its decoders, since a plugin
    // asked for while another loads waits for it.
    loadPlugins({"coreelements", "playback", "typefindfunctions", "app", "isomp4", "videoparsersbad", "audioparsers",
                 "videoconvertscale", "audioconvert", "audioresample", "volume"});
    if (fwlayer::chosenRenderer() == fwlayer::Renderer::Gl)
        firstGraph.wait_for(std::chrono::milliseconds(kDecoderDelayMs));
    loadPlugins({"libav"});
    if (device) audio.set_value(probeAudioOutput(&gOutputFactory));
}

void beginStart() {
    if (gAudioOutput.valid()) return;
    auto started = std::make_shared<std::promise<bool>>();
    auto audio = std::make_shared<std::promise<bool>>();
    gStarted = started->get_future().share();
    gAudioOutput = audio->get_future().share();
    std::future<void> firstGraph = gFirstGraph.get_future();
    gStartThread = std::async(std::launch::async, [started, audio, graph = std::move(firstGraph)]() mutable {
        startGstreamer(*started, *audio, std::move(graph));
    });
}

struct EarlyStartRegistration {
    EarlyStartRegistration() { fwlayer::setMediaEarlyStart(&beginStart); }
} gEarlyStartRegistration;

}  // namespace

const char* audioOutputFactory() { return gAudioOutput.get() ? gOutputFactory.c_str() : nullptr; }

bool ensureGstreamer() {
    beginStart();
    std::call_once(gFirstGraphOnce, [] { gFirstGraph.set_value(); });
    return gStarted.get();
}

}  // namespace fwgst
