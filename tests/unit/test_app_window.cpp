// What the main window's procedure makes of the mouse and moves.
#include "unit/test_support.h"

namespace {

using fwrecord::sendMessage;
using fwrecord::win32;

class WindowTest : public TempFolderTest {
protected:
    void createWindow() { ASSERT_EQ(app->createMainWindow(nullptr), 1); }
};

// The capture is held while either button is down, whichever goes up first.
TEST_F(WindowTest, CaptureHeldWhileEitherButtonIsDown) {
    createWindow();
    const struct {
        UINT message;
        bool leftHeld, rightHeld;  // as the system reports them afterwards
        bool captured;
    } steps[] = {{WM_LBUTTONDOWN, true, false, true}, {WM_RBUTTONDOWN, true, true, true},
                 {WM_LBUTTONUP, false, true, true},   {WM_LBUTTONDOWN, true, true, true},
                 {WM_RBUTTONUP, true, false, true},   {WM_LBUTTONUP, false, false, false},
                 {WM_RBUTTONDOWN, false, true, true}, {WM_RBUTTONUP, false, false, false}};
    for (size_t i = 0; i < sizeof(steps) / sizeof(steps[0]); ++i) {
        win32().leftHeld = steps[i].leftHeld;
        win32().rightHeld = steps[i].rightHeld;
        sendMessage(steps[i].message, 0, 0);
        EXPECT_EQ(win32().capture, steps[i].captured ? win32().window : nullptr) << "step " << i;
    }
}

// WM_MOVE cues again only with the sequence off and a graph (not before the link).
TEST_F(WindowTest, MoveStopsWhenReadyOnlyWithSequenceOffAndAGraph) {
    const struct {
        bool graph;
        int32_t isPlaying;
        size_t stops;
    } cases[] = {{true, 0, 2}, {true, 1, 0}, {false, 0, 0}};
    for (const auto& c : cases) {
        app.reset(new PlayerApp);
        fwrecord::resetAll();
        if (c.graph) {
            ASSERT_EQ(app->createMovieGraph(), 1);
        }
        app->isPlaying = c.isPlaying;
        createWindow();
        sendMessage(WM_MOVE, 0, MAKELPARAM(50, 60));
        sendMessage(WM_MOVE, 0, MAKELPARAM(70, 80));
        EXPECT_EQ(fwrecord::callsStartingWith("StopWhenReady").size(), c.stops)
            << "graph " << c.graph << " isPlaying " << c.isPlaying;
    }
}

// The session ending saves before the process may be ended: the query is answered
// yes, a real end writes the save at once, a cancelled one nothing; a failed save
// shows no box (it would hold up the session's end) but one line on stderr.
TEST_F(WindowTest, SessionEndSavesAtOnceWithoutABox) {
    createWindow();
    app->volume = -1234;
    app->unlockFlags[3] = 1;
    EXPECT_EQ(sendMessage(WM_QUERYENDSESSION, 0, 0), TRUE);
    sendMessage(WM_ENDSESSION, FALSE, 0);
    EXPECT_EQ(readFile("GameData.sys"), "");
    sendMessage(WM_ENDSESSION, TRUE, 0);
    const std::string saved = int32LE(-1234) + std::string(3, '\0') + "\x01" + std::string(60, '\0');
    EXPECT_EQ(readFile("GameData.sys"), saved);

    ASSERT_EQ(std::system("mkdir GameData.sys.tmp"), 0);
    app->unlockFlags[4] = 1;
    testing::internal::CaptureStderr();
    sendMessage(WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Fernwood2: GameData.sys could not be written as the session ended\n");
    EXPECT_TRUE(fwrecord::win32().messageBoxes.empty());
    EXPECT_EQ(readFile("GameData.sys"), saved);
    ASSERT_EQ(std::system("rmdir GameData.sys.tmp"), 0);
}

}  // namespace
