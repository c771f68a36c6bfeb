// The keys: each one does what a release on its button does, from the same state;
// repeats, the volume steps, the gallery's highlight, the queue, and the display.
#include "test_movie_fixture.h"

#include "gfx/layout.h"

namespace {

using fwrecord::sendMessage;

const LPARAM kFirstPress = 1;         // repeat count 1, bit 30 clear
const LPARAM kRepeat = 0x40000001;    // bit 30: the key was down already
const POINT kNoPlace = {-100, -100};  // a key with no button: nothing is clicked

struct Start {
    int32_t item, clip, isPlaying, screen, page, highlight;
};

POINT middle(const RECT& Rect) { return {(Rect.left + Rect.right) / 2, (Rect.top + Rect.bottom) / 2}; }

class InputKeys : public PlayerTest {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        setUpPlayer();
        // 0 single, 1 four clips, 2 two clips (its first fails to load), 3 single; cells 0 to 5 name them.
        app->itemCount = 4;
        setItem(0, 0, 0);
        setItem(1, 4, 1);
        setItem(2, 2, 5);
        setItem(3, 0, 30);
        fwrecord::dshow().renderFileResults[clipPath(2, 0)] = E_FAIL;
        const ThumbnailEntry entries[] = {{0, 0}, {1, 0}, {1, 1}, {1, 2}, {1, 3}, {2, 0}};
        for (int32_t k = 0; k < 6; ++k) app->thumbnailTable[k] = entries[k];
    }

    void begin(const Start& s) {
        std::memset(app->unlockFlags, 0, sizeof(app->unlockFlags));
        for (int32_t k : {0, 2, 3, 5, 9, 30}) app->unlockFlags[k] = 1;
        cue(s.item, s.clip);
        app->isPlaying = s.isPlaying;
        app->screenMode = s.screen;
        app->thumbnailPage = s.page;
        app->galleryHighlight = s.highlight;
        app->volume = -1000;
        app->dragMode = DRAG_NONE;
        fwrecord::win32().messageBoxes.clear();
    }

    // What a frame's input did: its result, the calls, the fields a button changes, the boxes.
    std::string outcome(int32_t result) {
        std::string out = "result " + std::to_string(result);
        for (int32_t field : {app->currentItem, app->currentClip, app->isPlaying, app->screenMode, app->thumbnailPage,
                              app->volume, static_cast<int32_t>(fwrecord::win32().messageBoxes.size())})
            out += " " + std::to_string(field);
        for (const std::string& line : takeCalls()) out += " [" + line + "]";
        return out;
    }

    std::string click(POINT point) {
        app->mouseX = point.x;
        app->mouseY = point.y;
        app->leftReleased = 1;
        return outcome(app->handleInput());
    }

    // One frame's input after the key went down, with the mouse on no control.
    std::string key(int32_t code, LPARAM lParam = kFirstPress) {
        app->mouseX = 795;
        app->mouseY = 5;
        sendMessage(WM_KEYDOWN, static_cast<WPARAM>(code), lParam);
        return outcome(app->handleInput());
    }
};

// Every key against a release on its button (or on nothing, where it means nothing),
// from the same state: the same calls, fields and message, a failed load included.
TEST_F(InputKeys, EachKeyDoesWhatAReleaseOnItsButtonDoes) {
    const struct {
        const char* name;
        Start start;
        int32_t code;
        POINT button;
    } cases[] = {
        {"SpacePlayingIsStop", {0, 0, 1, SCREEN_MAIN, 0, -1}, VK_SPACE, middle(kStopRect)},
        {"SpaceStoppedIsPlay", {0, 0, 0, SCREEN_MAIN, 0, -1}, VK_SPACE, middle(kPlayRect)},
        {"LeftOnItem0", {0, 0, 1, SCREEN_MAIN, 0, -1}, VK_LEFT, middle(kPreviousRect)},
        {"RightWhileStopped", {0, 0, 0, SCREEN_MAIN, 0, -1}, VK_RIGHT, middle(kNextRect)},
        {"RightToAFailingClip", {1, 2, 1, SCREEN_MAIN, 0, -1}, VK_RIGHT, middle(kNextRect)},
        {"RightOnTheLastItem", {3, 0, 1, SCREEN_MAIN, 0, -1}, VK_RIGHT, middle(kNextRect)},
        {"Key3IsClip2", {1, 0, 1, SCREEN_MAIN, 0, -1}, '3', middle(kClipButtonRects[2])},
        {"Key1OnTheCurrentClip", {1, 0, 1, SCREEN_MAIN, 0, -1}, '1', middle(kClipButtonRects[0])},
        {"Key4OnTwoClips", {2, 1, 1, SCREEN_MAIN, 0, -1}, '4', middle(kClipButtonRects[3])},
        {"GOpensTheGallery", {0, 0, 1, SCREEN_MAIN, 0, -1}, 'G', middle(kThumbnailButtonRect)},
        {"EscapeOnTheMainScreen", {0, 0, 1, SCREEN_MAIN, 0, -1}, VK_ESCAPE, kNoPlace},
        {"EscapeIsBack", {1, 1, 0, SCREEN_THUMBNAIL, 0, -1}, VK_ESCAPE, middle(kBackButtonRect)},
        {"BackspaceIsBack", {1, 1, 1, SCREEN_THUMBNAIL, 1, -1}, VK_BACK, middle(kBackButtonRect)},
        {"GIsBack", {1, 1, 1, SCREEN_THUMBNAIL, 0, -1}, 'G', middle(kBackButtonRect)},
        {"PageDownOnPage0", {0, 0, 1, SCREEN_THUMBNAIL, 0, -1}, VK_NEXT, middle(kPageButtonRect)},
        {"PageUpOnPage0", {0, 0, 1, SCREEN_THUMBNAIL, 0, -1}, VK_PRIOR, kNoPlace},
        {"ReturnPlaysTheHighlight", {0, 0, 0, SCREEN_THUMBNAIL, 0, 2}, VK_RETURN, middle(cellRect(0, 2))},
        {"ReturnOnAnotherPage", {0, 0, 1, SCREEN_THUMBNAIL, 1, 2}, VK_RETURN, kNoPlace},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        begin(c.start);
        std::string byClick = click(c.button);
        begin(c.start);
        EXPECT_EQ(key(c.code), byClick);
    }
}

// Up and Down step a twentieth of the range, stopping at its ends, and repeat while
// held; the buttons' keys do not repeat.
TEST_F(InputKeys, VolumeStepsRepeatButButtonsDoNot) {
    begin({1, 0, 1, SCREEN_MAIN, 0, -1});
    const struct {
        int32_t code;
        LPARAM lParam;
        int32_t volume;
    } steps[] = {{VK_UP, kFirstPress, -750}, {VK_UP, kRepeat, -500}, {VK_UP, kRepeat, -250},
                 {VK_UP, kRepeat, 0},        {VK_UP, kRepeat, 0},    {VK_DOWN, kRepeat, -250}};
    for (const auto& step : steps) {
        key(step.code, step.lParam);
        EXPECT_EQ(app->volume, step.volume);
        EXPECT_EQ(fwrecord::dshow().volume, step.volume);
    }
    app->volume = -4900;
    key(VK_DOWN);
    EXPECT_EQ(app->volume, kQuietestVolume);
    for (int32_t code : {VK_SPACE, VK_RIGHT, static_cast<int32_t>('2'), static_cast<int32_t>('G')})
        EXPECT_EQ(key(code, kRepeat), outcome(1)) << code;  // nothing called, nothing changed
}

// The arrows walk the unlocked cells of the page shown: across rows left and right,
// along the column up and down; from none they start at the first unlocked cell.
TEST_F(InputKeys, ArrowsMoveTheHighlightOverUnlockedCells) {
    begin({0, 0, 1, SCREEN_THUMBNAIL, 0, -1});  // unlocked: 0, 2, 3, 5, 9 and 30
    const struct {
        int32_t code;
        int32_t highlight;
    } steps[] = {{VK_LEFT, 0}, {VK_RIGHT, 2}, {VK_RIGHT, 3}, {VK_RIGHT, 5}, {VK_RIGHT, 9}, {VK_RIGHT, 9},
                 {VK_UP, 2},   {VK_UP, 2},    {VK_DOWN, 9},  {VK_LEFT, 5},  {VK_DOWN, 5}};
    for (const auto& step : steps) {
        key(step.code, kRepeat);  // held: they repeat
        EXPECT_EQ(app->galleryHighlight, step.highlight) << step.code;
    }
    key(VK_NEXT);  // page 1 has a cell of its own; back on page 0 the highlight starts again
    key(VK_UP);
    EXPECT_EQ(app->galleryHighlight, 30);
    key(VK_PRIOR);
    key(VK_RIGHT);
    EXPECT_EQ(app->galleryHighlight, 0);
}

// Keys wait in order, one a frame; a full queue drops the rest. While a knob is
// dragged a key presses nothing, as a release then does not.
TEST_F(InputKeys, KeysWaitTheirTurnAndADragTakesNone) {
    begin({0, 0, 1, SCREEN_MAIN, 0, -1});
    for (int32_t code : {VK_RIGHT, static_cast<int>('2'), VK_LEFT}) sendMessage(WM_KEYDOWN, code, kFirstPress);
    const POINT shown[] = {{1, 0}, {1, 1}, {0, 0}};  // item, clip after each frame
    for (const POINT& expected : shown) {
        app->handleInput();
        EXPECT_EQ(app->currentItem, expected.x);
        EXPECT_EQ(app->currentClip, expected.y);
    }
    app->volume = kQuietestVolume;
    for (int i = 0; i < MAX_QUEUED_KEYS + 4; ++i) sendMessage(WM_KEYDOWN, VK_UP, kFirstPress);
    while (app->keyCount > 0) app->handleInput();
    EXPECT_EQ(app->volume, kQuietestVolume + MAX_QUEUED_KEYS * kVolumeStep);

    begin({1, 0, 1, SCREEN_MAIN, 0, -1});
    app->dragMode = DRAG_SEEK;
    EXPECT_EQ(key(VK_RIGHT),
              "result 1 1 0 1 0 0 -1000 0 [GetCursorPos] [GetWindowRect hwnd] [SetPositions 0 1 null 0] "
              "[StopWhenReady]");  // the drag step alone
    EXPECT_EQ(app->keyCount, 0);
}

// The display is asked to stay on while the sequence plays on the main screen, and
// let go when it stops, on the gallery, and at shutdown; each only on a change.
TEST_F(InputKeys, TheDisplayStaysOnWhileTheSequencePlaysOnTheMainScreen) {
    const std::string on = "SetThreadExecutionState 0x80000002", off = "SetThreadExecutionState 0x80000000";
    ASSERT_EQ(app->createDevice(), 1);
    begin({0, 0, 1, SCREEN_MAIN, 0, -1});
    const struct {
        int32_t isPlaying, screen;
        Lines calls;
    } frames[] = {{1, SCREEN_MAIN, {on}}, {1, SCREEN_MAIN, {}},         {0, SCREEN_MAIN, {off}},
                  {1, SCREEN_MAIN, {on}}, {1, SCREEN_THUMBNAIL, {off}}, {1, SCREEN_MAIN, {on}}};
    for (const auto& frame : frames) {
        app->isPlaying = frame.isPlaying;
        app->screenMode = frame.screen;
        app->runFrame();
        EXPECT_EQ(fwrecord::callsStartingWith("SetThreadExecutionState"), frame.calls);
        takeCalls();
    }
    app->shutDown();
    EXPECT_EQ(fwrecord::callsStartingWith("SetThreadExecutionState"), Lines{off});
    EXPECT_EQ(fwrecord::win32().executionState, static_cast<EXECUTION_STATE>(ES_CONTINUOUS));
}

}  // namespace
