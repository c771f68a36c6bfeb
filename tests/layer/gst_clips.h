// What the GStreamer layer tests share: clips made by the tests, each picture one
// flat colour that tells its own frame number, kept in the test's working folder
// (the build's) for later runs; the program's graph with one item of one clip; and
// reading back the picture its child video shows.
#pragma once

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "movie/movie.h"
#include "platform/common/layer.h"

namespace gstclips {

constexpr int kWidth = 160, kHeight = 128, kFps = 25;
constexpr LONGLONG kFrameUnits = 10000000 / kFps;

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Frame n: red steps with n % 8, green with n / 8 % 8, blue with n / 64, 32 apart.
inline int colourLevel(int n) { return 16 + 32 * n; }
inline int levelOf(int value) { return int(std::lround((value - 16) / 32.0)); }
inline int frameNumberOf(int r, int g, int b) { return levelOf(r) + 8 * levelOf(g) + 64 * levelOf(b); }

// How one container's clips are made: the video encoder's settings take the key
// frame spacing (in frames) for each %d.
enum class Maker { Gstreamer, Ffmpeg };
struct Recipe {
    const char* name;
    const char* extension;
    Maker maker;
    const char* videoEncoder;  // element or ffmpeg options, %d the key frame spacing
    const char* muxer;         // element or ffmpeg format
    const char* audioEncoder;  // element or ffmpeg codec
    int audioRate;
    const char* audioSourceOptions;  // GStreamer's only
};

inline void PrintTo(const Recipe& recipe, std::ostream* out) { *out << recipe.name; }

// One recipe per container the player is tested on, with B-frames where the codec
// has them and no key frames but the spaced ones. The MPEG program streams are
// made as ffmpeg writes them, which times the first picture about 0.5 s in
// (GStreamer's MPEG-2 encoders give B-frames no time stamps of their own).
// Groups of pictures are closed where B-frames may follow a key frame: AVI keeps
// no presentation times, and in MPEG streams GStreamer's parser and decoder time
// the pictures around an open group's edge by guess (decodesOnTime).
inline const Recipe kRecipes[] = {
    {"mpg1", "mpg", Maker::Ffmpeg, "-c:v mpeg1video -g %d -bf 2 -flags +cgop -sc_threshold 1000000000 -b:v 1M", "mpeg",
     "mp2", 44100, ""},
    {"mpg2", "mpg", Maker::Ffmpeg, "-c:v mpeg2video -g %d -bf 2 -flags +cgop -sc_threshold 1000000000 -b:v 1M", "vob",
     "ac3", 48000, ""},
    {"avi", "avi", Maker::Ffmpeg, "-c:v mpeg4 -g %d -bf 2 -flags +cgop -sc_threshold 1000000000 -b:v 1M", "avi",
     "libmp3lame", 44100, ""},
    {"mp4", "mp4", Maker::Gstreamer,
     "x264enc key-int-max=%d bframes=2 b-adapt=false option-string=scenecut=0:min-keyint=%d", "mp4mux", "avenc_aac",
     44100, ""},
    // The libav video encoders time their output from 1000 hours on: the sound too.
    {"wmv", "wmv", Maker::Gstreamer, "avenc_wmv2 gop-size=%d sc-threshold=1000000000 bitrate=1000000", "asfmux",
     "avenc_wmav2", 44100, "timestamp-offset=3600000000000000"},
    // (GStreamer's own Ogg multiplexer leaves out the last pictures of a clip with sound.)
    {"ogv", "ogv", Maker::Ffmpeg, "-c:v libtheora -g %d -q:v 7", "ogg", "libvorbis", 44100, ""},
};

inline bool runToEnd(const std::string& description) {
    GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
    if (!pipeline) return false;
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message =
        gst_bus_timed_pop_filtered(bus, 60 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    bool ok = message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
    if (message) gst_message_unref(message);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return ok;
}

inline bool encode(const Recipe& recipe, const std::string& raw, int frames, int keySpacing, const std::string& path) {
    char encoder[256], line[1024];
    std::snprintf(encoder, sizeof encoder, recipe.videoEncoder, keySpacing, keySpacing);
    if (recipe.maker == Maker::Ffmpeg) {
        std::snprintf(line, sizeof line,
                      "ffmpeg -v error -nostdin -y -f rawvideo -pix_fmt bgr0 -s %dx%d -r %d -i %s -f lavfi "
                      "-i sine=sample_rate=%d:duration=%g %s -c:a %s -f %s %s",
                      kWidth, kHeight, kFps, raw.c_str(), recipe.audioRate, double(frames) / kFps, encoder,
                      recipe.audioEncoder, recipe.muxer, path.c_str());
        return std::system(line) == 0;
    }
    std::snprintf(line, sizeof line,
                  "filesrc location=%s ! rawvideoparse format=bgrx width=%d height=%d framerate=%d/1 "
                  "! videoconvert ! video/x-raw,format=I420 ! %s ! %s name=mux ! filesink location=%s "
                  "audiotestsrc num-buffers=%d samplesperbuffer=%d %s ! audio/x-raw,rate=%d,channels=2 "
                  "! audioconvert ! %s ! mux.",
                  raw.c_str(), kWidth, kHeight, kFps, encoder, recipe.muxer, path.c_str(), frames * 100 / kFps,
                  recipe.audioRate / 100, recipe.audioSourceOptions, recipe.audioRate, recipe.audioEncoder);
    return runToEnd(line);
}

// Whether decoding the clip from its start gives frame n a time stamp n frames
// after the first one's, for every n: the pictures' times as GStreamer reads them.
// (An MPEG picture whose time stamp the multiplexer left out leaves GStreamer's
// parser and decoder with a guess, now and then a frame off; such a clip cannot
// tell whether a seek showed the right picture.)
inline bool decodesOnTime(const std::string& path, int frames) {
    std::string description = "filesrc location=" + path +
                              " ! decodebin ! videoconvert ! video/x-raw,format=BGRx ! appsink name=out sync=false";
    GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
    if (!pipeline) return false;
    GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    int n = 0;
    GstClockTime first = GST_CLOCK_TIME_NONE;
    for (GstSample* sample; (sample = gst_app_sink_pull_sample(GST_APP_SINK(out))); ++n) {
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        GstVideoInfo info;
        bool onTime =
            gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) && gst_buffer_map(buffer, &map, GST_MAP_READ);
        if (onTime) {
            const uint8_t* centre = map.data + info.stride[0] * (info.height / 2) + 4 * (info.width / 2);
            if (n == 0) first = GST_BUFFER_PTS(buffer);
            GstClockTimeDiff error = GST_CLOCK_DIFF(first + n * (GST_SECOND / kFps), GST_BUFFER_PTS(buffer));
            onTime = frameNumberOf(centre[2], centre[1], centre[0]) == n && std::abs(error) <= GST_MSECOND;
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
        if (!onTime) break;
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(out);
    gst_object_unref(pipeline);
    return n == frames;
}

// frames pictures at kFps with as long a sound, key frames keySpacing pictures apart.
// The frame number's colour fills the middle; around it stands a still grey noise
// that makes a picture coded on its own cost more than one coded from the last,
// so that encoders keep to the key frame spacing.
inline bool makeClip(const Recipe& recipe, int frames, int keySpacing, const std::string& path) {
    std::string pictures, raw = path + ".bgrx";
    for (int n = 0; n < frames; ++n) {
        uint32_t noise = 1;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                noise = noise * 1103515245u + 12345u;
                char grey = char(noise >> 24);
                if (std::abs(x - kWidth / 2) < kWidth / 5 && std::abs(y - kHeight / 2) < kHeight / 4)
                    pictures += {char(colourLevel(n / 64)), char(colourLevel(n / 8 % 8)), char(colourLevel(n % 8)), 0};
                else pictures += {grey, grey, grey, 0};
            }
    }
    std::ofstream(raw, std::ios::binary) << pictures;
    bool ok = encode(recipe, raw, frames, keySpacing, path);
    std::remove(raw.c_str());
    return ok && decodesOnTime(path, frames);
}

// Made once under a name that says how, then kept.
inline std::string clipPath(const Recipe& recipe, int frames, int keySpacing) {
    std::string path = "gst_test_" + std::string(recipe.name) + "_" + std::to_string(frames) + "f_key" +
                       std::to_string(keySpacing) + "." + recipe.extension;
    if (access(path.c_str(), R_OK) != 0) {
        gst_init(nullptr, nullptr);
        std::string partial = path + ".part" + std::to_string(getpid());
        EXPECT_TRUE(makeClip(recipe, frames, keySpacing, partial) && std::rename(partial.c_str(), path.c_str()) == 0)
            << path << " could not be made, or decodes with pictures off their time";
        std::remove(partial.c_str());
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

    LONGLONG position() {
        LONGLONG now = -1;
        EXPECT_EQ(S_OK, seeking->GetCurrentPosition(&now));
        return now;
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

inline Seen look(HWND owner) {
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
            seen.frame = frameNumberOf(centre[2], centre[1], centre[0]);
        },
        &seen);
    return seen;
}

// Waits until frame `wanted` (within `within`) is shown; returns the frame last seen.
inline int waitForFrame(HWND owner, int wanted, int within = 1, double timeoutSeconds = 3.0) {
    int last = -1;
    for (Clock::time_point start = Clock::now(); secondsSince(start) < timeoutSeconds;) {
        last = look(owner).frame;
        if (last >= 0 && std::abs(last - wanted) <= within) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return last;
}

}  // namespace gstclips
