// The gallery's mouse over its cells.
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
        cue(3, 0);
    }

    int32_t release(int32_t x, int32_t y) {
        app->mouseX = x;
        app->mouseY = y;
        app->leftReleased = 1;
        int32_t result = app->handleThumbnailScreenInput();
        app->leftReleased = 0;
        return result;
    }
};

// A release over a cell whose flag byte is exactly 1 plays the clip its entry names,
// if the play table has it; cell edges and page turns beyond the end-to-end cases.
TEST_F(InputThumbnailScreen, AnUnlockedCellPlaysTheClipItsEntryNames) {
    setItem(8, 2, 8);  // a MultiItem of two clips
    const struct {
        const char* name;
        int32_t page, cell;
        uint8_t flag;
        ThumbnailEntry entry;
        int32_t x, y;
        bool plays;
    } cases[] = {
        {"Cell0RightBottomEdge", 0, 0, 1, {0, 0}, 128, 165, true},
        {"RightOfCell0", 0, 0, 1, {0, 0}, 129, 165, false},
        {"BelowCell0", 0, 0, 1, {0, 0}, 128, 166, false},
        {"FlagTwoIsLocked", 0, 0, 2, {0, 0}, 50, 100, false},
        {"Page1Cell55", 1, 55, 1, {55, 0}, 770, 489, true},
        {"Page1ShowsNoPage0Flag", 1, 0, 1, {0, 0}, 50, 100, false},
        {"ItemPastTheTable", 0, 5, 1, {56, 0}, 614, 100, false},
        {"NegativeItem", 0, 5, 1, {-1, 0}, 614, 100, false},
        {"ClipPastTheItem", 0, 5, 1, {8, 2}, 614, 100, false},
        {"NegativeClip", 0, 5, 1, {8, -1}, 614, 100, false},
        {"ClipOfASingleItem", 0, 5, 1, {4, 1}, 614, 100, false},
        {"ClipOfAMultiItem", 0, 5, 1, {8, 1}, 614, 100, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::memset(app->unlockFlags, 0, sizeof(app->unlockFlags));
        app->unlockFlags[c.cell] = c.flag;
        app->thumbnailTable[c.cell] = c.entry;
        app->thumbnailPage = c.page;
        app->screenMode = SCREEN_THUMBNAIL;
        app->currentItem = 3;
        app->currentClip = 0;
        EXPECT_EQ(release(c.x, c.y), 1);
        const Lines loads = fwrecord::callsStartingWith("RenderFile");
        takeCalls();
        EXPECT_EQ(app->screenMode, c.plays ? SCREEN_MAIN : SCREEN_THUMBNAIL);
        EXPECT_EQ(loads, c.plays ? Lines{"RenderFile " + clipPath(c.entry.item, c.entry.clip)} : Lines());
        EXPECT_EQ(app->currentItem, c.plays ? c.entry.item : 3);
        EXPECT_EQ(app->currentClip, c.plays ? c.entry.clip : 0);
    }
}

}  // namespace
