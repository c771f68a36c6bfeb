// The play sequence: counting clip ends, rewinding, moving on, wrapping and failing.
#include "test_movie_fixture.h"

namespace {

const LONG kOtherEvent = 2;  // any event code but EC_COMPLETE
const char* const kPoll = "WaitForCompletion 0";
const char* const kRewind = "SetPositions 0 1 null 0";

}  // namespace

class MovieSequence : public PlayerTest {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        setUpPlayer(true);
        // Item 0 single, item 1 with three clips, item 2 single.
        app->itemCount = 3;
        setItem(0, 0, 0);
        setItem(1, 3, 1);
        setItem(2, 0, 4);
        app->volume = -300;
        cue(0, 0);
    }

    // Loads a clip as the sequence would have, and forgets the log.
    void cue(int32_t item, int32_t clip) {
        app->currentItem = item;
        app->currentClip = clip;
        ASSERT_EQ(app->loadMovie(item, clip), 1);
        takeCalls();
    }

    // One frame's poll with the given event code, or with no event at all.
    int32_t poll(LONG eventCode) {
        fwrecord::dshow().eventCodes.push_back(eventCode);
        return app->advanceSequence();
    }

    Lines moveLines(int32_t item, const char* last) {
        return concat(concat({kPoll}, loadLines(clipPath(item, 0), 3, -300)), {last});
    }
};

TEST_F(MovieSequence, DoesNotPollWhileTheSequenceIsOff) {
    for (int32_t IsPlaying : {0, 2, -1}) {
        app->isPlaying = IsPlaying;
        EXPECT_EQ(poll(EC_COMPLETE), 1);
        EXPECT_EQ(takeCalls(), Lines());
        EXPECT_EQ(app->isPlaying, IsPlaying);
        fwrecord::dshow().eventCodes.clear();
    }
}

TEST_F(MovieSequence, AnythingButACompletionLeavesTheClipAlone) {
    EXPECT_EQ(app->advanceSequence(), 1);  // no event: the poll times out
    EXPECT_EQ(poll(kOtherEvent), 1);
    EXPECT_EQ(poll(0), 1);
    EXPECT_EQ(takeCalls(), (Lines{kPoll, kPoll, kPoll}));
    EXPECT_EQ(app->clipPlayCount, 0);
}

struct RepeatCase {
    int32_t repeatCount;
    int ends;     // completions reported
    bool moves;   // whether the last of them moves on to the next item
};

class MovieSequenceRepeat : public MovieSequence, public ::testing::WithParamInterface<RepeatCase> {};

TEST_P(MovieSequenceRepeat, RewindsUntilTheClipHasHadItsPlays) {
    const RepeatCase& Case = GetParam();
    app->playItems[0].clips[0].repeatCount = Case.repeatCount;
    for (int End = 1; End <= Case.ends; ++End) {
        SCOPED_TRACE(End);
        // A frame without an end between two ends: the count is of ends, not of polls.
        EXPECT_EQ(poll(kOtherEvent), 1);
        EXPECT_EQ(poll(EC_COMPLETE), 1);
        Lines Calls = takeCalls();
        if (Case.moves && End == Case.ends) {
            EXPECT_EQ(Calls, concat({kPoll}, moveLines(1, "Run")));
            EXPECT_EQ(app->currentItem, 1);
            EXPECT_EQ(app->clipPlayCount, 0);
        } else {
            // The graph keeps running: no Stop, no Run, only the seek to 0.
            EXPECT_EQ(Calls, (Lines{kPoll, kPoll, kRewind}));
            EXPECT_EQ(app->currentItem, 0);
            EXPECT_EQ(app->clipPlayCount, End);
        }
        EXPECT_EQ(app->isPlaying, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(MovieCounts, MovieSequenceRepeat,
                         ::testing::Values(RepeatCase{1, 1, true}, RepeatCase{3, 3, true},
                                           RepeatCase{0, 6, false}, RepeatCase{-2, 6, false}));

struct MoveCase {
    int32_t fromItem, fromClip, toItem;
    int32_t itemCount;
};

class MovieSequenceMove : public MovieSequence, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(MovieSequenceMove, GoesToClipZeroOfTheNextItemOrCuesTheFirstAndStops) {
    const MoveCase& Case = GetParam();
    app->itemCount = Case.itemCount;
    cue(Case.fromItem, Case.fromClip);
    const bool Wraps = Case.fromItem == Case.itemCount - 1;

    EXPECT_EQ(poll(EC_COMPLETE), 1);

    EXPECT_EQ(takeCalls(), moveLines(Case.toItem, Wraps ? "StopWhenReady" : "Run"));
    EXPECT_EQ(app->currentItem, Case.toItem);
    EXPECT_EQ(app->currentClip, 0);
    EXPECT_EQ(app->isPlaying, Wraps ? 0 : 1);

    if (Wraps) {
        // Off now: the next end goes unnoticed.
        EXPECT_EQ(poll(EC_COMPLETE), 1);
        EXPECT_EQ(takeCalls(), Lines());
    }
}

INSTANTIATE_TEST_SUITE_P(MovieItems, MovieSequenceMove,
                         ::testing::Values(MoveCase{0, 0, 1, 3},   // next item, its clip 0
                                           MoveCase{1, 2, 2, 3},   // the last clip of an item with three
                                           MoveCase{1, 1, 2, 3},   // a chosen clip: then clip 0 of the next
                                           MoveCase{2, 0, 0, 3},   // after the last item
                                           MoveCase{1, 2, 0, 2},   // the last item with several clips
                                           MoveCase{0, 0, 0, 1})); // a table of one item

struct FailedMoveCase {
    int32_t fromItem, toItem;
};

class MovieSequenceFailure : public MovieSequence, public ::testing::WithParamInterface<FailedMoveCase> {};

TEST_P(MovieSequenceFailure, ShowsTheMessageAndLeavesTheSequenceWhereItWas) {
    const FailedMoveCase& Case = GetParam();
    cue(Case.fromItem, 0);
    fwrecord::dshow().renderFileResults[clipPath(Case.toItem, 0)] = E_FAIL;
    app->playItems[Case.fromItem].clips[0].repeatCount = 2;
    ASSERT_EQ(poll(EC_COMPLETE), 1);
    takeCalls();

    EXPECT_EQ(poll(EC_COMPLETE), 0);

    Lines Calls = takeCalls();
    ASSERT_FALSE(Calls.empty());
    EXPECT_EQ(Calls.back().rfind("MessageBoxA hwnd Error!! ", 0), 0u);
    Calls.pop_back();
    EXPECT_EQ(Calls.back(), "RenderFile " + clipPath(Case.toItem, 0));  // nothing after the failed step
    expectMovieFailedBox();
    EXPECT_EQ(app->currentItem, Case.toItem);
    EXPECT_EQ(app->currentClip, 0);
    EXPECT_EQ(app->clipPlayCount, 2);
    EXPECT_EQ(app->isPlaying, 1);
    EXPECT_EQ(app->unlockFlags[Case.toItem == 0 ? 0 : 4], 1);
}

INSTANTIATE_TEST_SUITE_P(MovieMoves, MovieSequenceFailure,
                         ::testing::Values(FailedMoveCase{1, 2}, FailedMoveCase{2, 0}));

TEST_F(MovieSequence, AFailedLoadDoesNotEndTheProgram) {
    ASSERT_EQ(app->createDevice(), 1);
    fwrecord::dshow().renderFileResults[clipPath(1, 0)] = E_FAIL;
    fwrecord::dshow().eventCodes.push_back(EC_COMPLETE);

    EXPECT_EQ(app->runFrame(), 1);
    expectMovieFailedBox();
    takeCalls();

    // Nothing runs the failed graph; the sequence rests until the user acts.
    EXPECT_EQ(app->runFrame(), 1);
    EXPECT_EQ(fwrecord::callsStartingWith("Run"), Lines());
    EXPECT_EQ(fwrecord::callsStartingWith("WaitForCompletion"), Lines{kPoll});
}
