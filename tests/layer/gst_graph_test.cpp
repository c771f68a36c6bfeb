// The filter graph manager on GStreamer without a display, read back through the
// child video registry, on the clips of gst_clips.h.
#include <mutex>
#include <set>

#include "gst_clips.h"

namespace {

using namespace gstclips;

constexpr int kFrames = 30;      // 1.2 s
constexpr int kKeySpacing = 12;  // seeks land between key frames

class GstFormatTest : public ::testing::TestWithParam<Recipe> {};

// Everything the program does with one clip, in the order it does it.
TEST_P(GstFormatTest, PlaysSeeksRewindsAndTearsDownLikeTheProgramUsesIt) {
    // "gst_test_動画.*": the file system's name is UTF-8, the program's code page 932.
    const Recipe& recipe = GetParam();
    std::string link = std::string("gst_test_\u52d5\u753b_") + recipe.name + "." + recipe.extension;
    unlink(link.c_str());
    ASSERT_EQ(0, symlink(clipPath(recipe, kFrames, kKeySpacing).c_str(), link.c_str()));
    Graph graph;
    ASSERT_EQ(1, graph.load(std::string("gst_test_\x93\xae\x89\xe6_") + recipe.name + "." + recipe.extension));
    LONGLONG now = -1;
    EXPECT_NEAR(double(kFrames * kFrameUnits), double(graph.duration), double(kFrameUnits));
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
    EXPECT_EQ(kWidth, look(graph.owner).view.frameWidth) << "a clip smaller than its area arrives as decoded";

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

INSTANTIATE_TEST_SUITE_P(Formats, GstFormatTest, ::testing::ValuesIn(kRecipes),
                         [](const ::testing::TestParamInfo<Recipe>& info) { return info.param.name; });

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
// runs: what one clip's pipeline leaves for the next does not grow from load to
// load, and nothing outlives the graph.
TEST(GstGraph, TornDownClipsLeaveNoElementBehind) {
    // H.264 and AAC in MP4, with sound; and an MPEG program stream, whose end is
    // measured by a pipeline of its own while it opens.
    std::string paths[] = {clipPath(kRecipes[3], kFrames, kKeySpacing), clipPath(kRecipes[0], kFrames, kKeySpacing)};
    gst_init(nullptr, nullptr);
    static LiveElements* live = new LiveElements();  // its hook stays for the process
    size_t liveAfter[6] = {};
    {
        Graph graph;
        for (int load = 0; load < 6; ++load) {
            ASSERT_EQ(1, graph.load(paths[load % 2]));
            graph.control->Run();
            EXPECT_LE(0, waitForFrame(graph.owner, 5)) << "load " << load;
            EXPECT_EQ(6, graph.emptyGraph());
            std::lock_guard<std::mutex> guard(live->lock);
            liveAfter[load] = live->names.size();
        }
    }
    EXPECT_EQ(liveAfter[2], liveAfter[4]);
    EXPECT_EQ(liveAfter[3], liveAfter[5]);
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

// A clip with more pixels than its video area is scaled to the area's size before
// it reaches the sink, its picture intact; it follows the area as that changes,
// and an area larger than the clip takes the frames as decoded.
TEST(GstGraph, AClipLargerThanItsAreaArrivesAtTheAreasSize) {
    const char* path = "gst_test_large_1280x720.mp4";
    gst_init(nullptr, nullptr);
    const char* make =
        "videotestsrc num-buffers=150 pattern=solid-color foreground-color=0xff3060c0 "
        "! video/x-raw,width=1280,height=720,framerate=25/1 ! x264enc ! mp4mux ! filesink location=";
    bool made = access(path, R_OK) == 0 || runToEnd(make + std::string(path));
    ASSERT_TRUE(made);
    Graph graph;
    ASSERT_EQ(1, graph.load(path));
    graph.control->Run();
    auto arrivesAt = [&](int width, int height) {
        Seen seen;
        for (Clock::time_point start = Clock::now(); secondsSince(start) < 2.0;) {
            seen = look(graph.owner);
            if (seen.view.frameWidth == width && seen.view.frameHeight == height) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_EQ(width, seen.view.frameWidth);
        EXPECT_EQ(height, seen.view.frameHeight);
        if (!seen.view.frameBgra) return;
        const uint8_t* centre = seen.view.frameBgra + seen.view.frameStride * (height / 2) + 4 * (width / 2);
        EXPECT_NEAR(0xc0, centre[0], 6);
        EXPECT_NEAR(0x60, centre[1], 6);
        EXPECT_NEAR(0x30, centre[2], 6);
    };
    Seen loaded = look(graph.owner);
    arrivesAt(loaded.view.width, loaded.view.height);
    graph.movie.graph.videoWindow->SetWindowPosition(80, 60, 320, 240);
    arrivesAt(320, 240);
    graph.movie.graph.videoWindow->SetWindowPosition(0, 0, 1600, 900);
    arrivesAt(1280, 720);
    EXPECT_EQ(4, graph.emptyGraph());  // no sound: source, splitter, decoder, renderer
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
