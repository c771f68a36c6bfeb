// GStreamer's start, once per process, and the audio output every clip plays to.
//
// Implements: ensureGstreamer (clip.h); a warm-up thread, started with GStreamer,
//   that loads the plugins every clip needs and asks once whether the default
//   audio output can be opened; the audio sink of a clip: the default output, or a
//   clock-paced fake sink when there is none, so the clip still plays in real time.
// Does not: choose among audio devices, or notice one that appears later.
#include "start.h"

#include <future>

#include "clip.h"

namespace fwgst {

namespace {

// Whether the default audio output can be opened. With no device the automatic
// sink would fall back to a fake one on every load, with a warning and a probe of
// every audio system each time, so it is asked once per process.
bool probeAudioOutput() {
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
            g_value_reset(&item);
        }
        g_value_unset(&item);
        gst_iterator_free(children);
    }
    gst_element_set_state(probe, GST_STATE_NULL);
    gst_object_unref(probe);
    return available == 1;
}

// The audio probe and the loading of the plugins every clip needs take tens of
// milliseconds: they run on a thread of their own from GStreamer's start, while
// the program goes on with its start-up, and the first load waits for them.
std::shared_future<bool>& warmUp() {
    static std::shared_future<bool> answer;
    return answer;
}

void startWarmUp() {
    warmUp() = std::async(std::launch::async, [] {
                   const char* const kPlugins[] = {"coreelements", "playback", "typefindfunctions", "app",
                                                   "isomp4", "libav", "videoconvertscale", "audioconvert",
                                                   "audioresample", "volume"};
                   for (const char* name : kPlugins)
                       if (GstPlugin* plugin = gst_plugin_load_by_name(name)) gst_object_unref(plugin);
                   return probeAudioOutput();
               }).share();
}

bool audioOutputAvailable() {
    static int available = -1;
    if (available < 0) available = (warmUp().valid() ? warmUp().get() : probeAudioOutput()) ? 1 : 0;
    return available == 1;
}

}  // namespace

GstElement* makeAudioSink(bool* silent) {
    *silent = !audioOutputAvailable();
    if (!*silent) return gst_element_factory_make("autoaudiosink", nullptr);
    GstElement* sink = gst_element_factory_make("fakeaudiosink", nullptr);
    if (!sink) sink = gst_element_factory_make("fakesink", nullptr);
    if (sink) g_object_set(sink, "sync", TRUE, nullptr);
    return sink;
}

bool ensureGstreamer() {
    static int initialised = -1;
    if (initialised < 0) {
        initialised = gst_init_check(nullptr, nullptr, nullptr) ? 1 : 0;
        if (initialised == 1) startWarmUp();
    }
    return initialised == 1;
}

}  // namespace fwgst
