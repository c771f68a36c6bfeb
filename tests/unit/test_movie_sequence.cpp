// The play sequence: counting clip ends, rewinding, moving on, wrapping and failing.
#include "errors/errors.h"
#include "test_movie_fixture.h"

namespace {

const LONG kOtherEvent = 2;  // any event code but EC_COMPLETE
const char* const kPoll = "WaitForCompletion 0";

class MovieSequence : public PlayerTest {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        setUpPlayer();
        // Item 0 single, item 1 with three clips, item 2 single.
        app->itemCount = 3;
        setItem(0, 0, 0);
        setItem(1, 3, 1);
        setItem(2, 0, 4);
        app->volume = -300;
        app->isPlaying = 1;
        cue(0, 0);
    }

    // One frame's poll with the given event code.
    int32_t poll(LONG eventCode) {
        fwrecord::dshow().eventCodes.push_back(eventCode);
        return app->advanceSequence();
    }
};

// Each end rewinds until the clip has had its plays (0 or less: for ever).
TEST_F(MovieSequence, RewindsUntilTheClipHasHadItsPlays) {
    const struct {
        int32_t repeatCount;
        int ends;    // completions reported
        bool moves;  // whether the last of them moves on to the next item
    } cases[] = {{1, 1, true}, {3, 3, true}, {0, 5, false}, {-2, 5, false}};
    for (const auto& c : cases) {
        cue(0, 0);
        app->playItems[0].clips[0].repeatCount = c.repeatCount;
        for (int end = 1; end <= c.ends; ++end) {
            SCOPED_TRACE("repeat " + std::to_string(c.repeatCount) + " end " + std::to_string(end));
            EXPECT_EQ(poll(kOtherEvent), 1);
            EXPECT_EQ(poll(EC_COMPLETE), 1);
            if (c.moves && end == c.ends) {
                expectLoaded(1, 0, -300);
                EXPECT_EQ(takeCalls().back(), "Run");
                EXPECT_EQ(app->currentItem, 1);
            } else {
                EXPECT_EQ(takeCalls(), (Lines{kPoll, kPoll, "SetPositions 0 1 null 0"}));
                EXPECT_EQ(app->clipPlayCount, end);
            }
            EXPECT_EQ(app->isPlaying, 1);
        }
    }
}

// A failed load shows its message; the program runs on and nothing runs the graph.
TEST_F(MovieSequence, AFailedLoadKeepsTheProgramRunning) {
    ASSERT_EQ(app->createDevice(), 1);
    fwrecord::dshow().renderFileResults[clipPath(1, 0)] = E_FAIL;
    fwrecord::dshow().eventCodes.push_back(EC_COMPLETE);
    EXPECT_EQ(app->runFrame(), 1);
    ASSERT_EQ(fwrecord::win32().messageBoxes.size(), 1u);
    EXPECT_EQ(fwrecord::win32().messageBoxes[0].text, kMessageMovieFailed);
    EXPECT_EQ(fwrecord::win32().messageBoxes[0].owner, app->hwnd);
    EXPECT_EQ(app->currentItem, 1);
    EXPECT_EQ(app->isPlaying, 1);
    takeCalls();
    EXPECT_EQ(app->runFrame(), 1);
    EXPECT_EQ(fwrecord::callsStartingWith("Run"), Lines());
}

}  // namespace
