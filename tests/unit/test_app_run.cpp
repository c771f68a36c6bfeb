// The application's life: start-up and its failures, the paced main loop and the
// frame, shutdown and the destructor's second pass, driven through the recording
// platform with its virtual clock.
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/messages.h"
#include "app/player_app.h"
#include "unit/test_support.h"

namespace {

using fwrecord::calls;
using fwrecord::postMessage;
using fwrecord::win32;

std::string int32LE(int32_t value) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((static_cast<uint32_t>(value) >> (8 * i)) & 0xFF);
    return out;
}

// A raw picture; the recorder does not look at its content, so tiny ones do.
std::string picture(int32_t width, int32_t height) {
    return "TEYL" + int32LE(width) + int32LE(height) + std::string(static_cast<size_t>(width * height * 4), '\x7F');
}

// The first word of every call line that marks a start-up step, in order.
std::string landmarks() {
    static const std::set<std::string> kSteps = {
        "CoInitialize", "RegisterClassA", "CreateWindowExA", "SetWindowLongPtrA", "Direct3DCreate9", "CreateDevice",
        "CoCreateInstance", "CreateTexture", "RenderFile", "Run", "MessageBoxA", "BeginScene"};
    std::string out;
    for (const std::string& line : calls()) {
        std::string word = line.substr(0, line.find(' '));
        if (!kSteps.count(word)) continue;
        if (!out.empty()) out += " ";
        out += word;
    }
    return out;
}

size_t countCalls(const std::string& line) {
    size_t count = 0;
    for (const std::string& call : calls()) count += call == line;
    return count;
}

size_t indexOf(const std::string& line, size_t from = 0) {
    for (size_t i = from; i < calls().size(); ++i)
        if (calls()[i] == line) return i;
    return calls().size();
}

// Posts a move to (x, y) and a click there.
void postClick(int x, int y) {
    postMessage(WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    postMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    postMessage(WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

const char kPlayTable[] = "SingleItem \"a.mpg\" 0\nSingleItem \"b.mpg\" 0\nEnd\n";
const std::string kSuccessfulStart =
    "CoInitialize RegisterClassA CreateWindowExA SetWindowLongPtrA Direct3DCreate9 CreateDevice CoCreateInstance "
    "CreateTexture CreateTexture CreateTexture CreateTexture RenderFile";

class AppTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        writeGallery();
    }
    void TearDown() override {
        app.reset();
        TempFolderTest::TearDown();
    }

    // The smallest gallery that starts: four pictures and two tables.
    static void writeGallery() {
        writeFile("Bmp/MainBG.bmp", picture(2, 2));
        writeFile("Bmp/ThumbnailBG1.bmp", picture(1, 1));
        writeFile("Bmp/ThumbnailBG2.bmp", picture(1, 1));
        writeFile("Bmp/Thumbnail.bmp", picture(2, 1));
        writeFile("Data/PlayTable.txt", kPlayTable);
        writeFile("Data/ThumbnailTable.txt", "2\n0 0\n1 0\n");
    }

    // Runs the main loop; atFrame(n) runs as frame n (from 1) begins, at its
    // BeginScene, and the quit message is posted there in frame quitFrame;
    // atLine sees every other call.
    void runFrames(int quitFrame, std::function<void(int frame)> atFrame = nullptr,
                   std::function<void(const std::string&)> atLine = nullptr) {
        app.reset(new PlayerApp);
        fwrecord::onCall = [=](const std::string& line) {
            if (line != "BeginScene") {
                if (atLine) atLine(line);
                return;
            }
            frameStarts.push_back(win32().clock);
            queueAtFrameStart.push_back(win32().queue.size());
            frameLines.push_back(calls().size() - 1);
            int frame = static_cast<int>(frameStarts.size());
            if (atFrame) atFrame(frame);
            if (frame == quitFrame) postMessage(WM_QUIT, 0, 0);
        };
        EXPECT_EQ(app->run(nullptr), 1);
        fwrecord::onCall = nullptr;
    }

    std::unique_ptr<PlayerApp> app;
    std::vector<DWORD> frameStarts;
    std::vector<size_t> queueAtFrameStart;
    std::vector<size_t> frameLines;  // index of each frame's BeginScene in the log
};

// --- Start-up -----------------------------------------------------------------------

TEST_F(AppTest, StartUpStepsInOrder) {
    writeFile("GameData.sys", int32LE(-1234));
    app.reset(new PlayerApp);
    fwrecord::onCall = [](const std::string& line) {
        if (line == "Run") postMessage(WM_QUIT, 0, 0);
    };
    EXPECT_EQ(app->run(nullptr), 1);
    EXPECT_EQ(landmarks(), kSuccessfulStart + " Run");
    EXPECT_EQ(fwrecord::callsStartingWith("RenderFile"), std::vector<std::string>{"RenderFile a.mpg"});
    // The save was read before the first clip was loaded.
    EXPECT_EQ(fwrecord::callsStartingWith("put_Volume"), std::vector<std::string>{"put_Volume -1234"});
    EXPECT_TRUE(win32().messageBoxes.empty());
}

struct StartFailure {
    const char* name;
    std::function<void()> arrange;
    std::string steps;  // landmarks up to the message
    const char* message;
    bool ownedByWindow;
    bool firstFlagSaved;
};
void PrintTo(const StartFailure& c, std::ostream* os) { *os << c.name; }

std::vector<StartFailure> startFailures() {
    const std::string deviceSteps =
        "CoInitialize RegisterClassA CreateWindowExA SetWindowLongPtrA Direct3DCreate9";
    const std::string graphSteps = deviceSteps + " CreateDevice CoCreateInstance";
    const std::string allTextures = graphSteps + " CreateTexture CreateTexture CreateTexture CreateTexture";
    auto writeFile = [](const char* path, const std::string& bytes) {
        std::FILE* file = std::fopen(path, "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    };
    return {
        {"RegisterClass", [] { win32().failRegisterClass = true; }, "CoInitialize RegisterClassA",
         kMessageWindowFailed, false, false},
        {"CreateWindow", [] { win32().failCreateWindow = true; }, "CoInitialize RegisterClassA CreateWindowExA",
         kMessageWindowFailed, false, false},
        {"Direct3D", [] { fwrecord::d3d().failCreate9 = true; }, deviceSteps, kMessageGraphicsFailed, true, false},
        {"Device", [] { fwrecord::d3d().createDeviceResults = {E_FAIL, E_FAIL, E_FAIL}; },
         deviceSteps + " CreateDevice CreateDevice CreateDevice", kMessageGraphicsFailed, true, false},
        {"FilterGraph", [] { fwrecord::dshow().createInstanceResult = E_FAIL; }, graphSteps, kMessageShowFailed, true,
         false},
        {"GraphInterface", [] { fwrecord::dshow().queryInterfaceResults["IMediaEvent"] = E_NOINTERFACE; }, graphSteps,
         kMessageShowFailed, true, false},
        {"TextureCreation", [] { fwrecord::d3d().failCreateTexture = true; }, graphSteps + " CreateTexture",
         kMessageTextureFailed, true, false},
        {"ThirdPictureMissing", [] { std::remove("Bmp/ThumbnailBG2.bmp"); },
         graphSteps + " CreateTexture CreateTexture", kMessageTextureFailed, true, false},
        {"LastPictureNotRaw", [writeFile] { writeFile("Bmp/Thumbnail.bmp", "BM not a picture"); },
         graphSteps + " CreateTexture CreateTexture CreateTexture", kMessageTextureFailed, true, false},
        {"PlayTableMissing", [] { std::remove("Data/PlayTable.txt"); }, allTextures, kMessagePlayTableFailed, true,
         false},
        {"PlayTableEmpty", [writeFile] { writeFile("Data/PlayTable.txt", "End\nSingleItem \"a.mpg\" 0\n"); },
         allTextures, kMessagePlayTableFailed, true, false},
        {"ThumbnailTableMissing", [] { std::remove("Data/ThumbnailTable.txt"); }, allTextures,
         kMessageThumbnailTableFailed, true, false},
        {"FirstLoad", [] { fwrecord::dshow().renderFileResults["a.mpg"] = E_FAIL; }, allTextures + " RenderFile",
         kMessageMovieFailed, true, true},
    };
}

class StartFailureTest : public AppTest, public ::testing::WithParamInterface<StartFailure> {};

// Each failing step shows its own message, stops start-up there, and the save is
// still written; WinMain returns 1 whatever happened.
TEST_P(StartFailureTest, ShowsItsMessageAndStops) {
    const StartFailure& c = GetParam();
    c.arrange();
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 1);

    EXPECT_EQ(landmarks(), c.steps + " MessageBoxA");
    const auto& boxes = win32().messageBoxes;
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, c.message);  // byte for byte, Shift-JIS
    EXPECT_EQ(boxes[0].caption, "Error!!");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(boxes[0].owner, c.ownedByWindow ? win32().window : nullptr);

    std::string saved = readFile("GameData.sys");
    ASSERT_EQ(saved.size(), 68u);
    std::string expected(68, '\0');
    if (c.firstFlagSaved) expected[4] = 1;
    EXPECT_EQ(saved, expected);
    // Whatever was made is released again.
    EXPECT_EQ(fwrecord::d3d().liveObjects, 0);
    EXPECT_EQ(fwrecord::dshow().liveObjects, 0);
}

INSTANTIATE_TEST_SUITE_P(Steps, StartFailureTest, ::testing::ValuesIn(startFailures()),
                         [](const ::testing::TestParamInfo<StartFailure>& info) { return info.param.name; });

// --- The paced main loop ------------------------------------------------------------

struct PacingCase {
    const char* name;
    DWORD startClock;
    std::vector<DWORD> frameWork;  // ms each frame takes, by frame; 0 after the list
    std::vector<DWORD> gaps;       // expected start-to-start times of frames 1-2, 2-3, ...
};
void PrintTo(const PacingCase& c, std::ostream* os) { *os << c.name; }

class PacingTest : public AppTest, public ::testing::WithParamInterface<PacingCase> {};

TEST_P(PacingTest, FramesStartAtLeast15msApart) {
    const PacingCase& c = GetParam();
    win32().clock = c.startClock;
    const int frames = static_cast<int>(c.gaps.size()) + 1;
    runFrames(frames, [&c](int frame) {
        if (frame <= static_cast<int>(c.frameWork.size())) win32().clock += c.frameWork[frame - 1];
    });
    ASSERT_EQ(frameStarts.size(), static_cast<size_t>(frames));
    EXPECT_EQ(frameStarts[0] - c.startClock, 15u);
    for (size_t i = 1; i < frameStarts.size(); ++i) EXPECT_EQ(frameStarts[i] - frameStarts[i - 1], c.gaps[i - 1]);
    // Between frames the loop sleeps a millisecond at a time, never spinning.
    for (const std::string& line : fwrecord::callsStartingWith("Sleep")) EXPECT_EQ(line, "Sleep 1");
    size_t peeks = fwrecord::callsStartingWith("PeekMessageA").size();
    size_t sleeps = fwrecord::callsStartingWith("Sleep").size();
    EXPECT_EQ(peeks, sleeps + frameStarts.size() + 1);  // each turn: one frame, one sleep, or the quit
}

INSTANTIATE_TEST_SUITE_P(
    Loop, PacingTest,
    ::testing::Values(PacingCase{"Idle", 0, {}, {15, 15, 15, 15}},
                      // The interval runs from start to start: a 10 ms frame leaves 5 ms of sleep.
                      PacingCase{"BusyFrames", 0, {10, 10, 10, 10, 10}, {15, 15, 15, 15}},
                      PacingCase{"FullFrames", 0, {15, 15, 15, 15, 15}, {15, 15, 15, 15}},
                      // A late frame is not made up for: one frame at once, then 15 ms again.
                      PacingCase{"LongFrame", 0, {0, 100}, {15, 100, 15, 15}},
                      PacingCase{"ClockWraps", 0xFFFFFFF0u, {}, {15, 15, 15, 15}}),
    [](const ::testing::TestParamInfo<PacingCase>& info) { return info.param.name; });

// A flood of messages holds frames back; afterwards one frame runs, then the pace resumes.
TEST_F(AppTest, QueuedMessagesGoFirst) {
    // From frame 2 on, each dispatch takes 4 ms and posts the next message, 20 in all.
    int dispatched = 0;
    runFrames(
        5, [](int frame) { if (frame == 2) postMessage(WM_MOUSEMOVE, 0, MAKELPARAM(1, 1)); },
        [&dispatched](const std::string& line) {
            if (line.compare(0, 16, "DispatchMessageA") != 0) return;
            win32().clock += 4;
            if (++dispatched < 20) postMessage(WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
        });
    ASSERT_EQ(frameStarts.size(), 5u);
    for (size_t queued : queueAtFrameStart) EXPECT_EQ(queued, 0u);
    EXPECT_EQ(dispatched, 20);
    // Frame 2 at 30; the flood lasts 80 ms; frame 3 at once, frame 4 15 ms later.
    EXPECT_EQ(frameStarts[1], 30u);
    EXPECT_EQ(frameStarts[2], 110u);
    EXPECT_EQ(frameStarts[3], 125u);
}

// One frame: draw and present, poll the graph, then the input, whose flags are
// cleared so that a click between frames is seen by exactly one frame.
struct InputCase {
    const char* name;
    std::function<void(int frame)> post;  // at the start of each frame
    int actingFrame;                      // the frame whose input step runs the graph
};
void PrintTo(const InputCase& c, std::ostream* os) { *os << c.name; }

class FrameInputTest : public AppTest, public ::testing::WithParamInterface<InputCase> {};

TEST_P(FrameInputTest, ClickSeenByOneFrame) {
    const InputCase& c = GetParam();
    runFrames(6, c.post);
    ASSERT_EQ(frameLines.size(), 6u);
    const size_t loopStart = frameLines[0];
    size_t runs = 0;
    size_t runLine = 0;
    for (size_t i = loopStart; i < calls().size(); ++i)
        if (calls()[i] == "Run") ++runs, runLine = i;
    ASSERT_EQ(runs, 1u);
    const size_t frame = static_cast<size_t>(c.actingFrame - 1);
    const size_t present = indexOf("Present", frameLines[frame]);
    const size_t poll = indexOf("WaitForCompletion 0", frameLines[frame]);
    EXPECT_LT(present, poll);
    EXPECT_LT(poll, runLine);
    EXPECT_LT(runLine, frameLines[frame + 1]);
    EXPECT_EQ(app->leftPressed, 0);
    EXPECT_EQ(app->leftReleased, 0);
}

const int kPlayX = 600, kPlayY = 550;  // inside the Play button

INSTANTIATE_TEST_SUITE_P(
    Loop, FrameInputTest,
    ::testing::Values(
        InputCase{"PressAndReleaseBetweenFrames",
                  [](int frame) {
                      if (frame == 2) postClick(kPlayX, kPlayY);
                  },
                  3},
        InputCase{"TwoClicksBetweenFrames",
                  [](int frame) {
                      if (frame != 2) return;
                      postClick(kPlayX, kPlayY);
                      postMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(kPlayX, kPlayY));
                      postMessage(WM_LBUTTONUP, 0, MAKELPARAM(kPlayX, kPlayY));
                  },
                  3},
        InputCase{"ReleaseInALaterFrame",
                  [](int frame) {
                      if (frame == 2) {
                          postMessage(WM_MOUSEMOVE, 0, MAKELPARAM(kPlayX, kPlayY));
                          postMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(kPlayX, kPlayY));
                      }
                      if (frame == 4) postMessage(WM_LBUTTONUP, 0, MAKELPARAM(kPlayX, kPlayY));
                  },
                  5}),
    [](const ::testing::TestParamInfo<InputCase>& info) { return info.param.name; });

// How the loop ends: closing the window, or an interaction step's 0; a failed
// load in the sequencing step shows its message and the loop goes on.
TEST_F(AppTest, CloseEndsTheLoop) {
    runFrames(0, [](int frame) {
        if (frame == 3) postMessage(WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(frameStarts.size(), 3u);
    EXPECT_EQ(countCalls("DestroyWindow"), 1u);
    EXPECT_EQ(countCalls("PostQuitMessage 0"), 1u);
}

TEST_F(AppTest, FailedLoadInInteractionEndsTheLoop) {
    fwrecord::dshow().renderFileResults["b.mpg"] = E_FAIL;
    runFrames(0, [](int frame) {
        if (frame == 2) postClick(650, 550);  // Next
        if (frame == 6) postMessage(WM_QUIT, 0, 0);    // not reached
    });
    EXPECT_EQ(frameStarts.size(), 3u);
    ASSERT_EQ(win32().messageBoxes.size(), 1u);
    EXPECT_EQ(win32().messageBoxes[0].text, kMessageMovieFailed);
}

TEST_F(AppTest, FailedLoadInSequencingKeepsTheLoopGoing) {
    writeFile("Data/PlayTable.txt", "SingleItem \"a.mpg\" 1\nSingleItem \"b.mpg\" 0\n");
    fwrecord::dshow().renderFileResults["b.mpg"] = E_FAIL;
    fwrecord::dshow().eventCodes = {0, EC_COMPLETE};  // frame 2 sees the clip end
    runFrames(5);
    EXPECT_EQ(frameStarts.size(), 5u);
    ASSERT_EQ(win32().messageBoxes.size(), 1u);
    EXPECT_EQ(win32().messageBoxes[0].text, kMessageMovieFailed);
}

// --- Shutdown -----------------------------------------------------------------------

TEST_F(AppTest, ShutDownSavesAndReleasesOnceThenTheDestructorOnlySaves) {
    runFrames(2);
    size_t loopEnd = calls().size();
    for (size_t i = 0; i < calls().size(); ++i)
        if (calls()[i] == "GetMessageA") loopEnd = i + 1;
    std::vector<std::string> tail(calls().begin() + static_cast<long>(loopEnd), calls().end());
    const std::vector<std::string> expected = {
        "Release tex1", "Release tex2", "Release tex3", "Release tex4", "Release device", "Release d3d",
        "put_Visible 0", "put_Owner null", "Stop", "Release graph 5", "Release graph 4", "Release graph 3",
        "Release graph 2", "Release graph 1", "Release graph 0", "CoUninitialize"};
    EXPECT_EQ(tail, expected);
    EXPECT_EQ(fwrecord::d3d().liveObjects, 0);
    EXPECT_EQ(fwrecord::dshow().liveObjects, 0);
    EXPECT_EQ(app->graphBuilder, nullptr);
    EXPECT_EQ(app->texMainBG, nullptr);

    std::string saved = readFile("GameData.sys");
    std::string expectedSave(68, '\0');
    expectedSave[4] = 1;  // a.mpg was loaded
    EXPECT_EQ(saved, expectedSave);

    // The second pass writes the same save again and releases nothing.
    std::remove("GameData.sys");
    calls().clear();
    app.reset();
    EXPECT_EQ(calls(), std::vector<std::string>{"CoUninitialize"});
    EXPECT_EQ(readFile("GameData.sys"), expectedSave);
}

}  // namespace
