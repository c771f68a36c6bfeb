// The gallery's mouse: the page button, unlocked cells, the back button.
#include "test_movie_fixture.h"

namespace {

class InputThumbnailScreen : public PlayerTest {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        setUpPlayer();
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
        int32_t result = app->handleThumbnailScreenInput();
        app->leftReleased = 0;
        return result;
    }

    // Nothing happened: no call, still the gallery, the same clip.
    void expectNoAction() {
        EXPECT_EQ(takeCalls(), Lines());
        EXPECT_EQ(app->screenMode, SCREEN_THUMBNAIL);
        EXPECT_EQ(app->currentItem, 3);
    }
};

// A release over a cell whose flag byte is exactly 1 plays its entry.
TEST_F(InputThumbnailScreen, AnUnlockedCellUnderTheReleasePlaysItsEntry) {
    const struct {
        const char* name;
        int32_t page;
        int32_t flagIndex;  // the one flag byte set
        uint8_t flagValue;
        int32_t x, y;
        int32_t chosen;     // cell loaded, or -1
    } cases[] = {
        {"Cell0RightBottomEdge", 0, 0, 1, 128, 165, 0}, {"RightOfCell0", 0, 0, 1, 129, 165, -1},
        {"BelowCell0", 0, 0, 1, 128, 166, -1},          {"FlagTwoIsLocked", 0, 0, 2, 50, 100, -1},
        {"Cell27", 0, 27, 1, 770, 489, 27},             {"Page1Cell28", 1, 28, 1, 29, 91, 28},
        {"Page1Cell55", 1, 55, 1, 770, 489, 55},        {"Page1ShowsNoPage0Flag", 1, 0, 1, 50, 100, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::memset(app->unlockFlags, 0, sizeof(app->unlockFlags));
        app->unlockFlags[c.flagIndex] = c.flagValue;
        app->thumbnailPage = c.page;
        app->screenMode = SCREEN_THUMBNAIL;
        const int32_t isPlaying = c.chosen % 2 == 0 ? 1 : 0;
        app->isPlaying = isPlaying;
        EXPECT_EQ(release(c.x, c.y), 1);
        if (c.chosen < 0) {
            expectNoAction();
            continue;
        }
        expectLoaded(c.chosen, 0, -100);
        EXPECT_EQ(takeCalls().back(), "Run");
        EXPECT_EQ(app->screenMode, SCREEN_MAIN);
        EXPECT_EQ(app->currentItem, c.chosen);
        EXPECT_EQ(app->isPlaying, isPlaying);
        app->currentItem = 3;
    }
}

// An entry naming no clip does nothing; one naming a MultiItem's clip plays it.
TEST_F(InputThumbnailScreen, AnEntryPlaysTheClipItNamesOrNothing) {
    app->itemCount = 10;
    setItem(8, 2, 8);  // a MultiItem of two clips
    app->unlockFlags[5] = 1;
    const ThumbnailEntry entries[] = {{10, 0}, {-1, 0}, {8, 2}, {8, -1}, {4, 1}};
    for (const ThumbnailEntry& entry : entries) {
        app->thumbnailTable[5] = entry;
        EXPECT_EQ(release(29 + 107 * 5 + 50, 100), 1);
        expectNoAction();
    }
    app->thumbnailTable[5] = {8, 1};
    EXPECT_EQ(release(29 + 107 * 5 + 50, 100), 1);
    EXPECT_EQ(app->currentItem, 8);
    EXPECT_EQ(app->currentClip, 1);
    EXPECT_EQ(fwrecord::callsStartingWith("RenderFile"), Lines{"RenderFile " + clipPath(8, 1)});
}

}  // namespace
