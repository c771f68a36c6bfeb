// The main window: creation, the link to the object, and what the window
// procedure makes of the mouse, moves and closing.
#include <memory>
#include <string>
#include <vector>

#include "app/player_app.h"
#include "unit/test_support.h"

namespace {

using fwrecord::sendMessage;
using fwrecord::win32;

size_t countCalls(const std::string& line) {
    size_t count = 0;
    for (const std::string& call : fwrecord::calls()) count += call == line;
    return count;
}

class WindowTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        app.reset(new PlayerApp);
    }
    void TearDown() override {
        app.reset();
        TempFolderTest::TearDown();
    }
    void createWindow() { ASSERT_EQ(app->createMainWindow(nullptr), 1); }
    std::unique_ptr<PlayerApp> app;
};

TEST_F(WindowTest, ClassAndWindowAsSpecified) {
    createWindow();
    EXPECT_EQ(app->hwnd, win32().window);
    EXPECT_EQ(win32().userData, reinterpret_cast<LONG_PTR>(app.get()));
    const int width = 800 + 2 * fwrecord::kFixedFrameX + 2 * fwrecord::kEdgeX;
    const int height = 600 + 2 * fwrecord::kFixedFrameY + 2 * fwrecord::kEdgeY + fwrecord::kCaptionY;
    const std::vector<std::string> expected = {
        "LoadIconA MAINICON",
        "LoadCursorA null #32512",
        "GetStockObject 4",
        "RegisterClassA MAINWNDOW style=0 icon=handle cursor=handle brush=handle menu=",
        "CreateWindowExA ex=512 MAINWNDOW Fernwood2 style=" + std::to_string(0x12CA0000) + " -2147483648 -2147483648 " +
            std::to_string(width) + "x" + std::to_string(height),
        "SetWindowLongPtrA hwnd -21",
    };
    EXPECT_EQ(fwrecord::calls(), expected);
}

TEST_F(WindowTest, CreationFailures) {
    win32().failRegisterClass = true;
    EXPECT_EQ(app->createMainWindow(nullptr), 0);
    EXPECT_TRUE(fwrecord::callsStartingWith("CreateWindowExA").empty());
    fwrecord::resetAll();
    win32().failCreateWindow = true;
    EXPECT_EQ(app->createMainWindow(nullptr), 0);
    EXPECT_EQ(app->hwnd, nullptr);
    EXPECT_TRUE(fwrecord::callsStartingWith("SetWindowLongPtrA").empty());
}

struct MovePosition {
    LPARAM lParam;
    int32_t x, y;
};

TEST_F(WindowTest, MousePositionHalvesAreUnsigned) {
    createWindow();
    const MovePosition cases[] = {
        {MAKELPARAM(10, 20), 10, 20},
        {MAKELPARAM(799, 599), 799, 599},
        {MAKELPARAM(-10, 30), 65526, 30},  // 10 left of the window while captured
        {MAKELPARAM(5, -1), 5, 65535},
        {static_cast<LPARAM>(-1), 65535, 65535},
    };
    for (const MovePosition& c : cases) {
        sendMessage(WM_MOUSEMOVE, 0, c.lParam);
        EXPECT_EQ(app->mouseX, c.x) << std::hex << c.lParam;
        EXPECT_EQ(app->mouseY, c.y) << std::hex << c.lParam;
    }
    EXPECT_EQ(app->leftPressed, 0);
    EXPECT_EQ(app->leftReleased, 0);
}

TEST_F(WindowTest, ClickUsesTheLastMovePosition) {
    createWindow();
    sendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(100, 200));
    sendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 6));
    sendMessage(WM_LBUTTONUP, 0, MAKELPARAM(7, 8));
    sendMessage(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(9, 9));
    sendMessage(WM_RBUTTONUP, 0, MAKELPARAM(9, 9));
    EXPECT_EQ(app->mouseX, 100);
    EXPECT_EQ(app->mouseY, 200);
    EXPECT_EQ(app->leftPressed, 1);
    EXPECT_EQ(app->leftReleased, 1);
}

// One button message with the buttons' state as the system reports it afterwards,
// and whether the capture is held then.
struct ButtonStep {
    UINT message;
    bool leftHeld, rightHeld;
    bool captured;
};

struct CaptureCase {
    const char* name;
    std::vector<ButtonStep> steps;
};
void PrintTo(const CaptureCase& c, std::ostream* os) { *os << c.name; }

class CaptureTest : public WindowTest, public ::testing::WithParamInterface<CaptureCase> {};

TEST_P(CaptureTest, HeldWhileEitherButtonIsDown) {
    createWindow();
    for (size_t i = 0; i < GetParam().steps.size(); ++i) {
        const ButtonStep& step = GetParam().steps[i];
        win32().leftHeld = step.leftHeld;
        win32().rightHeld = step.rightHeld;
        sendMessage(step.message, 0, 0);
        EXPECT_EQ(win32().capture, step.captured ? win32().window : nullptr) << "step " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, CaptureTest,
    ::testing::Values(
        CaptureCase{"LeftClick", {{WM_LBUTTONDOWN, true, false, true}, {WM_LBUTTONUP, false, false, false}}},
        CaptureCase{"RightClick", {{WM_RBUTTONDOWN, false, true, true}, {WM_RBUTTONUP, false, false, false}}},
        CaptureCase{"LeftUpFirst",
                    {{WM_LBUTTONDOWN, true, false, true},
                     {WM_RBUTTONDOWN, true, true, true},
                     {WM_LBUTTONUP, false, true, true},
                     {WM_RBUTTONUP, false, false, false}}},
        CaptureCase{"RightUpFirst",
                    {{WM_RBUTTONDOWN, false, true, true},
                     {WM_LBUTTONDOWN, true, true, true},
                     {WM_RBUTTONUP, true, false, true},
                     {WM_LBUTTONUP, false, false, false}}}),
    [](const ::testing::TestParamInfo<CaptureCase>& info) { return info.param.name; });

// WM_MOVE cues the movie again only while the sequence is off and the graph exists.
struct MoveCase {
    bool graph;
    int32_t isPlaying;
    size_t stops;
};

TEST_F(WindowTest, MoveStopsWhenReadyOnlyWithSequenceOff) {
    const MoveCase cases[] = {{true, 0, 2}, {true, 1, 0}, {false, 0, 0}};
    for (const MoveCase& c : cases) {
        app.reset(new PlayerApp);
        fwrecord::resetAll();
        if (c.graph) {
            ASSERT_EQ(app->createMovieGraph(), 1);
        }
        createWindow();
        app->isPlaying = c.isPlaying;
        sendMessage(WM_MOVE, 0, MAKELPARAM(50, 60));
        sendMessage(WM_MOVE, 0, MAKELPARAM(70, 80));
        EXPECT_EQ(countCalls("StopWhenReady"), c.stops) << "graph " << c.graph << " isPlaying " << c.isPlaying;
    }
}

// The window sends WM_CREATE and WM_MOVE while it is being made, before the link.
TEST_F(WindowTest, MessagesDuringCreationReachOnlyTheDefault) {
    ASSERT_EQ(app->createMovieGraph(), 1);
    app->isPlaying = 0;
    createWindow();
    EXPECT_EQ(countCalls("StopWhenReady"), 0u);
}

TEST_F(WindowTest, CloseDestroysAndPostsQuit) {
    createWindow();
    sendMessage(WM_CLOSE, 0, 0);
    EXPECT_EQ(fwrecord::callsStartingWith("DestroyWindow").size(), 1u);
    EXPECT_EQ(fwrecord::callsStartingWith("PostQuitMessage").size(), 1u);
    EXPECT_EQ(fwrecord::callsStartingWith("PostQuitMessage").front(), "PostQuitMessage 0");
    ASSERT_EQ(win32().queue.size(), 1u);
    EXPECT_EQ(win32().queue.front().message, static_cast<UINT>(WM_QUIT));
}

}  // namespace
