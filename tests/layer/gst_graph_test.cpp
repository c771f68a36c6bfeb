// The filter graph manager on GStreamer, without a display: the video reaches the
// child video registry, which the tests read back. The clips are made here, one per
// container and codec, with a picture whose colour encodes the frame number.
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "platform/common/layer.h"

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 128;
constexpr int kFps = 25;
constexpr int kFrames = 30;  // 1.2 s
constexpr LONGLONG kFrameUnits = 10000000 / kFps;
constexpr LONGLONG kClipUnits = kFrames * kFrameUnits;

using Clock = std::chrono::steady_clock;

// Frame n is one flat colour: red steps with n % 8, green with n / 8.
void frameColour(int n, uint8_t* r, uint8_t* g, uint8_t* b) {
    *r = uint8_t(16 + 32 * (n % 8));
    *g = uint8_t(16 + 32 * (n / 8));
    *b = 128;
}
int frameNumberOf(int r, int g) {
    int low = int(std::lround((r - 16) / 32.0));
    int high = int(std::lround((g - 16) / 32.0));
    return low + 8 * high;
}

struct Format {
    const char* extension;
    const char* videoEncoder;
    const char* muxer;
    const char* audioEncoder;
    int durationSlackFrames;    // how far the demuxer's duration may be off
    const char* audioSourceOptions;
};

const Format kFormats[] = {
    // An MPEG-1 system stream, whose first frame is timed at 0.5 s; its demuxer
    // estimates the length from the clock references, up to two frames short.
    {"mpg", "mpeg2enc format=0", "avmux_mpeg", "avenc_mp2", 2, ""},
    {"avi", "avenc_mpeg4", "avimux", "lamemp3enc", 1, ""},
    {"mp4", "x264enc", "mp4mux", "avenc_aac", 1, ""},
    // The libav video encoders time their output from 1000 hours on and the ASF
    // muxer keeps time stamps as they come: the sound starts there too.
    {"wmv", "avenc_wmv2", "asfmux", "avenc_wmav2", 1, "timestamp-offset=3600000000000000"},
    {"ogv", "theoraenc", "oggmux", "vorbisenc", 1, ""},
};

void PrintTo(const Format& format, std::ostream* out) { *out << format.extension; }

std::string& clipDirectoryName() {
    static std::string directory;
    return directory;
}

std::string clipDirectory() {
    std::string& directory = clipDirectoryName();
    if (directory.empty()) {
        char pattern[] = "/tmp/fw_gst_test_XXXXXX";
        directory = mkdtemp(pattern);
    }
    return directory;
}

// The clips live as long as the test program.
class ClipDirectoryCleanup : public ::testing::Environment {
public:
    void TearDown() override {
        if (clipDirectoryName().empty()) return;
        std::string command = "rm -rf '" + clipDirectoryName() + "'";
        if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", command.c_str());
    }
};
::testing::Environment* const gClipDirectoryCleanup = ::testing::AddGlobalTestEnvironment(new ClipDirectoryCleanup);

// Encodes kFrames coded frames and a tone into path.
bool makeClip(const Format& format, const std::string& path) {
    char sound[256];
    std::snprintf(sound, sizeof sound,
                  "audiotestsrc num-buffers=%d samplesperbuffer=441 %s ! audio/x-raw,rate=44100,channels=2 "
                  "! audioconvert ! %s ! mux.",
                  kFrames * 4, format.audioSourceOptions, format.audioEncoder);
    char description[1024];
    std::snprintf(description, sizeof description,
                  "appsrc name=frames format=time caps=video/x-raw,format=BGRx,width=%d,height=%d,framerate=%d/1 "
                  "! videoconvert ! %s ! %s name=mux ! filesink location=%s %s",
                  kWidth, kHeight, kFps, format.videoEncoder, format.muxer, path.c_str(), sound);
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description, &error);
    if (!pipeline) {
        if (error) g_error_free(error);
        return false;
    }
    GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline), "frames");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    for (int n = 0; n < kFrames; ++n) {
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, kWidth * kHeight * 4, nullptr);
        GstMapInfo map;
        gst_buffer_map(buffer, &map, GST_MAP_WRITE);
        uint8_t r, g, b;
        frameColour(n, &r, &g, &b);
        for (int i = 0; i < kWidth * kHeight; ++i) {
            map.data[i * 4 + 0] = b;
            map.data[i * 4 + 1] = g;
            map.data[i * 4 + 2] = r;
            map.data[i * 4 + 3] = 255;
        }
        gst_buffer_unmap(buffer, &map);
        GST_BUFFER_PTS(buffer) = GstClockTime(n) * GST_SECOND / kFps;
        GST_BUFFER_DURATION(buffer) = GST_SECOND / kFps;
        gst_app_src_push_buffer(GST_APP_SRC(source), buffer);
    }
    gst_app_src_end_of_stream(GST_APP_SRC(source));
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message =
        gst_bus_timed_pop_filtered(bus, 30 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    bool ok = message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
    if (message) gst_message_unref(message);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(source);
    gst_object_unref(pipeline);
    return ok;
}

std::string clipPath(const Format& format) {
    std::string path = clipDirectory() + "/clip." + format.extension;
    if (access(path.c_str(), R_OK) != 0) {
        gst_init(nullptr, nullptr);
        EXPECT_TRUE(makeClip(format, path)) << path;
    }
    return path;
}

// Each byte to the wide character of the same value, as the program widens.
std::wstring widen(const std::string& text) {
    std::wstring wide;
    for (char c : text) wide += wchar_t(static_cast<unsigned char>(c));
    return wide;
}

// The interfaces the program takes from one graph.
struct Graph {
    IGraphBuilder* builder = nullptr;
    IMediaControl* control = nullptr;
    IMediaEvent* event = nullptr;
    IMediaSeeking* seeking = nullptr;
    IBasicAudio* audio = nullptr;
    IVideoWindow* window = nullptr;
    HWND owner;

    explicit Graph(uintptr_t ownerValue) : owner(reinterpret_cast<HWND>(ownerValue)) {
        EXPECT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                         reinterpret_cast<void**>(&builder)));
        builder->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control));
        builder->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&event));
        builder->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking));
        builder->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&audio));
        builder->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(&window));
    }
    ~Graph() {
        control->Stop();
        control->Release();
        event->Release();
        seeking->Release();
        audio->Release();
        window->Release();
        builder->Release();
    }

    // The program's tear-down loop.
    int emptyGraph() {
        int removed = 0;
        IEnumFilters* filters = nullptr;
        if (FAILED(builder->EnumFilters(&filters))) return -1;
        IBaseFilter* filter = nullptr;
        while (filters->Next(1, &filter, nullptr) == S_OK) {
            builder->RemoveFilter(filter);
            filters->Reset();
            filter->Release();
            ++removed;
        }
        filters->Release();
        return removed;
    }

    // The program's load: tear down, render, place the video, rewind, show.
    HRESULT load(const std::string& path) {
        control->Stop();
        emptyGraph();
        std::wstring wide = widen(path);
        HRESULT hr = builder->RenderFile(wide.c_str(), nullptr);
        if (FAILED(hr)) return hr;
        EXPECT_EQ(S_OK, window->put_Owner(reinterpret_cast<OAHWND>(owner)));
        EXPECT_EQ(S_OK, window->put_WindowStyle(WS_CHILD));
        EXPECT_EQ(S_OK, window->SetWindowPosition(80, 16, 640, 480));
        seek(0);
        EXPECT_EQ(S_OK, window->put_Visible(OATRUE));
        return hr;
    }

    void seek(LONGLONG position) {
        EXPECT_EQ(S_OK, seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                              AM_SEEKING_NoPositioning));
    }

    LONGLONG position() {
        LONGLONG now = -1;
        EXPECT_EQ(S_OK, seeking->GetCurrentPosition(&now));
        return now;
    }

    bool completed() {
        LONG code = 0;
        HRESULT hr = event->WaitForCompletion(0, &code);
        if (code != EC_COMPLETE) {
            EXPECT_EQ(E_ABORT, hr);
        }
        return code == EC_COMPLETE;
    }

    // Polls as the program does, once per 15 ms; false on time-out.
    bool waitForCompletion(int timeoutMs) {
        Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < end) {
            if (completed()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
        }
        return false;
    }
};

struct Seen {
    int visibleCount = 0;
    int frameWidth = 0, frameHeight = 0;
    int left = 0, top = 0, width = 0, height = 0;
    uint64_t serial = 0;
    int r = 0, g = 0, b = 0;
};

Seen look(HWND owner) {
    Seen seen;
    fwlayer::childVideoForEachVisible(
        owner,
        [](const fwlayer::ChildVideoView& view, void* user) {
            Seen& s = *static_cast<Seen*>(user);
            ++s.visibleCount;
            s.left = view.left;
            s.top = view.top;
            s.width = view.width;
            s.height = view.height;
            s.frameWidth = view.frameWidth;
            s.frameHeight = view.frameHeight;
            s.serial = view.frameSerial;
            if (view.frameBgra) {
                const uint8_t* centre =
                    view.frameBgra + view.frameStride * (view.frameHeight / 2) + 4 * (view.frameWidth / 2);
                s.b = centre[0];
                s.g = centre[1];
                s.r = centre[2];
            }
        },
        &seen);
    return seen;
}

// Waits until the shown frame is frame `wanted` (within one frame); returns the frame
// number last seen, or -1 when nothing was shown.
int waitForFrameNumber(HWND owner, int wanted, int timeoutMs = 3000) {
    Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int last = -1;
    for (;;) {
        Seen seen = look(owner);
        if (seen.frameWidth > 0) last = frameNumberOf(seen.r, seen.g);
        if (last >= 0 && std::abs(last - wanted) <= 1) return last;
        if (Clock::now() >= end) return last;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

class GstFormatTest : public ::testing::TestWithParam<Format> {};

// Everything the program does with one clip, in the order it does it.
TEST_P(GstFormatTest, PlaysSeeksAndRewindsLikeTheProgramUsesIt) {
    const Format& format = GetParam();
    Graph graph(0x7100);
    ASSERT_LE(0, graph.load(clipPath(format)));

    LONGLONG duration = 0;
    ASSERT_EQ(S_OK, graph.seeking->GetDuration(&duration));
    EXPECT_NEAR(double(kClipUnits), double(duration), double(format.durationSlackFrames * kFrameUnits))
        << format.extension;
    EXPECT_NEAR(0.0, double(graph.position()), double(kFrameUnits) / 2) << "start offset hidden";
    EXPECT_EQ(S_OK, graph.audio->put_Volume(-2000)) << "the sound was rendered";

    // Loaded and stopped: black until cued; cueing shows the first frame.
    Seen loaded = look(graph.owner);
    EXPECT_EQ(1, loaded.visibleCount);
    EXPECT_EQ(0, loaded.frameWidth);
    EXPECT_EQ(80, loaded.left);
    EXPECT_EQ(480, loaded.height);
    graph.control->StopWhenReady();
    EXPECT_EQ(0, waitForFrameNumber(graph.owner, 0));
    EXPECT_EQ(kWidth, look(graph.owner).frameWidth);

    // The seek drag: Stop, SetPositions, StopWhenReady shows that exact frame, also
    // one between key frames.
    for (int wanted : {17, 6, 23}) {
        graph.control->Stop();
        graph.seek(wanted * kFrameUnits + kFrameUnits / 2);
        graph.control->StopWhenReady();
        EXPECT_EQ(wanted, waitForFrameNumber(graph.owner, wanted)) << format.extension;
        EXPECT_NEAR(double(wanted * kFrameUnits + kFrameUnits / 2), double(graph.position()), double(kFrameUnits));
    }

    // Play from frame 23 to the end, at once and in real time: complete once, then
    // not again.
    Clock::time_point started = Clock::now();
    graph.control->Run();
    ASSERT_TRUE(graph.waitForCompletion(4000)) << format.extension;
    // (A seek that started early and kept its time would first wait 1.5 s.)
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - started).count(), 1.5);
    EXPECT_FALSE(graph.completed());
    EXPECT_EQ(kFrames - 1, waitForFrameNumber(graph.owner, kFrames - 1));
    EXPECT_NEAR(double(duration), double(graph.position()), double(2 * kFrameUnits));

    // The rewind of a repeating clip: seek while running, the clip plays again
    // from its start, in real time, and completes again.
    Clock::time_point rewound = Clock::now();
    graph.seek(0);
    EXPECT_LT(graph.position(), 5 * kFrameUnits);
    ASSERT_TRUE(graph.waitForCompletion(4000)) << format.extension;
    double seconds = std::chrono::duration<double>(Clock::now() - rewound).count();
    EXPECT_GT(seconds, 0.8 * kFrames / kFps);
    EXPECT_LT(seconds, 4.0);

    // Ended and not rewound: cueing keeps the last frame.
    graph.control->StopWhenReady();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(kFrames - 1, waitForFrameNumber(graph.owner, kFrames - 1));
    EXPECT_FALSE(graph.completed());
}

INSTANTIATE_TEST_SUITE_P(Formats, GstFormatTest, ::testing::ValuesIn(kFormats),
                         [](const ::testing::TestParamInfo<Format>& info) { return info.param.extension; });

TEST(GstGraph, CreatesOnlyTheFilterGraphWithoutAggregation) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(IID_IMediaControl, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, &object));
    EXPECT_EQ(nullptr, object);
    Graph outer(0x7200);
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              CoCreateInstance(CLSID_FilterGraph, outer.builder, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, &object));
    EXPECT_EQ(E_NOINTERFACE,
              CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, &object));
    EXPECT_EQ(nullptr, object);
}

TEST(GstGraph, ViewsShareOneIdentityAndOneCount) {
    IGraphBuilder* builder = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                     reinterpret_cast<void**>(&builder)));
    const IID* views[] = {&IID_IMediaControl, &IID_IMediaEvent, &IID_IMediaSeeking,
                          &IID_IBasicAudio,   &IID_IVideoWindow, &IID_IGraphBuilder};
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, builder->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    for (const IID* iid : views) {
        IUnknown* view = nullptr;
        ASSERT_EQ(S_OK, builder->QueryInterface(*iid, reinterpret_cast<void**>(&view)));
        IUnknown* back = nullptr;
        ASSERT_EQ(S_OK, view->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&back)));
        EXPECT_EQ(identity, back);
        back->Release();
        view->Release();
    }
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, builder->QueryInterface(IID_IBaseFilter, &none));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(3u, builder->AddRef());
    EXPECT_EQ(2u, builder->Release());
    EXPECT_EQ(1u, identity->Release());
    EXPECT_EQ(0u, builder->Release());
}

TEST(GstGraph, EmptyGraphAnswersWithoutClip) {
    Graph graph(0x7300);
    EXPECT_EQ(0, graph.emptyGraph());
    EXPECT_EQ(S_OK, graph.control->Stop());
    EXPECT_EQ(VFW_E_NOT_CONNECTED, graph.control->Run());
    EXPECT_EQ(VFW_E_NOT_CONNECTED, graph.control->Pause());
    EXPECT_EQ(VFW_E_NOT_CONNECTED, graph.control->StopWhenReady());
    LONGLONG value = 0;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, graph.seeking->GetDuration(&value));
    EXPECT_EQ(VFW_E_NOT_CONNECTED, graph.seeking->GetCurrentPosition(&value));
    EXPECT_EQ(VFW_E_NOT_CONNECTED, graph.window->put_Visible(OATRUE));
    EXPECT_EQ(VFW_E_NOT_CONNECTED, graph.audio->put_Volume(0));
    LONG code = 7;
    EXPECT_EQ(E_ABORT, graph.event->WaitForCompletion(0, &code));
    EXPECT_EQ(0, code);
    EXPECT_EQ(0, look(graph.owner).visibleCount);
}

TEST(GstGraph, VolumeRangeIsHundredthsOfDecibelsDownToMinus10000) {
    Graph graph(0x7400);
    ASSERT_LE(0, graph.load(clipPath(kFormats[1])));
    struct Case {
        LONG volume;
        HRESULT expected;
    } cases[] = {{0, S_OK}, {-1, S_OK}, {-5000, S_OK}, {-10000, S_OK}, {1, E_INVALIDARG}, {-10001, E_INVALIDARG}};
    for (const Case& c : cases) EXPECT_EQ(c.expected, graph.audio->put_Volume(c.volume)) << c.volume;
}

TEST(GstGraph, UnplayableFilesFailQuickly) {
    std::string directory = clipDirectory();
    std::string corrupt = directory + "/corrupt.mpg";
    {
        std::ofstream out(corrupt, std::ios::binary);
        for (int i = 0; i < 20000; ++i) out.put(char((i * 7919) >> 3));
    }
    std::string truncated = directory + "/truncated.mp4";
    {
        std::ifstream in(clipPath(kFormats[2]), std::ios::binary);
        std::string head(300, '\0');
        in.read(&head[0], long(head.size()));
        std::ofstream out(truncated, std::ios::binary);
        out.write(head.data(), long(head.size()));
    }
    const std::string paths[] = {directory + "/missing.avi", corrupt, truncated, directory};
    for (const std::string& path : paths) {
        Graph graph(0x7500);
        Clock::time_point start = Clock::now();
        HRESULT hr = graph.load(path);
        EXPECT_LT(hr, 0) << path;
        EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 5.0) << path;
        EXPECT_EQ(0, graph.emptyGraph()) << path;
    }
    Graph graph(0x7500);
    EXPECT_EQ(VFW_E_NOT_FOUND, graph.load(directory + "/missing.avi"));
}

TEST(GstGraph, TearDownEmptiesTheGraphAndTheNextLoadStartsBlack) {
    Graph graph(0x7600);
    ASSERT_LE(0, graph.load(clipPath(kFormats[0])));
    graph.control->Run();
    EXPECT_LE(0, waitForFrameNumber(graph.owner, 3));
    EXPECT_EQ(6, graph.emptyGraph());  // source, splitter, and a decoder and renderer per stream
    EXPECT_EQ(0, graph.emptyGraph());
    EXPECT_EQ(0, look(graph.owner).visibleCount);
    LONGLONG value = 0;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, graph.seeking->GetDuration(&value));

    ASSERT_LE(0, graph.load(clipPath(kFormats[0])));
    Seen fresh = look(graph.owner);
    EXPECT_EQ(1, fresh.visibleCount);
    EXPECT_EQ(0, fresh.frameWidth);
    graph.window->put_Visible(OAFALSE);
    graph.control->StopWhenReady();
    EXPECT_EQ(0, look(graph.owner).visibleCount);
    graph.window->put_Visible(OATRUE);
    EXPECT_EQ(0, waitForFrameNumber(graph.owner, 0));
}

TEST(GstGraph, FindsNamesGivenInUtf32OrWidenedFromCodePage932) {
    std::string directory = clipDirectory();
    // "動画.avi", stored under its UTF-8 name.
    std::string stored = directory + "/\xe5\x8b\x95\xe7\x94\xbb.avi";
    {
        std::ifstream in(clipPath(kFormats[1]), std::ios::binary);
        std::ofstream out(stored, std::ios::binary);
        out << in.rdbuf();
    }
    Graph graph(0x7800);
    std::wstring utf32 = widen(directory) + L"/\u52d5\u753b.avi";
    EXPECT_LE(0, graph.builder->RenderFile(utf32.c_str(), nullptr));
    // The program widens its Shift-JIS bytes one by one.
    std::wstring widened = widen(directory + "/\x93\xae\x89\xe6.avi");
    EXPECT_LE(0, graph.builder->RenderFile(widened.c_str(), nullptr));
    std::wstring wrong = widen(directory + "/\x93\xae.avi");
    EXPECT_EQ(VFW_E_NOT_FOUND, graph.builder->RenderFile(wrong.c_str(), nullptr));
}

long residentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, 6, "VmRSS:") == 0) return std::stol(line.substr(6));
    return 0;
}

TEST(GstGraph, ManyLoadsDoNotLeak) {
    Graph graph(0x7700);
    std::string path = clipPath(kFormats[1]);
    long settled = 0;
    Clock::time_point start = Clock::now();
    for (int i = 0; i < 100; ++i) {
        ASSERT_LE(0, graph.load(path));
        if (i == 19) settled = residentKilobytes();
    }
    double perLoad = std::chrono::duration<double>(Clock::now() - start).count() / 100;
    long grown = residentKilobytes() - settled;
    std::printf("load: %.1f ms each; resident growth over 80 loads: %ld kB\n", perLoad * 1000, grown);
    EXPECT_LT(grown, 8 * 1024);
}

}  // namespace
