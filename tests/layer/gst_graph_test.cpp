// The filter graph manager on GStreamer without a display, read back through the
// child video registry. Clips made here: each frame one flat colour encoding its number.
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "movie/movie.h"
#include "platform/common/layer.h"

namespace {

constexpr int kWidth = 160, kHeight = 128, kFps = 25;
constexpr int kFrames = 30;  // 1.2 s
constexpr LONGLONG kFrameUnits = 10000000 / kFps;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Frame n: red steps with n % 8, green with n / 8.
int frameNumberOf(int r, int g) { return int(std::lround((r - 16) / 32.0)) + 8 * int(std::lround((g - 16) / 32.0)); }

struct Format {
    const char* extension;
    const char* videoEncoder;
    const char* muxer;
    const char* audioEncoder;
    int durationSlackFrames;  // how far the demuxer's duration may be off
    const char* audioSourceOptions;
};

const Format kFormats[] = {
    // MPEG-1 system stream: the first frame is timed at 0.5 s, and the demuxer
    // estimates the length from the clock references, up to two frames short.
    {"mpg", "mpeg2enc format=0", "avmux_mpeg", "avenc_mp2", 2, ""},
    {"avi", "avenc_mpeg4", "avimux", "lamemp3enc", 1, ""},
    {"mp4", "x264enc", "mp4mux", "avenc_aac", 1, ""},
    // The libav video encoders time their output from 1000 hours on: the sound too.
    {"wmv", "avenc_wmv2", "asfmux", "avenc_wmav2", 1, "timestamp-offset=3600000000000000"},
    {"ogv", "theoraenc", "oggmux", "vorbisenc", 1, ""},
};

void PrintTo(const Format& format, std::ostream* out) { *out << format.extension; }

bool makeClip(const Format& format, const std::string& path) {
    std::string frames, raw = path + ".bgrx";
    for (int n = 0; n < kFrames; ++n)
        for (int i = 0; i < kWidth * kHeight; ++i)
            frames += {char(128), char(16 + 32 * (n / 8)), char(16 + 32 * (n % 8)), char(255)};
    std::ofstream(raw, std::ios::binary) << frames;
    char description[1024];
    std::snprintf(description, sizeof description,
                  "filesrc location=%s ! rawvideoparse format=bgrx width=%d height=%d framerate=%d/1 "
                  "! videoconvert ! %s ! %s name=mux ! filesink location=%s audiotestsrc num-buffers=%d "
                  "samplesperbuffer=441 %s ! audio/x-raw,rate=44100,channels=2 ! audioconvert ! %s ! mux.",
                  raw.c_str(), kWidth, kHeight, kFps, format.videoEncoder, format.muxer, path.c_str(), kFrames * 4,
                  format.audioSourceOptions, format.audioEncoder);
    GstElement* pipeline = gst_parse_launch(description, nullptr);
    if (!pipeline) return false;
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message =
        gst_bus_timed_pop_filtered(bus, 30 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    bool ok = message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
    if (message) gst_message_unref(message);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    std::remove(raw.c_str());
    return ok;
}

// Made once and kept in the test's working folder (the build's) for later runs.
std::string clipPath(const Format& format) {
    std::string path = "gst_test_clip_" + std::to_string(kFrames) + "." + format.extension;
    if (access(path.c_str(), R_OK) != 0) {
        gst_init(nullptr, nullptr);
        std::string partial = path + ".part" + std::to_string(getpid());
        EXPECT_TRUE(makeClip(format, partial) && std::rename(partial.c_str(), path.c_str()) == 0) << path;
    }
    return path;
}

// The program's graph (movie/graph.cpp) with one item of one clip, and its frame's poll.
struct Graph {
    HWND owner = reinterpret_cast<HWND>(uintptr_t(0x7100));
    PlayItem item = {};
    uint8_t unlockFlags[MAX_TABLE_CLIPS] = {};
    int32_t volume = -10000, currentItem = 0, currentClip = 0, clipPlayCount = 0, isPlaying = 0;
    int64_t duration = 0;
    MovieState movie = {owner,        {},           &item,          1,         unlockFlags, &volume, &duration,
                        &currentItem, &currentClip, &clipPlayCount, &isPlaying};
    IGraphBuilder*& builder = movie.graph.graphBuilder;
    IMediaControl*& control = movie.graph.mediaControl;
    IMediaEvent*& event = movie.graph.mediaEvent;
    IMediaSeeking*& seeking = movie.graph.mediaSeeking;
    IBasicAudio*& audio = movie.graph.basicAudio;

    Graph() { EXPECT_EQ(1, createGraph(&movie.graph)); }
    ~Graph() {
        control->Stop();
        for (IUnknown* view :
             std::initializer_list<IUnknown*>{control, event, seeking, audio, movie.graph.videoWindow, builder})
            view->Release();
    }

    // The program's tear-down loop; returns how many filters it removed.
    int emptyGraph() {
        int removed = 0;
        IEnumFilters* filters = nullptr;
        if (FAILED(builder->EnumFilters(&filters))) return -1;
        for (IBaseFilter* filter; filters->Next(1, &filter, nullptr) == S_OK; ++removed, filter->Release()) {
            builder->RemoveFilter(filter);
            filters->Reset();
        }
        filters->Release();
        return removed;
    }

    // loadClip on path (code page 932): 1, or 0 when a step failed.
    int32_t load(const std::string& path) {
        std::snprintf(item.clips[0].path, sizeof item.clips[0].path, "%s", path.c_str());
        return loadClip(movie, 0, 0);
    }

    void seek(LONGLONG position) {
        EXPECT_EQ(S_OK,
                  seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning));
    }

    // Polls as the program does, once per 15 ms (at least once); false on time-out.
    bool waitForCompletion(int timeoutMs) {
        for (Clock::time_point start = Clock::now();; std::this_thread::sleep_for(std::chrono::milliseconds(15))) {
            LONG code = 0;
            HRESULT hr = event->WaitForCompletion(0, &code);
            if (code == EC_COMPLETE) return true;
            EXPECT_EQ(E_ABORT, hr);
            if (secondsSince(start) * 1000 >= timeoutMs) return false;
        }
    }
};

// The visible videos and the last one's view and centre frame number (-1: no frame).
struct Seen {
    int visibleCount = 0;
    fwlayer::ChildVideoView view = {};
    int frame = -1;
};

Seen look(HWND owner) {
    Seen seen;
    fwlayer::childVideoForEachVisible(
        owner,
        [](const fwlayer::ChildVideoView& view, void* user) {
            Seen& seen = *static_cast<Seen*>(user);
            ++seen.visibleCount;
            seen.view = view;
            if (!view.frameBgra) return;
            const uint8_t* centre =
                view.frameBgra + view.frameStride * (view.frameHeight / 2) + 4 * (view.frameWidth / 2);
            seen.frame = frameNumberOf(centre[2], centre[1]);
        },
        &seen);
    return seen;
}

// Waits until frame `wanted` (within one) is shown; returns the frame last seen.
int waitForFrame(HWND owner, int wanted) {
    int last = -1;
    for (Clock::time_point start = Clock::now(); secondsSince(start) < 3.0;) {
        last = look(owner).frame;
        if (last >= 0 && std::abs(last - wanted) <= 1) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return last;
}

class GstFormatTest : public ::testing::TestWithParam<Format> {};

// Everything the program does with one clip, in the order it does it.
TEST_P(GstFormatTest, PlaysSeeksRewindsAndTearsDownLikeTheProgramUsesIt) {
    // "gst_test_動画.*": the file system's name is UTF-8, the program's code page 932.
    const Format& format = GetParam();
    std::string link = std::string("gst_test_\u52d5\u753b.") + format.extension;
    unlink(link.c_str());
    ASSERT_EQ(0, symlink(clipPath(format).c_str(), link.c_str()));
    Graph graph;
    ASSERT_EQ(1, graph.load(std::string("gst_test_\x93\xae\x89\xe6.") + format.extension));
    LONGLONG now = -1;
    EXPECT_NEAR(double(kFrames * kFrameUnits), double(graph.duration),
                double(format.durationSlackFrames * kFrameUnits));
    EXPECT_EQ(S_OK, graph.seeking->GetCurrentPosition(&now));
    EXPECT_NEAR(0.0, double(now), double(kFrameUnits) / 2) << "start offset hidden";
    EXPECT_EQ(S_OK, graph.audio->put_Volume(-10000)) << "the sound was rendered";
    EXPECT_EQ(E_INVALIDARG, graph.audio->put_Volume(1));

    // Loaded and stopped: black until cued; cueing shows the first frame.
    Seen loaded = look(graph.owner);
    EXPECT_EQ(1, loaded.visibleCount);
    EXPECT_EQ(0, loaded.view.frameWidth);
    EXPECT_EQ(80, loaded.view.left);
    graph.control->StopWhenReady();
    EXPECT_EQ(0, waitForFrame(graph.owner, 0));

    // The seek drag: Stop, SetPositions, StopWhenReady shows that exact frame, also
    // one between key frames.
    for (int wanted : {17, 6, 23}) {
        graph.control->Stop();
        graph.seek(wanted * kFrameUnits + kFrameUnits / 2);
        graph.control->StopWhenReady();
        EXPECT_EQ(wanted, waitForFrame(graph.owner, wanted));
    }

    // Play to the end at once and in real time: complete once, then not again.
    Clock::time_point started = Clock::now();
    graph.control->Run();
    ASSERT_TRUE(graph.waitForCompletion(4000));
    EXPECT_LT(secondsSince(started), 1.5);  // a seek that kept its old time would wait first
    EXPECT_FALSE(graph.waitForCompletion(0));
    EXPECT_EQ(kFrames - 1, waitForFrame(graph.owner, kFrames - 1));

    // The rewind of a repeating clip: seek while running, play again in real time.
    Clock::time_point rewound = Clock::now();
    graph.seek(0);
    EXPECT_EQ(S_OK, graph.seeking->GetCurrentPosition(&now));
    EXPECT_LT(now, 5 * kFrameUnits);
    ASSERT_TRUE(graph.waitForCompletion(4000));
    EXPECT_GT(secondsSince(rewound), 0.8 * kFrames / kFps);

    // Torn down while playing: every filter once, and the video gone.
    graph.seek(0);
    EXPECT_LE(0, waitForFrame(graph.owner, 3));
    EXPECT_EQ(6, graph.emptyGraph());  // source, splitter, and a decoder and renderer per stream
    EXPECT_EQ(0, graph.emptyGraph());
    EXPECT_EQ(0, look(graph.owner).visibleCount);
    EXPECT_EQ(VFW_E_NOT_CONNECTED, graph.seeking->GetDuration(&now));
}

INSTANTIATE_TEST_SUITE_P(Formats, GstFormatTest, ::testing::ValuesIn(kFormats),
                         [](const ::testing::TestParamInfo<Format>& info) { return info.param.extension; });

// Every element added to any bin from now on, for as long as it lives.
struct LiveElements {
    std::mutex lock;
    std::set<std::string> names;  // "factory name@address"

    LiveElements() {
        g_type_class_unref(g_type_class_ref(GST_TYPE_BIN));
        g_signal_add_emission_hook(g_signal_lookup("element-added", GST_TYPE_BIN), 0, &onAdded, this, nullptr);
    }
    static std::string nameOf(GObject* element) {
        GstElementFactory* factory = gst_element_get_factory(GST_ELEMENT(element));
        char address[32];
        std::snprintf(address, sizeof address, "@%p", static_cast<void*>(element));
        return (factory ? gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)) : G_OBJECT_TYPE_NAME(element)) +
               std::string(address);
    }
    static gboolean onAdded(GSignalInvocationHint*, guint, const GValue* values, gpointer user) {
        LiveElements* live = static_cast<LiveElements*>(user);
        GObject* element = G_OBJECT(g_value_get_object(&values[1]));
        std::lock_guard<std::mutex> guard(live->lock);
        if (live->names.insert(nameOf(element)).second) g_object_weak_ref(element, &onFinalized, live);
        return TRUE;
    }
    static void onFinalized(gpointer user, GObject* element) {
        LiveElements* live = static_cast<LiveElements*>(user);
        std::lock_guard<std::mutex> guard(live->lock);
        live->names.erase(nameOf(element));
    }
};

// The gallery's Next and Previous load clip after clip for as long as the program
// runs: nothing of a clip's pipeline may outlive its tear-down.
TEST(GstGraph, TornDownClipsLeaveNoElementBehind) {
    std::string path = clipPath(kFormats[2]);  // H.264 and AAC in MP4, with sound
    gst_init(nullptr, nullptr);
    static LiveElements* live = new LiveElements();  // its hook stays for the process
    Graph graph;
    for (int load = 0; load < 3; ++load) {
        ASSERT_EQ(1, graph.load(path));
        graph.control->Run();
        EXPECT_LE(0, waitForFrame(graph.owner, 5));
        EXPECT_EQ(6, graph.emptyGraph());
    }
    // A sound output's own pipeline closes on a thread of its own, soon after.
    for (Clock::time_point start = Clock::now(); secondsSince(start) < 2.0;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::lock_guard<std::mutex> guard(live->lock);
        if (live->names.empty()) break;
    }
    std::lock_guard<std::mutex> guard(live->lock);
    std::string left;
    for (const std::string& name : live->names) left += name + " ";
    EXPECT_TRUE(live->names.empty()) << "still alive: " << left;
}

TEST(GstGraph, UnplayableFilesFailQuickly) {
    std::ofstream corrupt("gst_test_corrupt.mpg", std::ios::binary);
    for (int i = 0; i < 20000; ++i) corrupt.put(char((i * 7919) >> 3));
    corrupt.close();
    for (const char* path : {"gst_test_missing.avi", "gst_test_corrupt.mpg", "."}) {
        Graph graph;
        Clock::time_point start = Clock::now();
        EXPECT_EQ(0, graph.load(path)) << path;
        EXPECT_LT(secondsSince(start), 5.0) << path;
        EXPECT_EQ(0, graph.emptyGraph()) << path;
    }
}

}  // namespace
