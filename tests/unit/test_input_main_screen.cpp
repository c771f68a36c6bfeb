// The main screen's mouse: buttons on a release, bars on a press, knobs dragged by
// the cursor's client x.
#include "test_movie_fixture.h"

namespace {

const LONG kWindowLeft = 100;
// The recorder's borders between the window's left edge and its client area.
const LONG kLeftBorder = fwrecord::kEdgeX + fwrecord::kFixedFrameX;
const LONGLONG kDuration = 100000000;
const int32_t kVolume = -700;

const char* const kCursorPos = "GetCursorPos";
const char* const kWindowRect = "GetWindowRect hwnd";

std::string seekLine(LONGLONG position) { return "SetPositions " + std::to_string(position) + " 1 null 0"; }
std::string volumeLine(int32_t volume) { return "put_Volume " + std::to_string(volume); }

}  // namespace

class InputMainScreen : public PlayerTest {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        setUpPlayer(true);
        // 0 single, 1 four clips, 2 two clips, 3 one clip, 4 single.
        app->itemCount = 5;
        setItem(0, 0, 0);
        setItem(1, 4, 1);
        setItem(2, 2, 5);
        setItem(3, 1, 7);
        setItem(4, 0, 8);
        app->volume = kVolume;
        fwrecord::dshow().duration = kDuration;
        fwrecord::win32().windowRect = {kWindowLeft, 50, kWindowLeft + 810, 680};
        cue(0, 0);
    }

    void cue(int32_t item, int32_t clip) {
        app->currentItem = item;
        app->currentClip = clip;
        ASSERT_EQ(app->loadMovie(item, clip), 1);
        takeCalls();
    }

    // Puts the cursor where its client x is x, whatever the mouse position says.
    void setCursorClientX(int32_t x) { fwrecord::win32().cursor = {x + kWindowLeft + kLeftBorder, 300}; }

    // One frame's input; the flags are cleared afterwards as the dispatch does.
    int32_t frame(int32_t x, int32_t y, bool press, bool release) {
        app->mouseX = x;
        app->mouseY = y;
        app->leftPressed = press ? 1 : 0;
        app->leftReleased = release ? 1 : 0;
        int32_t Result = app->handleMainScreenInput();
        app->leftPressed = 0;
        app->leftReleased = 0;
        return Result;
    }

    Lines loadAndRun(int32_t item, int32_t clip, int32_t volume = kVolume) {
        return concat(loadLines(clipPath(item, clip), 3, volume), {"Run"});
    }
};

// --- Buttons -------------------------------------------------------------------------

enum ButtonAction { NOTHING, LOAD, STOP, PLAY, THUMBNAILS };

struct ButtonCase {
    const char* name;
    int32_t item, clip;    // loaded before the release
    int32_t isPlaying;
    int32_t x, y;          // where the release happens
    ButtonAction action;
    int32_t toItem, toClip;
};

class InputMainScreenButton : public InputMainScreen, public ::testing::WithParamInterface<ButtonCase> {};

TEST_P(InputMainScreenButton, ActsOnlyInsideAnActiveButton) {
    const ButtonCase& Case = GetParam();
    cue(Case.item, Case.clip);
    app->isPlaying = Case.isPlaying;

    EXPECT_EQ(frame(Case.x, Case.y, false, true), 1);

    Lines Expected;
    int32_t Item = Case.item, Clip = Case.clip, IsPlaying = Case.isPlaying, Screen = SCREEN_MAIN;
    switch (Case.action) {
    case NOTHING: break;
    case LOAD:
        Expected = loadAndRun(Case.toItem, Case.toClip);
        Item = Case.toItem;
        Clip = Case.toClip;
        break;
    case STOP:
        Expected = {"Stop"};
        IsPlaying = 0;
        break;
    case PLAY:
        Expected = {"Run"};
        IsPlaying = 1;
        break;
    case THUMBNAILS:
        Expected = {"Pause", "put_Visible 0"};
        Screen = SCREEN_THUMBNAIL;
        break;
    }
    EXPECT_EQ(takeCalls(), Expected);
    EXPECT_EQ(app->currentItem, Item);
    EXPECT_EQ(app->currentClip, Clip);
    EXPECT_EQ(app->isPlaying, IsPlaying);
    EXPECT_EQ(app->screenMode, Screen);
    EXPECT_EQ(app->dragMode, DRAG_NONE);
    EXPECT_TRUE(fwrecord::win32().messageBoxes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    InputButtons, InputMainScreenButton,
    ::testing::Values(
        ButtonCase{"PreviousRightTopCorner", 2, 1, 1, 513, 535, LOAD, 1, 0},
        ButtonCase{"PreviousLeftBottomCorner", 1, 3, 0, 456, 579, LOAD, 0, 0},
        ButtonCase{"PreviousOnItem0", 0, 0, 1, 480, 550, NOTHING, 0, 0},
        ButtonCase{"LeftOfPrevious", 1, 0, 1, 455, 550, NOTHING, 0, 0},
        ButtonCase{"StopLeftTopCorner", 0, 0, 1, 514, 535, STOP, 0, 0},
        ButtonCase{"StopWhileOff", 0, 0, 0, 571, 579, STOP, 0, 0},
        ButtonCase{"AboveStop", 0, 0, 1, 540, 534, NOTHING, 0, 0},
        ButtonCase{"BelowStop", 0, 0, 1, 540, 580, NOTHING, 0, 0},
        ButtonCase{"PlayLeftTopCorner", 0, 0, 0, 572, 535, PLAY, 0, 0},
        ButtonCase{"PlayWhileOn", 0, 0, 1, 629, 579, PLAY, 0, 0},
        ButtonCase{"NextLeftTopCorner", 0, 0, 1, 630, 535, LOAD, 1, 0},
        ButtonCase{"NextFromAChosenClip", 1, 2, 0, 687, 579, LOAD, 2, 0},
        ButtonCase{"NextOnTheLastItem", 4, 0, 1, 650, 550, NOTHING, 0, 0},
        ButtonCase{"RightOfNext", 0, 0, 1, 688, 550, NOTHING, 0, 0},
        ButtonCase{"ThumbnailsLeftTopCorner", 0, 0, 1, 714, 535, THUMBNAILS, 0, 0},
        ButtonCase{"ThumbnailsRightBottomCorner", 0, 0, 0, 771, 579, THUMBNAILS, 0, 0},
        ButtonCase{"LeftOfThumbnails", 0, 0, 1, 713, 550, NOTHING, 0, 0},
        ButtonCase{"RightOfThumbnails", 0, 0, 1, 772, 550, NOTHING, 0, 0},
        ButtonCase{"ReleaseOnTheSeekBar", 0, 0, 1, 100, 540, NOTHING, 0, 0},
        ButtonCase{"Clip1LeftTopCorner", 1, 0, 1, 749, 130, LOAD, 1, 1},
        ButtonCase{"Clip1RightBottomCorner", 1, 0, 1, 781, 170, LOAD, 1, 1},
        ButtonCase{"Clip2", 1, 0, 1, 765, 205, LOAD, 1, 2},
        ButtonCase{"Clip3", 1, 0, 0, 765, 320, LOAD, 1, 3},
        ButtonCase{"Clip0", 1, 2, 1, 749, 55, LOAD, 1, 0},
        ButtonCase{"Clip0WhenCurrent", 1, 0, 1, 765, 75, NOTHING, 0, 0},
        ButtonCase{"Clip2WhenCurrent", 1, 2, 1, 765, 225, NOTHING, 0, 0},
        ButtonCase{"LeftOfClip1", 1, 0, 1, 748, 130, NOTHING, 0, 0},
        ButtonCase{"RightOfClip1", 1, 0, 1, 782, 130, NOTHING, 0, 0},
        ButtonCase{"BetweenClip0And1", 1, 2, 1, 765, 96, NOTHING, 0, 0},
        ButtonCase{"Clip1OfTwo", 2, 0, 1, 765, 150, LOAD, 2, 1},
        ButtonCase{"Clip0OfTwo", 2, 1, 1, 765, 75, LOAD, 2, 0},
        ButtonCase{"Clip2OfTwo", 2, 0, 1, 765, 225, NOTHING, 0, 0},
        ButtonCase{"Clip1OfOne", 3, 0, 1, 765, 150, NOTHING, 0, 0},
        ButtonCase{"Clip1OfSingle", 4, 0, 1, 765, 150, NOTHING, 0, 0}),
    [](const ::testing::TestParamInfo<ButtonCase>& Info) { return std::string(Info.param.name); });

// Param: the button's place and the clip it loads.
struct FailedLoadCase {
    const char* name;
    int32_t item, clip, x, y, toItem, toClip;
};

class InputMainScreenFailedLoad : public InputMainScreen, public ::testing::WithParamInterface<FailedLoadCase> {};

TEST_P(InputMainScreenFailedLoad, ShowsTheMessageAndEndsTheProgram) {
    const FailedLoadCase& Case = GetParam();
    cue(Case.item, Case.clip);
    fwrecord::dshow().renderFileResults[clipPath(Case.toItem, Case.toClip)] = E_FAIL;

    EXPECT_EQ(frame(Case.x, Case.y, false, true), 0);

    Lines Calls = takeCalls();
    ASSERT_GE(Calls.size(), 2u);
    EXPECT_EQ(Calls[Calls.size() - 2], "RenderFile " + clipPath(Case.toItem, Case.toClip));
    EXPECT_EQ(Calls.back().rfind("MessageBoxA hwnd Error!! ", 0), 0u);
    expectMovieFailedBox();
    EXPECT_EQ(app->currentItem, Case.toItem);
    EXPECT_EQ(app->currentClip, Case.toClip);
}

INSTANTIATE_TEST_SUITE_P(InputLoads, InputMainScreenFailedLoad,
                         ::testing::Values(FailedLoadCase{"Previous", 2, 0, 480, 550, 1, 0},
                                           FailedLoadCase{"Next", 0, 0, 650, 550, 1, 0},
                                           FailedLoadCase{"Clip", 1, 0, 765, 300, 1, 3}),
                         [](const ::testing::TestParamInfo<FailedLoadCase>& Info) {
                             return std::string(Info.param.name);
                         });

// --- The bars ------------------------------------------------------------------------

struct BarCase {
    int32_t x;
    LONGLONG seek;    // on a clip of kDuration
    int32_t volume;
};

// Columns beyond the bars are reached only by dragging.
bool onTheBars(int32_t x) { return x >= 38 && x <= 384; }

class InputMainScreenBar : public InputMainScreen, public ::testing::WithParamInterface<BarCase> {};

TEST_P(InputMainScreenBar, APressOnABarStartsADragAtItsColumn) {
    const BarCase& Case = GetParam();
    if (!onTheBars(Case.x)) return;
    setCursorClientX(Case.x);
    EXPECT_EQ(frame(Case.x, 554, true, false), 1);
    // The press seeks once; the drag step finds the cursor where the press left it.
    EXPECT_EQ(takeCalls(), (Lines{"Stop", seekLine(Case.seek), kCursorPos, kWindowRect, kCursorPos, kWindowRect}));
    EXPECT_EQ(app->dragMode, DRAG_SEEK);
    EXPECT_EQ(app->dragLastX, Case.x);
    frame(Case.x, 554, false, true);
    takeCalls();

    EXPECT_EQ(frame(Case.x, 567, true, false), 1);
    EXPECT_EQ(takeCalls(), (Lines{volumeLine(Case.volume), kCursorPos, kWindowRect, kCursorPos, kWindowRect}));
    EXPECT_EQ(app->volume, Case.volume);
    EXPECT_EQ(app->dragMode, DRAG_VOLUME);
    EXPECT_EQ(app->dragLastX, Case.x);
}

TEST_P(InputMainScreenBar, ADraggedKnobFollowsTheCursorNotTheMouse) {
    const BarCase& Case = GetParam();
    app->dragMode = DRAG_SEEK;
    app->dragLastX = Case.x + 1;
    setCursorClientX(Case.x);
    EXPECT_EQ(frame(0, 0, false, false), 1);
    EXPECT_EQ(takeCalls(), (Lines{kCursorPos, kWindowRect, seekLine(Case.seek), "StopWhenReady"}));
    EXPECT_EQ(app->dragLastX, Case.x);

    app->dragMode = DRAG_VOLUME;
    app->dragLastX = Case.x - 1;
    EXPECT_EQ(frame(0, 0, false, false), 1);
    EXPECT_EQ(takeCalls(), (Lines{kCursorPos, kWindowRect, volumeLine(Case.volume)}));
    EXPECT_EQ(app->volume, Case.volume);
    EXPECT_EQ(app->dragLastX, Case.x);
}

INSTANTIATE_TEST_SUITE_P(InputColumns, InputMainScreenBar,
                         ::testing::Values(BarCase{-40, 0, -5000}, BarCase{38, 0, -5000}, BarCase{44, 0, -5000},
                                           BarCase{45, 298507, -4985}, BarCase{100, 16716417, -4164},
                                           BarCase{212, 50149253, -2492}, BarCase{378, 99701492, -14},
                                           BarCase{379, kDuration, 0}, BarCase{384, kDuration, 0},
                                           BarCase{900, kDuration, 0}));

TEST_F(InputMainScreen, BarsActOnlyInsideTheirRectangles) {
    const POINT Outside[] = {{37, 540}, {385, 540}, {100, 534}, {100, 555}, {100, 566}, {100, 587}};
    for (const POINT& Point : Outside) {
        EXPECT_EQ(frame(Point.x, Point.y, true, false), 1);
        EXPECT_EQ(takeCalls(), Lines()) << Point.x << "," << Point.y;
        EXPECT_EQ(app->dragMode, DRAG_NONE);
    }
}

struct CursorCase {
    LONG windowLeft, cursorX;
    int32_t clientX;
};

TEST_F(InputMainScreen, CursorClientXTakesOffTheWindowsLeftEdgeAndBorders) {
    const CursorCase Cases[] = {{100, 205, 100}, {-20, 0, 15}, {0, 0, -5}, {300, 10, -295}, {0, 1900, 1895}};
    for (const CursorCase& Case : Cases) {
        fwrecord::win32().windowRect = {Case.windowLeft, -400, Case.windowLeft + 810, 230};
        fwrecord::win32().cursor = {Case.cursorX, -1000};
        EXPECT_EQ(app->cursorClientX(), Case.clientX) << Case.windowLeft << " " << Case.cursorX;
    }
}

// --- Drags -----------------------------------------------------------------------------

class InputMainScreenSeekDrag : public InputMainScreen, public ::testing::WithParamInterface<int32_t> {};

TEST_P(InputMainScreenSeekDrag, SeeksOncePerNewColumnAndRunsOnReleaseOnlyWithTheSequenceOn) {
    const int32_t IsPlaying = GetParam();
    app->isPlaying = IsPlaying;
    setCursorClientX(100);
    frame(100, 540, true, false);
    takeCalls();

    // The cursor holds still: nothing is sought.
    frame(300, 540, false, false);
    EXPECT_EQ(takeCalls(), (Lines{kCursorPos, kWindowRect}));

    const struct {
        int32_t x;
        LONGLONG seek;
    } Moves[] = {{212, 50149253}, {-30, 0}, {-31, 0}, {1000, kDuration}};
    for (const auto& Move : Moves) {
        setCursorClientX(Move.x);
        frame(100, 540, false, false);
        EXPECT_EQ(takeCalls(), (Lines{kCursorPos, kWindowRect, seekLine(Move.seek), "StopWhenReady"})) << Move.x;
    }

    // Released over the play button: the drag ends and the button is not pressed.
    EXPECT_EQ(frame(600, 550, false, true), 1);
    EXPECT_EQ(takeCalls(), IsPlaying == 1 ? Lines{"Run"} : Lines());
    EXPECT_EQ(app->isPlaying, IsPlaying);
    EXPECT_EQ(app->dragMode, DRAG_NONE);

    // Over: the cursor no longer matters.
    setCursorClientX(50);
    frame(600, 550, false, false);
    EXPECT_EQ(takeCalls(), Lines());
}

INSTANTIATE_TEST_SUITE_P(InputSequence, InputMainScreenSeekDrag, ::testing::Values(1, 0));

TEST_F(InputMainScreen, AVolumeDragChangesTheVolumeThatLaterLoadsApply) {
    setCursorClientX(45);
    frame(45, 570, true, false);
    EXPECT_EQ(fwrecord::callsStartingWith("put_Volume"), Lines{volumeLine(-4985)});
    takeCalls();

    setCursorClientX(212);
    frame(45, 570, false, false);
    frame(45, 570, false, false);
    EXPECT_EQ(takeCalls(), (Lines{kCursorPos, kWindowRect, volumeLine(-2492), kCursorPos, kWindowRect}));

    // Released over the next-item button: the drag ends, nothing is loaded.
    frame(650, 550, false, true);
    EXPECT_EQ(takeCalls(), Lines());
    EXPECT_EQ(app->currentItem, 0);
    EXPECT_EQ(app->dragMode, DRAG_NONE);

    frame(650, 550, false, true);
    EXPECT_EQ(takeCalls(), loadAndRun(1, 0, -2492));
}

TEST_F(InputMainScreen, APressAndAReleaseInOneFrameEndTheOldDragBeforeStartingTheNew) {
    app->dragMode = DRAG_SEEK;
    app->dragLastX = 300;
    setCursorClientX(100);
    frame(100, 540, true, true);
    EXPECT_EQ(takeCalls(),
              (Lines{"Run", "Stop", seekLine(16716417), kCursorPos, kWindowRect, kCursorPos, kWindowRect}));
    EXPECT_EQ(app->dragMode, DRAG_SEEK);

    // Without a drag the release finds no button on the bar; the press starts a drag that stays.
    app->dragMode = DRAG_NONE;
    setCursorClientX(212);
    frame(212, 580, true, true);
    EXPECT_EQ(takeCalls(), (Lines{volumeLine(-2492), kCursorPos, kWindowRect, kCursorPos, kWindowRect}));
    EXPECT_EQ(app->dragMode, DRAG_VOLUME);
    frame(212, 580, false, false);
    EXPECT_EQ(app->dragMode, DRAG_VOLUME);
}
