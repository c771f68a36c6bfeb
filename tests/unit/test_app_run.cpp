// Start-up and its failures, the paced main loop, shutdown, on the virtual clock.
#include <cstdio>
#include <functional>
#include <set>

#include "movie/messages.h"
#include "unit/test_support.h"

namespace {

using fwrecord::calls;
using fwrecord::postMessage;
using fwrecord::win32;

// The first word of every call line that marks a start-up step, in order.
std::string landmarks() {
    static const std::set<std::string> kSteps = {
        "CoInitialize", "RegisterClassA", "CreateWindowExA", "SetWindowLongPtrA", "Direct3DCreate9", "CreateDevice",
        "CoCreateInstance", "CreateTexture", "RenderFile", "Run", "MessageBoxA"};
    std::string out;
    for (const std::string& line : calls()) {
        std::string word = line.substr(0, line.find(' '));
        if (kSteps.count(word)) out += (out.empty() ? "" : " ") + word;
    }
    return out;
}

size_t indexOf(const std::string& line, size_t from) {
    for (size_t i = from; i < calls().size(); ++i)
        if (calls()[i] == line) return i;
    return calls().size();
}

class AppTest : public TempFolderTest {
protected:
    // The smallest gallery that starts: four pictures and two tables.
    void SetUp() override {
        TempFolderTest::SetUp();
        writeGallery();
    }
    void writeGallery() {
        std::remove("GameData.sys");
        for (const char* name : {"MainBG", "ThumbnailBG1", "ThumbnailBG2", "Thumbnail"})
            writeFile(std::string("Bmp/") + name + ".bmp", pictureHeader(1, 1) + "\x7F\x7F\x7F\x7F");
        writeFile("Data/PlayTable.txt", "SingleItem \"a.mpg\" 0\nSingleItem \"b.mpg\" 0\nEnd\n");
        writeFile("Data/ThumbnailTable.txt", "2\n0 0\n1 0\n");
    }

    // Runs the main loop; atFrame(n) runs as frame n (from 1) begins, at its
    // BeginScene, and the quit message is posted there in frame quitFrame (0: never);
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
            EXPECT_TRUE(win32().queue.empty()) << "a frame began with messages waiting";
            frameLines.push_back(calls().size() - 1);
            int frame = static_cast<int>(frameStarts.size());
            if (atFrame) atFrame(frame);
            if (frame == quitFrame) postMessage(WM_QUIT, 0, 0);
        };
        EXPECT_EQ(app->run(nullptr), 1);
        fwrecord::onCall = nullptr;
    }

    std::vector<DWORD> frameStarts;
    std::vector<size_t> frameLines;  // index of each frame's BeginScene in the log
};

// Each failing step shows its message and stops there; the save is still written.
TEST_F(AppTest, EachFailingStartUpStepShowsItsMessageAndStops) {
    const std::string window = "CoInitialize RegisterClassA CreateWindowExA";
    const std::string device = window + " SetWindowLongPtrA Direct3DCreate9";
    const std::string graph = device + " CreateDevice CoCreateInstance";
    const std::string textures = graph + " CreateTexture CreateTexture CreateTexture CreateTexture";
    const struct {
        std::function<void()> arrange;
        std::string steps;  // landmarks up to the message
        const char* message;
        bool ownedByWindow;
        bool firstFlagSaved;
    } cases[] = {
        {[] { win32().failCreateWindow = true; }, window, kMessageWindowFailed, false, false},
        {[] { fwrecord::d3d().createDeviceResults = {E_FAIL, E_FAIL, E_FAIL}; },
         device + " CreateDevice CreateDevice CreateDevice", kMessageGraphicsFailed, true, false},
        {[] { fwrecord::dshow().createInstanceResult = E_FAIL; }, graph, kMessageShowFailed, true, false},
        {[] { std::remove("Bmp/ThumbnailBG2.bmp"); }, graph + " CreateTexture CreateTexture", kMessageTextureFailed,
         true, false},
        {[] { std::remove("Data/PlayTable.txt"); }, textures, kMessagePlayTableFailed, true, false},
        {[] { std::remove("Data/ThumbnailTable.txt"); }, textures, kMessageThumbnailTableFailed, true, false},
        {[] { fwrecord::dshow().renderFileResults["a.mpg"] = E_FAIL; }, textures + " RenderFile", kMessageMovieFailed,
         true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.steps);
        fwrecord::resetAll();
        writeGallery();
        c.arrange();
        EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 1);
        EXPECT_EQ(landmarks(), c.steps + " MessageBoxA");
        const auto& boxes = win32().messageBoxes;
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, c.message);
        EXPECT_EQ(boxes[0].caption, "Error!!");
        EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONERROR));
        EXPECT_EQ(boxes[0].owner, c.ownedByWindow ? win32().window : nullptr);
        std::string expected(68, '\0');
        expected[4] = c.firstFlagSaved ? 1 : 0;
        EXPECT_EQ(readFile("GameData.sys"), expected);
        EXPECT_EQ(fwrecord::d3d().liveObjects, 0);
        EXPECT_EQ(fwrecord::dshow().liveObjects, 0);
    }
}

// Frames start 15 ms apart, start to start, sleeping 1 ms at a time; no catching up.
TEST_F(AppTest, FramesStartAtLeast15msApart) {
    const struct {
        const char* name;
        DWORD startClock;
        std::vector<DWORD> frameWork;  // ms each frame takes, by frame; 0 after the list
        std::vector<DWORD> gaps;       // expected start-to-start times of frames 1-2, 2-3, ...
    } cases[] = {
        {"Idle", 0, {}, {15, 15, 15}},
        {"LongFrame", 0, {0, 100}, {15, 100, 15}},
        {"ClockWraps", 0xFFFFFFF0u, {}, {15, 15, 15}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        app.reset();
        fwrecord::resetAll();
        frameStarts.clear();
        win32().clock = c.startClock;
        runFrames(4, [&c](int frame) {
            if (frame <= static_cast<int>(c.frameWork.size())) win32().clock += c.frameWork[frame - 1];
        });
        ASSERT_EQ(frameStarts.size(), 4u);
        EXPECT_EQ(frameStarts[0] - c.startClock, 15u);
        for (size_t i = 1; i < 4; ++i) EXPECT_EQ(frameStarts[i] - frameStarts[i - 1], c.gaps[i - 1]);
        for (const std::string& line : fwrecord::callsStartingWith("Sleep")) EXPECT_EQ(line, "Sleep 1");
        // Each turn of the loop: one frame, one sleep, or the quit.
        EXPECT_EQ(fwrecord::callsStartingWith("PeekMessageA").size(),
                  fwrecord::callsStartingWith("Sleep").size() + frameStarts.size() + 1);
    }
}

// Draw, present, poll, then input; flags cleared so a click acts once; close ends it.
TEST_F(AppTest, FrameOrderAClickSeenByOneFrameAndClose) {
    runFrames(0, [](int frame) {
        if (frame == 6) postMessage(WM_CLOSE, 0, 0);
        if (frame != 2) return;
        postMessage(WM_MOUSEMOVE, 0, MAKELPARAM(600, 550));  // the Play button
        postMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(600, 550));
        postMessage(WM_LBUTTONUP, 0, MAKELPARAM(600, 550));
    });
    ASSERT_EQ(frameLines.size(), 6u);
    const size_t run = indexOf("Run", frameLines[0]);
    EXPECT_EQ(indexOf("Run", run + 1), calls().size()) << "the click acted twice";
    const size_t present = indexOf("Present", frameLines[2]);
    const size_t poll = indexOf("WaitForCompletion 0", frameLines[2]);
    EXPECT_LT(present, poll);
    EXPECT_LT(poll, run);
    EXPECT_LT(run, frameLines[3]);
    EXPECT_EQ(app->leftPressed, 0);
    EXPECT_EQ(app->leftReleased, 0);
    EXPECT_EQ(countCalls("DestroyWindow"), 1u);
    EXPECT_EQ(countCalls("PostQuitMessage 0"), 1u);
}

// A failed load on a button ends the loop after its message.
TEST_F(AppTest, AFailedLoadInInteractionEndsTheLoop) {
    fwrecord::dshow().renderFileResults["b.mpg"] = E_FAIL;
    runFrames(6, [](int frame) {
        if (frame != 2) return;
        postMessage(WM_MOUSEMOVE, 0, MAKELPARAM(650, 550));  // Next
        postMessage(WM_LBUTTONUP, 0, MAKELPARAM(650, 550));
    });
    EXPECT_EQ(frameStarts.size(), 3u);
    ASSERT_EQ(win32().messageBoxes.size(), 1u);
    EXPECT_EQ(win32().messageBoxes[0].text, kMessageMovieFailed);
    EXPECT_EQ(win32().messageBoxes[0].owner, win32().window);
}

TEST_F(AppTest, ShutDownSavesAndReleasesOnceThenTheDestructorOnlySaves) {
    runFrames(2);
    // The video was hidden and let go of before the graph went; everything is released.
    EXPECT_FALSE(fwrecord::dshow().visible);
    EXPECT_EQ(fwrecord::callsStartingWith("put_Owner").back(), "put_Owner null");
    EXPECT_EQ(fwrecord::d3d().liveObjects, 0);
    EXPECT_EQ(fwrecord::dshow().liveObjects, 0);
    EXPECT_EQ(calls().back(), "CoUninitialize");
    std::string expectedSave(68, '\0');
    expectedSave[4] = 1;  // a.mpg was loaded
    EXPECT_EQ(readFile("GameData.sys"), expectedSave);

    std::remove("GameData.sys");
    calls().clear();
    app.reset();
    EXPECT_EQ(calls(), Lines{"CoUninitialize"});
    EXPECT_EQ(readFile("GameData.sys"), expectedSave);
}

}  // namespace
