// The gallery's mouse: the page button, unlocked cells, the back button.
#include "test_movie_fixture.h"

class InputThumbnailScreen : public PlayerTest {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        setUpPlayer(true);
        // One single clip per cell: item k, sequence number k, named by entry k.
        app->itemCount = 56;
        for (int32_t k = 0; k < 56; ++k) {
            setItem(k, 0, k);
            app->thumbnailTable[k] = {k, 0};
        }
        app->volume = -100;
        app->currentItem = 3;
        ASSERT_EQ(app->loadMovie(3, 0), 1);
        std::memset(app->unlockFlags, 0, sizeof(app->unlockFlags));
        app->screenMode = SCREEN_THUMBNAIL;
        takeCalls();
    }

    int32_t release(int32_t x, int32_t y) {
        app->mouseX = x;
        app->mouseY = y;
        app->leftReleased = 1;
        int32_t Result = app->handleThumbnailScreenInput();
        app->leftReleased = 0;
        return Result;
    }

    // Nothing happened: no call, still the gallery, the same clip.
    void expectNoAction() {
        EXPECT_EQ(takeCalls(), Lines());
        EXPECT_EQ(app->screenMode, SCREEN_THUMBNAIL);
        EXPECT_EQ(app->currentItem, 3);
        EXPECT_EQ(app->currentClip, 0);
    }
};

TEST_F(InputThumbnailScreen, OnlyAReleaseActs) {
    app->unlockFlags[0] = 1;
    app->mouseX = 50;
    app->mouseY = 100;
    app->leftPressed = 1;
    EXPECT_EQ(app->handleThumbnailScreenInput(), 1);
    app->mouseX = 750;
    app->mouseY = 550;  // the back button
    EXPECT_EQ(app->handleThumbnailScreenInput(), 1);
    expectNoAction();
}

TEST_F(InputThumbnailScreen, ThePageButtonFlipsBothWaysAtItsEdges) {
    const POINT Corners[] = {{721, 24}, {778, 68}, {721, 68}, {778, 24}};
    int32_t Page = 0;
    for (const POINT& Corner : Corners) {
        EXPECT_EQ(release(Corner.x, Corner.y), 1);
        Page = 1 - Page;
        EXPECT_EQ(app->thumbnailPage, Page);
    }
    const POINT Outside[] = {{720, 40}, {779, 40}, {750, 23}, {750, 69}};
    for (const POINT& Point : Outside) {
        EXPECT_EQ(release(Point.x, Point.y), 1);
        EXPECT_EQ(app->thumbnailPage, Page);
    }
    expectNoAction();
}

struct CellCase {
    const char* name;
    int32_t page;
    int32_t flagIndex;    // the one flag byte set
    uint8_t flagValue;
    int32_t x, y;
    int32_t chosen;       // cell loaded, or -1
};

class InputThumbnailCell : public InputThumbnailScreen, public ::testing::WithParamInterface<CellCase> {};

TEST_P(InputThumbnailCell, AnUnlockedCellUnderTheReleasePlaysItsEntry) {
    const CellCase& Case = GetParam();
    app->thumbnailPage = Case.page;
    app->unlockFlags[Case.flagIndex] = Case.flagValue;
    const int32_t IsPlaying = Case.chosen % 2 == 0 ? 1 : 0;
    app->isPlaying = IsPlaying;

    EXPECT_EQ(release(Case.x, Case.y), 1);

    if (Case.chosen < 0) {
        expectNoAction();
        return;
    }
    EXPECT_EQ(takeCalls(), concat(loadLines(clipPath(Case.chosen, 0), 3, -100), {"put_Visible -1", "Run"}));
    EXPECT_EQ(app->screenMode, SCREEN_MAIN);
    EXPECT_EQ(app->currentItem, Case.chosen);
    EXPECT_EQ(app->currentClip, 0);
    EXPECT_EQ(app->isPlaying, IsPlaying);
    EXPECT_EQ(app->thumbnailPage, Case.page);
}

INSTANTIATE_TEST_SUITE_P(
    InputCells, InputThumbnailCell,
    ::testing::Values(CellCase{"Cell0RightBottomEdge", 0, 0, 1, 128, 165, 0},
                      CellCase{"Cell0LeftTopEdge", 0, 0, 1, 29, 91, 0},
                      CellCase{"RightOfCell0", 0, 0, 1, 129, 165, -1},
                      CellCase{"BelowCell0", 0, 0, 1, 128, 166, -1},
                      CellCase{"GapBetweenCells", 0, 1, 1, 130, 100, -1},
                      CellCase{"Cell1", 0, 1, 1, 136, 100, 1},
                      CellCase{"FlagTwoIsLocked", 0, 0, 2, 50, 100, -1},
                      CellCase{"FlagZeroIsLocked", 0, 0, 0, 50, 100, -1},
                      CellCase{"Cell9", 0, 9, 1, 260, 230, 9},
                      CellCase{"Cell27", 0, 27, 1, 770, 489, 27},
                      CellCase{"Page1Cell28", 1, 28, 1, 29, 91, 28},
                      CellCase{"Page1Cell55", 1, 55, 1, 770, 489, 55},
                      CellCase{"Page1ShowsNoPage0Flag", 1, 0, 1, 50, 100, -1},
                      CellCase{"Page0ShowsNoPage1Flag", 0, 28, 1, 50, 100, -1}),
    [](const ::testing::TestParamInfo<CellCase>& Info) { return std::string(Info.param.name); });

TEST_F(InputThumbnailScreen, ChoosingTheLoadedClipLoadsItAgain) {
    app->unlockFlags[3] = 1;
    app->clipPlayCount = 2;
    EXPECT_EQ(release(400, 100), 1);  // cell 3
    EXPECT_EQ(takeCalls(), concat(loadLines(clipPath(3, 0), 3, -100), {"put_Visible -1", "Run"}));
    EXPECT_EQ(app->clipPlayCount, 0);
}

TEST_F(InputThumbnailScreen, AnEntryNamingAClipOfAnItemWithSeveralPlaysThatClip) {
    setItem(7, 3, 40);
    app->thumbnailTable[41] = {7, 1};
    app->unlockFlags[41] = 1;
    app->thumbnailPage = 1;
    EXPECT_EQ(release(29 + 107 * 6, 91 + 108 * 1), 1);  // page 1, row 1, column 6
    EXPECT_EQ(app->currentItem, 7);
    EXPECT_EQ(app->currentClip, 1);
    EXPECT_EQ(fwrecord::callsStartingWith("RenderFile"), Lines{"RenderFile " + clipPath(7, 1)});
}

TEST_F(InputThumbnailScreen, TheBackButtonResumesTheClipWithoutTouchingTheSequence) {
    for (int32_t IsPlaying : {0, 1}) {
        const POINT Corners[] = {{714, 535}, {771, 579}};
        for (const POINT& Corner : Corners) {
            app->screenMode = SCREEN_THUMBNAIL;
            app->isPlaying = IsPlaying;
            EXPECT_EQ(release(Corner.x, Corner.y), 1);
            EXPECT_EQ(takeCalls(), (Lines{"put_Visible -1", "Run"}));
            EXPECT_EQ(app->screenMode, SCREEN_MAIN);
            EXPECT_EQ(app->isPlaying, IsPlaying);
            EXPECT_EQ(app->currentItem, 3);
        }
    }
    app->screenMode = SCREEN_THUMBNAIL;
    const POINT Outside[] = {{713, 550}, {772, 550}, {740, 534}, {740, 580}};
    for (const POINT& Point : Outside) EXPECT_EQ(release(Point.x, Point.y), 1);
    expectNoAction();
}

struct EntryCase {
    const char* name;
    ThumbnailEntry entry;
};

class InputThumbnailBadEntry : public InputThumbnailScreen, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(InputThumbnailBadEntry, ACellNamingNoClipOfTheTableDoesNothing) {
    app->itemCount = 10;
    setItem(8, 2, 8);  // a MultiItem of two clips
    app->thumbnailTable[5] = GetParam().entry;
    app->unlockFlags[5] = 1;
    EXPECT_EQ(release(29 + 107 * 5 + 50, 100), 1);
    expectNoAction();
    EXPECT_EQ(app->unlockFlags[5], 1);
}

INSTANTIATE_TEST_SUITE_P(InputEntries, InputThumbnailBadEntry,
                         ::testing::Values(EntryCase{"ItemIsTheCount", {10, 0}}, EntryCase{"ItemBeyond", {63, 0}},
                                           EntryCase{"ItemHuge", {2000000000, 0}},
                                           EntryCase{"ItemNegative", {-1, 0}},
                                           EntryCase{"ClipIsTheCount", {8, 2}}, EntryCase{"ClipNegative", {8, -1}},
                                           EntryCase{"ClipOfASingleItem", {4, 1}}),
                         [](const ::testing::TestParamInfo<EntryCase>& Info) { return std::string(Info.param.name); });

TEST_F(InputThumbnailScreen, AFailedLoadLeavesTheMainScreenAndEndsTheProgram) {
    app->unlockFlags[2] = 1;
    fwrecord::dshow().renderFileResults[clipPath(2, 0)] = E_FAIL;
    EXPECT_EQ(release(29 + 107 * 2, 91), 0);
    Lines Calls = takeCalls();
    ASSERT_GE(Calls.size(), 2u);
    EXPECT_EQ(Calls[Calls.size() - 2], "RenderFile " + clipPath(2, 0));
    expectMovieFailedBox();
    EXPECT_EQ(app->screenMode, SCREEN_MAIN);
    EXPECT_EQ(app->currentItem, 2);
}
