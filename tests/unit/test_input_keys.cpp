// The keys: each one does what a release on its button does, from the same state;
// repeats, the volume steps, the gallery's highlight, the queue, and the display.
#include "test_movie_fixture.h"

#include "errors/errors.h"
#include "gfx/layout.h"

namespace {

using fwrecord::sendMessage;

const LPARAM kFirstPress = 1;         // repeat count 1, bit 30 clear
const LPARAM kRepeat = 0x40000001;    // bit 30: the key was down already
const POINT kAway = {795, 5};         // on no control of either screen
const POINT kNoPlace = {-100, -100};  // a key with no button: nothing is clicked

struct Start {
    int32_t item, clip, isPlaying, screen, page, highlight;
};

struct Outcome {
    int32_t result;
    Lines calls;
    int32_t item, clip, isPlaying, screen, page, volume, highlight;
    size_t boxes;
    bool operator==(const Outcome& o) const {
        return result == o.result && calls == o.calls && item == o.item && clip == o.clip && isPlaying == o.isPlaying &&
               screen == o.screen && page == o.page && volume == o.volume && highlight == o.highlight &&
               boxes == o.boxes;
    }
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    out << "result " << o.result << " item " << o.item << " clip " << o.clip << " playing " << o.isPlaying << " screen "
        << o.screen << " page " << o.page << " volume " << o.volume << " highlight " << o.highlight << " boxes "
        << o.boxes << " calls:";
    for (const std::string& line : o.calls) out << " [" << line << "]";
    return out;
}

POINT middle(const RECT& Rect) { return {(Rect.left + Rect.right) / 2, (Rect.top + Rect.bottom) / 2}; }

class InputKeys : public PlayerTest {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        setUpPlayer();
        // 0 single, 1 four clips, 2 two clips, 3 single; cells 0 to 5 name them, cell 30 item 3.
        app->itemCount = 4;
        setItem(0, 0, 0);
        setItem(1, 4, 1);
        setItem(2, 2, 5);
        setItem(3, 0, 30);
        const ThumbnailEntry entries[] = {{0, 0}, {1, 0}, {1, 1}, {1, 2}, {1, 3}, {2, 0}};
        for (int32_t k = 0; k < 6; ++k) app->thumbnailTable[k] = entries[k];
        app->thumbnailTable[30] = {3, 0};
        app->volume = -1000;
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

    Outcome outcome(int32_t result) {
        return {result,
                takeCalls(),
                app->currentItem,
                app->currentClip,
                app->isPlaying,
                app->screenMode,
                app->thumbnailPage,
                app->volume,
                app->galleryHighlight,
                fwrecord::win32().messageBoxes.size()};
    }

    // One frame's input after a release at point.
    Outcome click(POINT point) {
        app->mouseX = point.x;
        app->mouseY = point.y;
        app->leftReleased = 1;
        return outcome(app->handleInput());
    }

    // One frame's input after the key went down, with the mouse away.
    Outcome key(int32_t code, LPARAM lParam = kFirstPress) {
        app->mouseX = kAway.x;
        app->mouseY = kAway.y;
        sendMessage(WM_KEYDOWN, static_cast<WPARAM>(code), lParam);
        return outcome(app->handleInput());
    }
};

// Every key against a release on its button (or on nothing, where it means nothing),
// from the same state: the same calls, the same fields, the same message.
TEST_F(InputKeys, EachKeyDoesWhatAReleaseOnItsButtonDoes) {
    const RECT cellOf2 = cellRect(0, 2);
    const struct {
        const char* name;
        Start start;
        int32_t code;
        POINT button;
    } cases[] = {
        {"SpacePlayingIsStop", {0, 0, 1, SCREEN_MAIN, 0, -1}, VK_SPACE, middle(kStopRect)},
        {"SpaceStoppedIsPlay", {0, 0, 0, SCREEN_MAIN, 0, -1}, VK_SPACE, middle(kPlayRect)},
        {"LeftIsPrevious", {2, 1, 1, SCREEN_MAIN, 0, -1}, VK_LEFT, middle(kPreviousRect)},
        {"LeftOnItem0", {0, 0, 1, SCREEN_MAIN, 0, -1}, VK_LEFT, middle(kPreviousRect)},
        {"RightIsNextWhileStopped", {1, 2, 0, SCREEN_MAIN, 0, -1}, VK_RIGHT, middle(kNextRect)},
        {"RightOnTheLastItem", {3, 0, 1, SCREEN_MAIN, 0, -1}, VK_RIGHT, middle(kNextRect)},
        {"Key3IsClip2", {1, 0, 1, SCREEN_MAIN, 0, -1}, '3', middle(kClipButtonRects[2])},
        {"Key1OnTheCurrentClip", {1, 0, 1, SCREEN_MAIN, 0, -1}, '1', middle(kClipButtonRects[0])},
        {"Key4OnTwoClips", {2, 0, 1, SCREEN_MAIN, 0, -1}, '4', middle(kClipButtonRects[3])},
        {"Key2OnASingleItem", {0, 0, 1, SCREEN_MAIN, 0, -1}, '2', middle(kClipButtonRects[1])},
        {"GOpensTheGallery", {0, 0, 1, SCREEN_MAIN, 0, -1}, 'G', middle(kThumbnailButtonRect)},
        {"EscapeOnTheMainScreen", {0, 0, 1, SCREEN_MAIN, 0, -1}, VK_ESCAPE, kNoPlace},
        {"EscapeIsBack", {1, 1, 0, SCREEN_THUMBNAIL, 0, -1}, VK_ESCAPE, middle(kBackButtonRect)},
        {"BackspaceIsBack", {1, 1, 1, SCREEN_THUMBNAIL, 1, -1}, VK_BACK, middle(kBackButtonRect)},
        {"GIsBack", {1, 1, 1, SCREEN_THUMBNAIL, 0, -1}, 'G', middle(kBackButtonRect)},
        {"PageDownOnPage0", {0, 0, 1, SCREEN_THUMBNAIL, 0, -1}, VK_NEXT, middle(kPageButtonRect)},
        {"PageUpOnPage1", {0, 0, 1, SCREEN_THUMBNAIL, 1, -1}, VK_PRIOR, middle(kPageButtonRect)},
        {"PageUpOnPage0", {0, 0, 1, SCREEN_THUMBNAIL, 0, -1}, VK_PRIOR, kNoPlace},
        {"ReturnPlaysTheHighlight", {0, 0, 0, SCREEN_THUMBNAIL, 0, 2}, VK_RETURN, middle(cellOf2)},
        {"ReturnOnAnotherPage", {0, 0, 1, SCREEN_THUMBNAIL, 1, 2}, VK_RETURN, kNoPlace},
        {"ReturnWithoutHighlight", {0, 0, 1, SCREEN_THUMBNAIL, 0, -1}, VK_RETURN, kNoPlace},
        {"SpaceOnTheGallery", {0, 0, 1, SCREEN_THUMBNAIL, 0, -1}, VK_SPACE, kNoPlace},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        begin(c.start);
        Outcome byClick = click(c.button);
        begin(c.start);
        Outcome byKey = key(c.code);
        EXPECT_EQ(byKey, byClick);
    }
}

// A clip that fails to load from a key shows the button's message and ends the loop.
TEST_F(InputKeys, AFailedLoadFromAKeyIsTheButtonsFailure) {
    fwrecord::dshow().renderFileResults[clipPath(2, 0)] = E_FAIL;
    begin({1, 0, 1, SCREEN_MAIN, 0, -1});
    Outcome byClick = click(middle(kNextRect));
    begin({1, 0, 1, SCREEN_MAIN, 0, -1});
    Outcome byKey = key(VK_RIGHT);
    EXPECT_EQ(byKey, byClick);
    EXPECT_EQ(byKey.result, 0);
    ASSERT_EQ(fwrecord::win32().messageBoxes.size(), 1u);
    EXPECT_EQ(fwrecord::win32().messageBoxes[0].text, kMessageMovieFailed);
}

// Up and Down step a twentieth of the range, stopping at its ends, and repeat while
// held; the buttons' keys do not repeat.
TEST_F(InputKeys, VolumeStepsRepeatButButtonsDoNot) {
    begin({1, 0, 1, SCREEN_MAIN, 0, -1});
    EXPECT_EQ(key(VK_UP).calls, Lines{"put_Volume -750"});
    EXPECT_EQ(key(VK_UP, kRepeat).volume, -500);
    for (int i = 0; i < 3; ++i) key(VK_UP, kRepeat);
    EXPECT_EQ(app->volume, 0);
    EXPECT_EQ(key(VK_DOWN).volume, -250);
    app->volume = -4900;
    EXPECT_EQ(key(VK_DOWN, kRepeat).volume, -5000);
    EXPECT_EQ(key(VK_DOWN, kRepeat).volume, -5000);

    for (int32_t code : {VK_SPACE, VK_LEFT, VK_RIGHT, static_cast<int32_t>('2'), static_cast<int32_t>('G')}) {
        begin({1, 0, 1, SCREEN_MAIN, 0, -1});
        Outcome held = key(code, kRepeat);
        EXPECT_EQ(held.calls, Lines()) << code;
        EXPECT_EQ(held.screen, SCREEN_MAIN) << code;
        EXPECT_EQ(held.isPlaying, 1) << code;
    }
}

// The arrows walk the unlocked cells of the page shown: across rows left and right,
// along the column up and down; they start at the first unlocked cell and repeat.
TEST_F(InputKeys, ArrowsMoveTheHighlightOverUnlockedCells) {
    begin({0, 0, 1, SCREEN_THUMBNAIL, 0, -1});  // unlocked: 0, 2, 3, 5, 9 and 30
    const struct {
        int32_t code;
        LPARAM lParam;
        int32_t highlight;
    } steps[] = {{VK_LEFT, kFirstPress, 0}, {VK_RIGHT, kFirstPress, 2}, {VK_RIGHT, kRepeat, 3},
                 {VK_RIGHT, kRepeat, 5},    {VK_RIGHT, kRepeat, 9},     {VK_RIGHT, kRepeat, 9},
                 {VK_UP, kFirstPress, 2},   {VK_UP, kRepeat, 2},        {VK_DOWN, kFirstPress, 9},
                 {VK_LEFT, kFirstPress, 5}, {VK_DOWN, kFirstPress, 5}};
    for (const auto& step : steps) {
        Outcome moved = key(step.code, step.lParam);
        EXPECT_EQ(moved.highlight, step.highlight) << step.code;
        EXPECT_EQ(moved.calls, Lines());
    }
    // The other page has its own first unlocked cell; back on page 0 the highlight is there again.
    EXPECT_EQ(key(VK_NEXT).page, 1);
    EXPECT_EQ(key(VK_DOWN).highlight, 30);
    EXPECT_EQ(key(VK_PRIOR).page, 0);
    EXPECT_EQ(key(VK_RIGHT).highlight, 0);
}

// The highlighted cell is drawn as a hovered one is, on its page only.
TEST_F(InputKeys, TheHighlightIsDrawnWithTheHoverImage) {
    ASSERT_EQ(app->createDevice(), 1);
    IDirect3DTexture9* textures[3] = {};
    for (IDirect3DTexture9*& texture : textures)
        ASSERT_EQ(app->device->CreateTexture(1024, 1024, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
                  D3D_OK);
    app->texThumbnailBG1 = textures[0];
    app->texThumbnailBG2 = textures[1];
    app->texThumbnail = textures[2];
    std::memset(app->unlockFlags, 1, sizeof(app->unlockFlags));
    app->mouseX = kAway.x;
    app->mouseY = kAway.y;
    for (int32_t page : {0, 1}) {
        app->thumbnailPage = page;
        app->galleryHighlight = 9;
        fwrecord::d3d().draws.clear();
        app->drawThumbnailScreen();
        // Background, page button, back button, and on page 0 the cell's thumbnail.
        const std::vector<fwrecord::RecordedDraw>& draws = fwrecord::d3d().draws;
        ASSERT_EQ(draws.size(), page == 0 ? 4u : 3u);
        if (page == 0) {
            const RECT cell = cellRect(1, 2);
            EXPECT_EQ(draws[2].vertices[0].x, static_cast<float>(cell.left));
            EXPECT_EQ(draws[2].vertices[0].y, static_cast<float>(cell.top));
        }
    }
}

// Keys wait in order, one a frame; a full queue drops the rest. While a knob is
// dragged a key presses nothing, as a release then does not.
TEST_F(InputKeys, KeysWaitTheirTurnAndADragIgnoresThem) {
    begin({0, 0, 1, SCREEN_MAIN, 0, -1});
    for (int32_t code : {VK_RIGHT, VK_RIGHT, static_cast<int32_t>('2')}) sendMessage(WM_KEYDOWN, code, kFirstPress);
    const int32_t items[] = {1, 2, 2};
    const int32_t clips[] = {0, 0, 1};
    for (int i = 0; i < 3; ++i) {
        app->handleInput();
        EXPECT_EQ(app->currentItem, items[i]);
        EXPECT_EQ(app->currentClip, clips[i]);
    }
    app->volume = kQuietestVolume;
    for (int i = 0; i < MAX_QUEUED_KEYS + 4; ++i) sendMessage(WM_KEYDOWN, VK_UP, kFirstPress);
    EXPECT_EQ(app->keyCount, MAX_QUEUED_KEYS);
    while (app->keyCount > 0) app->handleInput();
    EXPECT_EQ(app->volume, kQuietestVolume + MAX_QUEUED_KEYS * kVolumeStep);

    begin({1, 0, 1, SCREEN_MAIN, 0, -1});
    app->dragMode = DRAG_SEEK;
    Outcome dragged = key(VK_RIGHT);  // the drag step alone follows the cursor
    EXPECT_EQ(dragged.calls, (Lines{"GetCursorPos", "GetWindowRect hwnd", "SetPositions 0 1 null 0", "StopWhenReady"}));
    EXPECT_EQ(app->dragMode, DRAG_SEEK);
    EXPECT_EQ(dragged.item, 1);
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
