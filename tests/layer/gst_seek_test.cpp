// Lengths, the seek knob and seek drags on GStreamer, to the frame: every container
// with key frames close together and far apart (MPEG program streams among them,
// whose first picture is timed later than 0), and clips whose timing is broken.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "gfx/layout.h"
#include "gst_clips.h"

namespace {

using namespace gstclips;

constexpr int kFrames = 150;  // 6 s
constexpr LONGLONG kLength = kFrames * kFrameUnits;

struct Case {
    const Recipe* recipe;
    int keySpacing;  // frames
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.recipe->name << " key " << c.keySpacing; }

const Recipe& recipeNamed(const char* name) {
    for (const Recipe& recipe : kRecipes)
        if (std::strcmp(recipe.name, name) == 0) return recipe;
    std::abort();
}

// ffmpeg's MPEG-1 as it comes, with open groups of pictures: the first pictures
// decoded after a seek have guessed time stamps, some pictures early.
const Recipe kOpenGroupsMpeg1 = {
    "mpg1open", "mpg", Maker::Ffmpeg, "-c:v mpeg1video -g %d -bf 2 -sc_threshold 1000000000 -b:v 1M",
    "mpeg",     "mp2", 44100,         ""};

// Key frames 0.2 s apart, and 2 to 5 s apart.
const Case kCases[] = {
    {&recipeNamed("mpg1"), 5},  {&recipeNamed("mpg1"), 100}, {&kOpenGroupsMpeg1, 100}, {&recipeNamed("mpg2"), 5},
    {&recipeNamed("mpg2"), 50}, {&recipeNamed("mpg2"), 125}, {&recipeNamed("avi"), 5}, {&recipeNamed("avi"), 75},
    {&recipeNamed("mp4"), 5},   {&recipeNamed("mp4"), 125},  {&recipeNamed("wmv"), 5}, {&recipeNamed("wmv"), 100},
    {&recipeNamed("ogv"), 5},   {&recipeNamed("ogv"), 125},
};

// The seek knob's column on the bar for position of duration, as the main screen
// draws it.
int knobColumn(LONGLONG position, LONGLONG duration) {
    double fraction = duration > 0 ? double(position) / double(duration) : 0.0;
    fraction = fraction < 0 ? 0 : fraction > 1 ? 1 : fraction;
    return int(fraction * kSliderSpan);
}

// How far (in columns) the knob for position stands from where the frame shown
// says on a bar of length: frame n covers n to n + 1 frames, the last one until
// the longest stream (the sound) ends too.
int knobError(LONGLONG position, LONGLONG duration, int frame, LONGLONG length) {
    int column = knobColumn(position, duration);
    int first = knobColumn(frame * kFrameUnits, length);
    int last = frame == kFrames - 1 ? kSliderSpan : knobColumn((frame + 1) * kFrameUnits, length);
    return column < first ? first - column : column > last ? column - last : 0;
}

// Runs the graph until the clip's end is noticed, calling watch between polls;
// false when it is not noticed within timeoutSeconds.
template <typename Watch>
bool runToEnd(Graph& graph, double timeoutSeconds, Watch watch) {
    graph.control->Run();
    for (Clock::time_point start = Clock::now(); secondsSince(start) < timeoutSeconds;
         std::this_thread::sleep_for(std::chrono::milliseconds(3))) {
        LONG code = 0;
        HRESULT hr = graph.event->WaitForCompletion(0, &code);
        if (code == EC_COMPLETE) return true;
        EXPECT_EQ(E_ABORT, hr) << "the clip failed instead of ending";
        watch();
    }
    return false;
}

// The worst knob errors while playing to the end, on a bar of the clip's reported
// duration and of the length it was made with; and how many of the samples stood
// more than a column off on the first. (On a loaded machine a frame can reach the
// screen a frame late now and then while the position runs on: a knob that runs
// ahead does so in every sample.)
struct KnobErrors {
    int onDuration = 0, onMadeLength = 0;
    int samples = 0, offTheFrame = 0;
};

KnobErrors playToEndWatchingKnob(Graph& graph) {
    KnobErrors worst;
    EXPECT_TRUE(runToEnd(graph, 5, [&] {
        int before = look(graph.owner).frame;
        LONGLONG position = graph.position();
        if (before < 0 || look(graph.owner).frame != before) return;
        int error = knobError(position, graph.duration, before, graph.duration);
        ++worst.samples;
        worst.offTheFrame += error > 1;
        worst.onDuration = std::max(worst.onDuration, error);
        worst.onMadeLength = std::max(worst.onMadeLength, knobError(position, graph.duration, before, kLength));
    }));
    return worst;
}

class GstSeekTest : public ::testing::TestWithParam<Case> {};

TEST_P(GstSeekTest, LengthKnobAndSeekDragsAreExact) {
    const Case& c = GetParam();
    Graph graph;
    ASSERT_EQ(1, graph.load(clipPath(*c.recipe, kFrames, c.keySpacing)));
    EXPECT_NEAR(double(kLength), double(graph.duration), double(kFrameUnits));

    // Drags to frames just before and after key frames, between them, near the end.
    std::string missed;  // "asked>shown" for each drag that showed another frame
    for (int wanted : {37, 99, 124, 62, 146, 3, 51}) {
        graph.control->Stop();
        graph.seek(wanted * kFrameUnits);
        graph.control->StopWhenReady();
        int shown = waitForFrame(graph.owner, wanted, 0, 2.0);
        EXPECT_EQ(wanted, shown) << "seek";
        if (shown != wanted) missed += " " + std::to_string(wanted) + ">" + std::to_string(shown);
        EXPECT_EQ(knobColumn(wanted * kFrameUnits, graph.duration), knobColumn(graph.position(), graph.duration));
    }

    // The last second played: the knob follows the frames and ends at the bar's end.
    graph.control->Stop();
    graph.seek(125 * kFrameUnits);
    graph.control->StopWhenReady();
    waitForFrame(graph.owner, 125, 0, 2.0);
    KnobErrors worstKnob = playToEndWatchingKnob(graph);
    EXPECT_LE(worstKnob.offTheFrame * 10, worstKnob.samples) << "the knob off the frame shown by more than a column";
    EXPECT_LE(worstKnob.onDuration, 3) << "the knob more than a frame off the frame shown";
    EXPECT_EQ(kSliderSpan, knobColumn(graph.position(), graph.duration));
    EXPECT_EQ(kFrames - 1, look(graph.owner).frame);

    if (std::getenv("FW_SEEK_REPORT"))
        std::printf("| %s | %.1f s | %+.0f ms |%s | %d (%d; %d of %d off) columns |\n", c.recipe->name,
                    c.keySpacing / double(kFps), (graph.duration - kLength) / 1e4,
                    missed.empty() ? " none" : missed.c_str(), worstKnob.onMadeLength, worstKnob.onDuration,
                    worstKnob.offTheFrame, worstKnob.samples);
}

INSTANTIATE_TEST_SUITE_P(Containers, GstSeekTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.recipe->name) + "_key" +
                                    std::to_string(info.param.keySpacing);
                         });

// Broken files: a program stream cut before its first key frame, two joined end
// to end (the time stamps jump back), one joined to a copy timed a minute later
// (they jump ahead), and a bare MPEG-2 video stream, whose length nothing in the
// file tells. Each loads, its knob stays on the bar through seeks and playing,
// and its end is noticed.
const Recipe kMinuteLaterMpeg2 = {
    "mpg2late",    "mpg",
    Maker::Ffmpeg, "-c:v mpeg2video -g %d -bf 2 -flags +cgop -sc_threshold 1000000000 -b:v 1M -output_ts_offset 60",
    "vob",         "ac3",
    48000,         ""};
const Recipe kBareMpeg2 = {
    "m2v",        "m2v", Maker::Ffmpeg, "-an -c:v mpeg2video -g %d -bf 2 -flags +cgop -sc_threshold 1000000000 -b:v 1M",
    "mpeg2video", "mp2", 48000,         ""};

std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string brokenFile(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
    return name;
}

TEST(GstSeekBadInput, KnobStaysOnTheBarSeeksSettleAndTheEndIsNoticed) {
    std::string mpeg2 = bytesOf(clipPath(recipeNamed("mpg2"), kFrames, 50));
    std::string later = bytesOf(clipPath(kMinuteLaterMpeg2, kFrames, 50));
    std::string bare = clipPath(kBareMpeg2, kFrames, 50);
    for (const std::string& path :
         {brokenFile("gst_test_headless.mpg", mpeg2.substr(mpeg2.size() * 3 / 10)),
          brokenFile("gst_test_joined.mpg", mpeg2 + mpeg2), brokenFile("gst_test_jumping.mpg", mpeg2 + later), bare}) {
        Graph graph;
        ASSERT_EQ(1, graph.load(path)) << path;
        EXPECT_GT(graph.duration, 0) << path;
        int outside = 0;
        auto knobOnBar = [&] {
            LONGLONG position = graph.position();
            outside += position < 0 || position > graph.duration;
        };
        for (double fraction : {0.9, 0.1, 0.5, 0.95}) {
            graph.control->Stop();
            graph.seek(LONGLONG(graph.duration * fraction));
            graph.control->StopWhenReady();
            for (Clock::time_point start = Clock::now(); secondsSince(start) < 0.2;) knobOnBar();
        }
        Clock::time_point run = Clock::now();
        EXPECT_TRUE(runToEnd(graph, 20, knobOnBar)) << path;
        if (std::getenv("FW_SEEK_REPORT"))
            std::printf("| %s | %.3f s | end after %.1f s |\n", path.c_str(), graph.duration / 1e7, secondsSince(run));
        knobOnBar();
        EXPECT_EQ(0, outside) << path;
        if (path == bare) {
            EXPECT_NEAR(double(kLength), double(graph.duration), double(kFrameUnits)) << path;
        }
    }
}

}  // namespace
