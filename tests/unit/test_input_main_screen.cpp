// The main screen's mouse: buttons on a release, bars on a press, drags by cursor x.
#include "test_movie_fixture.h"

namespace {

const LONG kWindowLeft = 100;
const LONGLONG kDuration = 100000000;
const char* const kCursorPos = "GetCursorPos";
const char* const kWindowRect = "GetWindowRect hwnd";

std::string seekLine(LONGLONG position) { return "SetPositions " + std::to_string(position) + " 1 null 0"; }
std::string volumeLine(int32_t volume) { return "put_Volume " + std::to_string(volume); }

class InputMainScreen : public PlayerTest {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        setUpPlayer();
        // 0 single, 1 four clips, 2 two clips, 3 one clip, 4 single.
        app->itemCount = 5;
        setItem(0, 0, 0);
        setItem(1, 4, 1);
        setItem(2, 2, 5);
        setItem(3, 1, 7);
        setItem(4, 0, 8);
        app->volume = -700;
        fwrecord::dshow().duration = kDuration;
        fwrecord::win32().windowRect = {kWindowLeft, 50, kWindowLeft + 810, 680};
        cue(0, 0);
    }

    // Puts the cursor where its client x is x (past the window's left edge and the
    // recorder's borders), whatever the mouse position says.
    void setCursorClientX(int32_t x) {
        fwrecord::win32().cursor = {x + kWindowLeft + fwrecord::kEdgeX + fwrecord::kFixedFrameX, 300};
    }

    // One frame's input; the flags are cleared afterwards as the dispatch does.
    int32_t frame(int32_t x, int32_t y, bool press, bool release) {
        app->mouseX = x;
        app->mouseY = y;
        app->leftPressed = press ? 1 : 0;
        app->leftReleased = release ? 1 : 0;
        int32_t result = app->handleMainScreenInput();
        app->leftPressed = 0;
        app->leftReleased = 0;
        return result;
    }
};

// A release acts only inside an active button, edges included (the buttons' effects
// are checked on screen end to end).
TEST_F(InputMainScreen, ButtonsActOnAReleaseInsideTheirEdges) {
    const struct {
        const char* name;
        int32_t item, clip, isPlaying;  // before the release
        int32_t x, y;
        int32_t toItem, toClip, toPlaying;
        int32_t toScreen;
    } cases[] = {
        {"PreviousRightTopCorner", 2, 1, 1, 513, 535, 1, 0, 1, SCREEN_MAIN},
        {"PreviousOnItem0", 0, 0, 1, 480, 550, 0, 0, 1, SCREEN_MAIN},
        {"StopLeftTopCorner", 0, 0, 1, 514, 535, 0, 0, 0, SCREEN_MAIN},
        {"BelowStop", 0, 0, 1, 540, 580, 0, 0, 1, SCREEN_MAIN},
        {"NextWhileStopped", 1, 2, 0, 687, 579, 2, 0, 0, SCREEN_MAIN},
        {"NextOnTheLastItem", 4, 0, 1, 650, 550, 4, 0, 1, SCREEN_MAIN},
        {"ThumbnailsRightBottomCorner", 0, 0, 0, 771, 579, 0, 0, 0, SCREEN_THUMBNAIL},
        {"Clip1RightBottomCorner", 1, 0, 1, 781, 170, 1, 1, 1, SCREEN_MAIN},
        {"Clip0WhenCurrent", 1, 0, 1, 765, 75, 1, 0, 1, SCREEN_MAIN},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        cue(c.item, c.clip);
        app->isPlaying = c.isPlaying;
        app->screenMode = SCREEN_MAIN;
        EXPECT_EQ(frame(c.x, c.y, false, true), 1);
        const bool loads = c.toItem != c.item || c.toClip != c.clip;
        EXPECT_EQ(fwrecord::callsStartingWith("RenderFile").size(), loads ? 1u : 0u);
        takeCalls();
        EXPECT_EQ(app->currentItem, c.toItem);
        EXPECT_EQ(app->currentClip, c.toClip);
        EXPECT_EQ(app->isPlaying, c.toPlaying);
        EXPECT_EQ(app->screenMode, c.toScreen);
    }
}

// A press on a bar seeks or sets the volume for its column at once and starts a drag.
TEST_F(InputMainScreen, APressOnABarStartsADragAtItsColumn) {
    const struct {
        int32_t x;
        LONGLONG seek;  // on a clip of kDuration
        int32_t volume;
    } cases[] = {{38, 0, -5000}, {212, 50149253, -2492}, {379, kDuration, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        setCursorClientX(c.x);
        EXPECT_EQ(frame(c.x, 554, true, false), 1);
        // The drag step then finds the cursor where the press left it.
        EXPECT_EQ(takeCalls(), (Lines{"Stop", seekLine(c.seek), kCursorPos, kWindowRect, kCursorPos, kWindowRect}));
        EXPECT_EQ(app->dragMode, DRAG_SEEK);
        frame(c.x, 554, false, true);
        takeCalls();

        EXPECT_EQ(frame(c.x, 567, true, false), 1);
        EXPECT_EQ(takeCalls(), (Lines{volumeLine(c.volume), kCursorPos, kWindowRect, kCursorPos, kWindowRect}));
        EXPECT_EQ(app->volume, c.volume);
        EXPECT_EQ(app->dragMode, DRAG_VOLUME);
        frame(c.x, 567, false, true);
        takeCalls();
    }
    const POINT outside[] = {{37, 540}, {385, 540}, {100, 555}, {100, 587}};
    for (const POINT& point : outside) {
        EXPECT_EQ(frame(point.x, point.y, true, false), 1);
        EXPECT_EQ(takeCalls(), Lines()) << point.x << "," << point.y;
    }
}

// Dragging follows the cursor per new column; the release presses nothing and runs
// the graph only with the sequence on.
TEST_F(InputMainScreen, SeekDragRunsOnReleaseOnlyWithTheSequenceOn) {
    for (int32_t isPlaying : {1, 0}) {
        SCOPED_TRACE(isPlaying);
        app->isPlaying = isPlaying;
        setCursorClientX(100);
        frame(100, 540, true, false);
        takeCalls();
        frame(300, 540, false, false);
        EXPECT_EQ(takeCalls(), (Lines{kCursorPos, kWindowRect}));
        const struct {
            int32_t x;
            LONGLONG seek;
        } moves[] = {{212, 50149253}, {-30, 0}, {1000, kDuration}};
        for (const auto& move : moves) {
            setCursorClientX(move.x);
            frame(100, 540, false, false);
            EXPECT_EQ(takeCalls(), (Lines{kCursorPos, kWindowRect, seekLine(move.seek), "StopWhenReady"})) << move.x;
        }
        EXPECT_EQ(frame(600, 550, false, true), 1);  // over Play
        EXPECT_EQ(takeCalls(), isPlaying == 1 ? Lines{"Run"} : Lines());
        EXPECT_EQ(app->isPlaying, isPlaying);
        EXPECT_EQ(app->dragMode, DRAG_NONE);
    }
}

// The dragged volume is the one later loads apply.
TEST_F(InputMainScreen, VolumeDragEndsOverAButtonWithoutPressingIt) {
    setCursorClientX(45);
    frame(45, 570, true, false);
    takeCalls();
    setCursorClientX(212);
    frame(45, 570, false, false);
    EXPECT_EQ(takeCalls(), (Lines{kCursorPos, kWindowRect, volumeLine(-2492)}));
    frame(650, 550, false, true);  // over Next
    EXPECT_EQ(takeCalls(), Lines());
    EXPECT_EQ(app->dragMode, DRAG_NONE);
    frame(650, 550, false, true);
    expectLoaded(1, 0, -2492);
}

// Press and release in one frame: the old drag ends, the new one stays.
TEST_F(InputMainScreen, APressAndAReleaseInOneFrame) {
    app->dragMode = DRAG_SEEK;
    app->dragLastX = 300;
    setCursorClientX(212);
    frame(212, 580, true, true);
    EXPECT_EQ(takeCalls(), (Lines{"Run", volumeLine(-2492), kCursorPos, kWindowRect, kCursorPos, kWindowRect}));
    EXPECT_EQ(app->dragMode, DRAG_VOLUME);
    frame(212, 580, false, false);
    EXPECT_EQ(app->dragMode, DRAG_VOLUME);
}

}  // namespace
