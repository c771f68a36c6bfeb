// Start-up and its failures, the paced main loop, shutdown, on the virtual clock.
#include <cstdio>
#include <functional>

#include "errors/errors.h"
#include "unit/test_support.h"

namespace {

using fwrecord::calls;
using fwrecord::postMessage;
using fwrecord::win32;

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
    // BeginScene, and the quit message is posted there in frame quitFrame (0: never).
    void runFrames(int quitFrame, std::function<void(int frame)> atFrame = nullptr) {
        app.reset(new PlayerApp);
        fwrecord::onCall = [=](const std::string& line) {
            if (line != "BeginScene") return;
            frameStarts.push_back(win32().clock);
            EXPECT_TRUE(win32().queue.empty()) << "a frame began with messages waiting";
            int frame = static_cast<int>(frameStarts.size());
            if (atFrame) atFrame(frame);
            if (frame == quitFrame) postMessage(WM_QUIT, 0, 0);
        };
        EXPECT_EQ(app->run(nullptr), 1);
        fwrecord::onCall = nullptr;
    }

    std::vector<DWORD> frameStarts;
};

// Each failing step shows its message, owned by the window once there is one, and
// nothing runs; everything is released and the save is still written.
TEST_F(AppTest, EachFailingStartUpStepShowsItsMessageAndStops) {
    const struct {
        std::function<void()> arrange;
        const char* message;
        bool ownedByWindow, firstFlagSaved;
    } cases[] = {
        {[] { win32().failCreateWindow = true; }, kMessageWindowFailed, false, false},
        {[] {
             fwrecord::d3d().createDeviceResults = {E_FAIL, E_FAIL, E_FAIL};
         },
         kMessageGraphicsFailed, true, false},
        {[] { fwrecord::dshow().createInstanceResult = E_FAIL; }, kMessageShowFailed, true, false},
        {[] { std::remove("Bmp/ThumbnailBG2.bmp"); }, kMessageTextureFailed, true, false},
        {[] { std::remove("Data/PlayTable.txt"); }, kMessagePlayTableFailed, true, false},
        {[] { std::remove("Data/ThumbnailTable.txt"); }, kMessageThumbnailTableFailed, true, false},
        {[] { fwrecord::dshow().renderFileResults["a.mpg"] = E_FAIL; }, kMessageMovieFailed, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        fwrecord::resetAll();
        writeGallery();
        c.arrange();
        EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 1);
        const auto& boxes = win32().messageBoxes;
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, c.message);
        EXPECT_EQ(boxes[0].owner, c.ownedByWindow ? win32().window : nullptr);
        EXPECT_EQ(fwrecord::callsStartingWith("Run"), Lines());
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
    }
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
    // Everything is released and the save written, with the flag of the clip played.
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
